// quorvel.exe: the program entry. The process lives as long as its main
// window; everything else is created by the window or on first use.
#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>

#include "app/unt_frmmain.h"
#include "app/unt_frmmain_win.h"
#include "app/unt_frmupgrade_win.h"
#include "win/all_win.h"

namespace {

// The application folder: the program file's folder with its separator.
std::string ApplicationFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  path.resize(path.find_last_of(L"\\/") + 1);
  return win::Utf8(path);
}

// The folder as the file system knows it: an 8.3 short name, a substituted
// drive, a junction or a symbolic link all lead to one final path. The
// spelling given is kept when the folder cannot be opened.
std::string FinalFolderPath(const std::string& folder) {
  const HANDLE handle = CreateFileW(win::Wide(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return folder;
  std::wstring path(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
  if (n >= path.size()) {
    path.resize(n + 1);
    n = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
  }
  CloseHandle(handle);
  if (n == 0 || n >= path.size()) return folder;
  path.resize(n);
  return win::Utf8(path);
}

// One running copy per application folder: two would write the same store
// and fire the same monitors, so one order could be placed twice. The first
// copy holds a named mutex and publishes its main window in a small shared
// block; a later start brings that window to the front and ends.
class SingleCopy {
 public:
  explicit SingleCopy(const std::string& folder)
      : name_(win::Wide(app::SingleCopyName(FinalFolderPath(folder)))) {
    mutex_ = CreateMutexW(nullptr, FALSE, name_.c_str());
    // A lock that cannot be made does not keep the program from starting.
    first_ = !mutex_ || GetLastError() != ERROR_ALREADY_EXISTS;
  }
  ~SingleCopy() { Release(); }
  // The folder is free again (the installer may start the new version).
  void Release() {
    if (window_) CloseHandle(window_);
    if (mutex_) CloseHandle(mutex_);
    window_ = mutex_ = nullptr;
  }
  SingleCopy(const SingleCopy&) = delete;
  SingleCopy& operator=(const SingleCopy&) = delete;

  bool First() const { return first_; }

  void Publish(HWND window) {
    window_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(uint64_t),
                                 (name_ + L"-window").c_str());
    if (!window_) return;
    if (void* view = MapViewOfFile(window_, FILE_MAP_WRITE, 0, 0, sizeof(uint64_t))) {
      *static_cast<volatile uint64_t*>(view) = reinterpret_cast<uintptr_t>(window);
      UnmapViewOfFile(view);
    }
  }

  // The first copy may still be starting: its window is waited for a while.
  void BringFirstToFront() const {
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (HANDLE block = OpenFileMappingW(FILE_MAP_READ, FALSE, (name_ + L"-window").c_str())) {
        uint64_t value = 0;
        if (const void* view = MapViewOfFile(block, FILE_MAP_READ, 0, 0, sizeof(uint64_t))) {
          value = *static_cast<const volatile uint64_t*>(view);
          UnmapViewOfFile(view);
        }
        CloseHandle(block);
        const HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
        if (window && IsWindow(window)) {
          if (IsIconic(window) || !IsWindowVisible(window)) ShowWindow(window, SW_RESTORE);
          SetForegroundWindow(GetLastActivePopup(window));
          return;
        }
      }
      Sleep(100);
    }
  }

 private:
  std::wstring name_;
  HANDLE mutex_ = nullptr;
  HANDLE window_ = nullptr;
  bool first_ = true;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  win::App::Init();
  // An exception that no handler caught ends only the current action; the
  // user sees what went wrong.
  win::App::SetErrorHandler([](const std::exception* e) {
    const std::string text = std::string("程序出现错误：") + (e ? e->what() : "未知错误");
    win::ShowInfo(nullptr, text, app::kApplicationTitle, win::BoxIcon::Error);
  });
  const std::string folder = ApplicationFolder();
  SingleCopy copy(folder);
  if (!copy.First()) {
    copy.BringFirstToFront();
    return 0;
  }
  std::string installer;
  int code = 0;
  {
    app::TfrmmainView mainWindow(folder);
    copy.Publish(static_cast<HWND>(mainWindow.Handle()));
    mainWindow.Show();
    code = win::RunMessageLoop();
    installer = mainWindow.PendingInstaller();
  }
  copy.Release();
  // The upgrade replaces this program's files: its installer starts as the
  // last thing before the process ends, after everything is saved.
  if (!installer.empty() && !app::RunInstaller(installer, folder))
    win::ShowInfo(nullptr, "无法启动安装程序：" + installer, app::kApplicationTitle, win::BoxIcon::Error);
  return code;
}
