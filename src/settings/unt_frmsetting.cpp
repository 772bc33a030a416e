#include "settings/unt_frmsetting.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "base/files.h"
#include "base/text.h"

namespace settings {

const std::vector<std::string>& ProfileDialogHint() {
  static const std::vector<std::string> lines = {
      "提示：", "点击“获取配置列表”", "按钮可获取所有支持", "交易软件的配置文件", "。选择所需文件后，",
      "点击“应用配置”按钮", "后即可生效。"};
  return lines;
}

bool IsSafeProfileName(std::string_view name) {
  if (name.empty() || name != base::Trim(name)) return false;
  if (name.find("..") != std::string_view::npos) return false;
  for (const unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) return false;
  }
  // Windows drops trailing dots and blanks, which would name another file.
  if (name.back() == '.') return false;
  // Device names, with any extension: "NUL.ini" opens the device.
  std::string stem(name.substr(0, name.find('.')));
  // Windows drops the blanks before the extension too: "CON .ini" is CON.
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (stem == device) return false;
  }
  if (stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '0' && stem[3] <= '9')
    return false;
  return true;
}

Tfrmsetting::Tfrmsetting(IFrmsettingHost& host, TSettings& settings, IFileClient& client)
    : host_(host), settings_(settings), client_(client) {
  UpdateCaption();
}

namespace {
// Marks an operation that may talk to the file server, also when it throws.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyScope() { busy_ = false; }

 private:
  bool& busy_;
};
}  // namespace

void Tfrmsetting::FormShow() {
  // The lists start empty at every opening.
  serverList_.clear();
  localList_.clear();
  serverIndex = localIndex = -1;
  searchText.clear();
  status_.clear();
  gaugeVisible_ = false;
  gauge_ = 0;
  searchFocused_ = false;
  closed_ = false;
  UpdateCaption();
}

void Tfrmsetting::UpdateCaption() {
  caption_ = std::string(kFrmsettingCaption) + " (当前配置: " + settings_.profile.profileName + ")";
}

void Tfrmsetting::Gauge(int position, bool visible) {
  gauge_ = position;
  gaugeVisible_ = visible;
  host_.ShowProgressNow();
}

void Tfrmsetting::SetStatus(std::string text) {
  status_ = std::move(text);
  host_.ShowProgressNow();
}

bool Tfrmsetting::EnsureConnected(const std::string& host) {
  if (client_.Connected()) return true;
  if (client_.Connect(host, kFileServerPort)) return true;
  SetStatus(kConnectFailed);
  return false;
}

void Tfrmsetting::BtnGetListClick() { FetchProfileList(); }
void Tfrmsetting::BtnApplyClick() { DownloadAndApplyProfile(); }
void Tfrmsetting::BtnSearchClick() { SearchProfiles(); }
void Tfrmsetting::BtnApplyLocalClick() { ApplyLocalProfile(); }
void Tfrmsetting::BtnListLocalClick() { ListLocalProfiles(); }
void Tfrmsetting::BtnDeleteLocalClick() { DeleteLocalProfile(); }

void Tfrmsetting::FetchProfileList() {
  BusyScope busy(busy_);
  searchFocused_ = false;
  Gauge(0);
  if (!EnsureConnected(settings_.options.ServerAddress())) return;
  Gauge(50);
  const std::string reply = client_.Exchange(TFileCommand::List, "");
  Gauge(100);
  serverList_ = SplitReplyLines(reply);
  serverIndex = -1;
  Gauge(100, false);
  searchFocused_ = true;
}

std::string Tfrmsetting::SelectedServerEntry() const {
  if (serverIndex < 0 || static_cast<size_t>(serverIndex) >= serverList_.size()) return {};
  return serverList_[static_cast<size_t>(serverIndex)];
}

void Tfrmsetting::DownloadAndApplyProfile() {
  BusyScope busy(busy_);
  searchFocused_ = false;
  gauge_ = 0;
  status_.clear();
  const std::string name = SelectedServerEntry();
  if (base::Trim(name).empty()) {
    SetStatus(kChooseDownload);
    return;
  }
  // The name comes from the server: it must stay one file of settings\.
  if (!IsSafeProfileName(name)) {
    SetStatus(kBadProfileName + name);
    return;
  }
  Gauge(0);
  if (!EnsureConnected(host_.LastLoginServer())) return;
  Gauge(50);
  const std::string bytes = client_.Exchange(TFileCommand::Download, name);
  Gauge(100);
  // Nothing came: the server does not have it. An empty file would leave
  // the active profile without a title and without steps.
  if (bytes.empty()) {
    Gauge(100, false);
    SetStatus(kNotOnServer + name);
    return;
  }
  // Whole or not at all: a profile is never left half written.
  std::string error;
  if (!base::AtomicReplace(settings_.SettingsFolder() + name, bytes, &error)) {
    Gauge(100, false);
    SetStatus(kSaveFailed + error);
    return;
  }
  ActivateProfile(name);
  Gauge(100, false);
  UpdateCaption();
  if (host_.TradingWindowFound()) closed_ = true;
}

void Tfrmsetting::ActivateProfile(const std::string& name) {
  WriteProfileName(settings_.ConfigPath(), name);
  settings_.LoadTradingSettings();
  if (host_.LoggedIn()) host_.Reassociate();
}

void Tfrmsetting::SearchProfiles() {
  const std::string text(base::Trim(searchText));
  for (size_t i = 0; i < serverList_.size(); ++i) {
    if (serverList_[i].find(text) != std::string::npos) {
      serverIndex = static_cast<int>(i);
      return;
    }
  }
  BusyScope busy(busy_);
  Gauge(0);
  Gauge(50);
  const std::string reply = client_.Exchange(TFileCommand::Search, text);
  Gauge(100);
  serverList_ = SplitReplyLines(reply);
  serverIndex = -1;
  Gauge(100, false);
}

void Tfrmsetting::ApplyLocalProfile() {
  if (localIndex < 0 || static_cast<size_t>(localIndex) >= localList_.size()) {
    status_ = kChooseApply;
    return;
  }
  ActivateProfile(localList_[static_cast<size_t>(localIndex)]);
  UpdateCaption();
}

void Tfrmsetting::ListLocalProfiles() {
  localList_.clear();
  localIndex = -1;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(base::PathFromUtf8(settings_.SettingsFolder()), ec), end;
       !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec)) continue;
    const std::string name = base::PathToUtf8(it->path().filename());
    // "*.ini", compared as the file system does: without regard to case.
    if (name.size() >= 4 && base::SameTextAscii(std::string_view(name).substr(name.size() - 4), ".ini"))
      localList_.push_back(name);
  }
}

void Tfrmsetting::DeleteLocalProfile() {
  if (localIndex < 0 || static_cast<size_t>(localIndex) >= localList_.size()) {
    status_ = kChooseDelete;
    return;
  }
  const std::string name = localList_[static_cast<size_t>(localIndex)];
  // File names do not differ by case on Windows: "OLD.INI" is the active "old.ini".
  if (base::SameTextAscii(name, settings_.profile.profileName)) {
    host_.ShowInformation(kProfileInUse, host_.ApplicationTitle());
    return;
  }
  if (!host_.AskYesNo(kDeleteQuestion, kDeleteTitle)) return;
  std::error_code ec;
  std::filesystem::remove(base::PathFromUtf8(settings_.SettingsFolder() + name), ec);
  ListLocalProfiles();
}

}  // namespace settings
