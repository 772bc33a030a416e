#include "app/unt_upgrade.h"

#include <cctype>
#include <system_error>

#include "base/files.h"

namespace app {
namespace {

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

void RemoveQuietly(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(base::PathFromUtf8(path), ec);
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::optional<std::string> InstallerAddress(const VendorSite& site, const VersionInfo& newest) {
  const std::string& a = newest.installer;
  // Spaces, quotes and control characters have no place in an address and
  // would end up on a command line or in a request line.
  for (const char c : a)
    if (static_cast<unsigned char>(c) <= ' ' || c == '"') return std::nullopt;
  std::string address;
  if (StartsWith(a, "http://") || StartsWith(a, "https://")) address = a;
  else if (StartsWith(a, "/") && !StartsWith(a, "//")) address = site.site + a;
  if (!IsAllowedUpdateAddress(address)) return std::nullopt;
  return address;
}

std::string UpgradeProblem(const VendorSite& site, const VersionInfo& newest) {
  if (!InstallerAddress(site, newest)) return "新版本没有给出可用的下载地址。";
  if (!base::IsSha256Hex(newest.sha256)) return "新版本没有给出校验值，无法确认下载的文件。";
  if (newest.size == 0 || newest.size > kMaxPackageBytes) return "新版本没有给出可接受的文件大小。";
  return {};
}

std::string InstallerFileName(const VersionInfo& newest) {
  // Only the digits and dots of the version reach the file name.
  std::string v;
  for (const char c : newest.version)
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') v += c;
  return "Tarvolen-Merrowick-" + (v.empty() ? std::string("new") : v) + ".msi";
}

// ---- TUpgradeDownload --------------------------------------------------------------

TUpgradeDownload::TUpgradeDownload(std::string path, std::string expectedSha256, uint64_t expectedSize)
    : path_(std::move(path)), expected_(std::move(expectedSha256)), expectedSize_(expectedSize) {}

TUpgradeDownload::~TUpgradeDownload() { Abort(); }

bool TUpgradeDownload::Open(std::string* error) {
  Abort();
  received_ = 0;
  hash_ = base::Sha256();
  file_ = base::detail::PlatformOpenWrite(base::PathFromUtf8(PartPath()));
  if (!file_ && error) *error = "无法写入 " + PartPath();
  return file_ != nullptr;
}

bool TUpgradeDownload::Write(std::string_view bytes, std::string* error) {
  if (file_ && bytes.size() > expectedSize_ - received_) {
    if (error) *error = kUpgradeTooLarge;
    Abort();
    return false;
  }
  if (!file_ || std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    if (error) *error = "无法写入 " + PartPath() + "（磁盘已满？）";
    Abort();
    return false;
  }
  hash_.Update(bytes);
  received_ += bytes.size();
  return true;
}

bool TUpgradeDownload::Finish(std::string* error) {
  if (!file_) {
    if (error) *error = "下载没有开始。";
    return false;
  }
  const bool flushed = std::fflush(file_) == 0 && base::detail::PlatformSync(file_);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed) {
    if (error) *error = "无法写入 " + PartPath();
    RemoveQuietly(PartPath());
    return false;
  }
  if (received_ != expectedSize_) {
    if (error) *error = UpgradeTruncated(received_, expectedSize_);
    RemoveQuietly(PartPath());
    return false;
  }
  if (!base::SameSha256(hash_.Finish(), expected_)) {
    if (error) *error = kUpgradeTampered;
    RemoveQuietly(PartPath());
    return false;
  }
  std::string why;
  if (!base::detail::PlatformReplace(base::PathFromUtf8(PartPath()), base::PathFromUtf8(path_), &why)) {
    if (error) *error = "无法保存 " + path_;
    RemoveQuietly(PartPath());
    return false;
  }
  return true;
}

void TUpgradeDownload::Abort() {
  if (!file_) return;
  std::fclose(file_);
  file_ = nullptr;
  RemoveQuietly(PartPath());
}

// ---- Tfrmupgrade --------------------------------------------------------------

Tfrmupgrade::Tfrmupgrade(const VersionInfo& newest)
    : version_(newest.version), heading_("正在下载 Tarvolen-Merrowick " + newest.version + " ……"),
      amount_("正在连接……") {}

void Tfrmupgrade::DownloadProgress(uint64_t received, uint64_t total) {
  if (done_) return;
  if (total > 0) {
    const uint64_t shown = received < total ? received : total;
    position_ = static_cast<int>(shown * kBarParts / total);
    amount_ = "已下载 " + ByteAmount(shown) + " / " + ByteAmount(total);
  } else {
    amount_ = "已下载 " + ByteAmount(received);
  }
  if (cancelled_) amount_ = "正在取消……";
}

void Tfrmupgrade::BtnCancelClick() {
  if (done_) return;
  cancelled_ = true;
  amount_ = "正在取消……";
}

std::string Tfrmupgrade::DownloadDone(bool ok, const std::string& error) {
  done_ = true;
  if (ok && !cancelled_) {
    position_ = kBarParts;
    return "新版本 " + version_ + " 已下载并通过校验。\r\n程序将关闭并安装新版本，安装完成后请重新启动程序。";
  }
  if (cancelled_) return {};
  return "下载新版本失败：" + error + "\r\n程序没有任何改动。";
}

std::string UpgradeTruncated(uint64_t received, uint64_t expected) {
  return "网络连接中断，只下载了 " + ByteAmount(received) + " / " + ByteAmount(expected) + "，请稍后再试。";
}

std::string ByteAmount(uint64_t bytes) {
  char buf[32];
  if (bytes < 1024) {
    std::snprintf(buf, sizeof(buf), "%u B", static_cast<unsigned>(bytes));
  } else if (bytes < 1024u * 1024u) {
    std::snprintf(buf, sizeof(buf), "%.1f KB", static_cast<double>(bytes) / 1024.0);
  } else {
    std::snprintf(buf, sizeof(buf), "%.2f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  }
  return buf;
}

std::string InstallerArguments(const std::string& msiPath, const std::string& applicationFolder) {
  // A backslash before the closing quote would escape it: the folder goes
  // without its trailing separator (Windows Installer adds it back).
  std::string folder = applicationFolder;
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return "/i \"" + msiPath + "\" /passive INSTALLDIR=\"" + folder + "\"";
}

std::optional<std::string> UninstallArguments(std::string_view productCode, bool keepData) {
  static constexpr int kGroups[] = {8, 4, 4, 4, 12};
  if (productCode.size() != 38 || productCode.front() != '{' || productCode.back() != '}') return std::nullopt;
  size_t at = 1;
  for (size_t g = 0; g < std::size(kGroups); ++g) {
    for (int i = 0; i < kGroups[g]; ++i, ++at)
      if (!IsHex(productCode[at])) return std::nullopt;
    if (g + 1 < std::size(kGroups) && productCode[at++] != '-') return std::nullopt;
  }
  return "/x " + std::string(productCode) + " KEEPDATA=" + (keepData ? "1" : "0");
}

int RemoveHandedOverPackages(const std::string& folder) {
  std::error_code ec;
  int removed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(base::PathFromUtf8(folder), ec)) {
    const std::string name = base::PathToUtf8(entry.path().filename());
    // Only finished packages: a ".part" may belong to a download running now.
    if (name.rfind("Tarvolen-Merrowick-", 0) != 0 || name.size() < 4 || name.substr(name.size() - 4) != ".msi") continue;
    std::error_code removeError;
    if (std::filesystem::remove(entry.path(), removeError)) ++removed;
  }
  return removed;
}

}  // namespace app
