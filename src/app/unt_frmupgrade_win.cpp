#include "app/unt_frmupgrade_win.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/unt_frmmain.h"
#include "app/unt_http_win.h"
#include "app/unt_upgrade.h"
#include "base/worker.h"
#include "win/all_win.h"

namespace app {
namespace {

constexpr int kDownloadTimeoutMs = 15000;
// Progress reaches the window at most this often.
constexpr auto kProgressEvery = std::chrono::milliseconds(100);

std::string TempFolder() {
  wchar_t buf[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buf);
  return n > 0 && n <= MAX_PATH ? win::Utf8(std::wstring(buf, n)) : std::string();
}

class UpgradeWindow {
 public:
  UpgradeWindow(HWND owner, const VersionInfo& newest) : model_(newest) {
    dialog_.Create({.title = model_.Caption(), .size = {380, 120}, .owner = owner, .keepOnClose = false});
    heading_.Create(dialog_, {.text = model_.Heading(), .rect = {16, 14, 348, 18}, .ellipsis = true});
    bar_.Create(dialog_, {.rect = {16, 38, 348, 16}, .max = Tfrmupgrade::kBarParts});
    amount_.Create(dialog_, {.text = model_.AmountText(), .rect = {16, 62, 260, 18}});
    cancel_.Create(dialog_, {.text = "取消", .rect = {289, 84, 75, 25}, .id = IDCANCEL});
    cancel_.onClick = [this] { Cancel(); };
    dialog_.onEscape = [this] { Cancel(); };
    // The window ends when the download does, never before.
    dialog_.onClose = [this](bool& keep) {
      keep = !finished_;
      if (keep) Cancel();
    };
  }

  // Shows the window until Finished; the download's result.
  void RunModal() { dialog_.ShowModal(); }
  void Progress(uint64_t received, uint64_t total) {
    model_.DownloadProgress(received, total);
    Sync();
  }
  std::string Finished(bool ok, const std::string& error) {
    const std::string text = model_.DownloadDone(ok, error);
    Sync();
    finished_ = true;
    dialog_.EndModal(ok ? IDOK : IDCANCEL);
    return text;
  }
  const std::atomic<bool>& CancelFlag() const { return cancelled_; }
  void StopDownload() { cancelled_ = true; }
  HWND Handle() const { return dialog_.Handle(); }

 private:
  void Cancel() {
    model_.BtnCancelClick();
    cancelled_ = model_.Cancelled();
    Sync();
  }
  void Sync() {
    amount_.SetText(model_.AmountText());
    bar_.SetPosition(model_.Position());
    cancel_.Enable(model_.CancelEnabled());
  }

  Tfrmupgrade model_;
  std::atomic<bool> cancelled_{false};
  bool finished_ = false;
  win::Dialog dialog_;
  win::Label heading_, amount_;
  win::ProgressBar bar_;
  win::Button cancel_;
};

}  // namespace

std::optional<std::string> DownloadUpgrade(void* owner, const win::GuiQueue& queue, const VendorSite& site,
                                           const VersionInfo& newest) {
  const HWND parent = static_cast<HWND>(owner);
  if (const std::string problem = UpgradeProblem(site, newest); !problem.empty()) {
    win::ShowInfo(parent, "无法升级：" + problem + "\r\n程序没有任何改动。", kApplicationTitle);
    return std::nullopt;
  }
  const std::string folder = TempFolder();
  if (folder.empty()) {
    win::ShowInfo(parent, "无法升级：找不到临时文件夹。\r\n程序没有任何改动。", kApplicationTitle);
    return std::nullopt;
  }
  const std::string address = *InstallerAddress(site, newest);
  auto download =
      std::make_shared<TUpgradeDownload>(folder + InstallerFileName(newest), newest.sha256, newest.size);
  UpgradeWindow window(parent, newest);
  // What the worker posts runs only while the window is there.
  auto open = std::make_shared<bool>(true);
  bool ok = false;
  std::string told;

  // The worker owns the file while it downloads; the window learns of the
  // progress and the end through the GUI queue only.
  std::thread worker = base::StartWorker([&window, poster = queue.Poster(), download, address, open, &ok, &told] {
    std::string why;
    auto last = std::chrono::steady_clock::now() - kProgressEvery;
    const auto sink = [&](std::string_view bytes, uint64_t total, std::string* err) {
      if (window.CancelFlag()) {
        *err = "已取消";
        return false;
      }
      if (!download->Write(bytes, err)) return false;
      const auto now = std::chrono::steady_clock::now();
      if (now - last >= kProgressEvery) {
        last = now;
        poster.Post([&window, open, received = download->Received(), total] {
          if (*open) window.Progress(received, total);
        });
      }
      return true;
    };
    bool done = download->Open(&why) && HttpDownload(address, kDownloadTimeoutMs, sink, &why);
    done = done && !window.CancelFlag() && download->Finish(&why);
    if (!done) download->Abort();
    poster.Post([&window, open, done, why, &ok, &told] {
      if (!*open) return;
      ok = done;
      told = window.Finished(done, why);
    });
  });
  window.RunModal();
  *open = false;
  window.StopDownload();
  worker.join();
  if (!ok) {
    if (!told.empty()) win::ShowInfo(parent, told, kApplicationTitle, win::BoxIcon::Warning);
    return std::nullopt;
  }
  if (!told.empty()) win::ShowInfo(parent, told, kApplicationTitle);
  return download->Path();
}

bool RunInstaller(const std::string& msiPath, const std::string& applicationFolder) {
  return RunMsiexec(InstallerArguments(msiPath, applicationFolder));
}

bool RunMsiexec(const std::string& arguments) {
  wchar_t system[MAX_PATH + 1] = {};
  const UINT n = GetSystemDirectoryW(system, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return false;
  const std::wstring msiexec = std::wstring(system, n) + L"\\msiexec.exe";
  const std::wstring args = win::Wide(arguments);
  const auto r = reinterpret_cast<intptr_t>(
      ShellExecuteW(nullptr, L"open", msiexec.c_str(), args.c_str(), nullptr, SW_SHOWNORMAL));
  return r > 32;
}

void RemoveOldUpgradePackages() {
  if (const std::string folder = TempFolder(); !folder.empty()) RemoveHandedOverPackages(folder);
}

}  // namespace app
