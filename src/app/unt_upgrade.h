// The upgrade to the newest version the vendor site publishes: where its
// installer comes from and is kept, the download written and checked as it
// arrives, the download window's state, and the command lines that hand an
// installer (an MSI package) to Windows Installer.
//
// The installer is run by msiexec after the program has closed (the
// package replaces quorvel.exe, which cannot be replaced while it runs);
// it installs into the running program's folder and keeps the user's files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "app/unt_update.h"
#include "app/unt_updatemanifest.h"
#include "base/sha256.h"

namespace app {

// The installer's address: an https address as published, or a path on
// the vendor site ("/setup.msi"); nullopt for anything else, and for plain
// http except to a loopback address (IsAllowedUpdateAddress).
std::optional<std::string> InstallerAddress(const VendorSite& site, const VersionInfo& newest);
// Why the published version cannot be fetched and checked (no usable
// address, no SHA-256, no size within kMaxPackageBytes); empty when it can.
std::string UpgradeProblem(const VendorSite& site, const VersionInfo& newest);
// The name the installer is kept under: "Tarvolen-Merrowick-<version>.msi".
std::string InstallerFileName(const VersionInfo& newest);

// Writes a download to "<path>.part" and hashes it on the way; only a
// download of the published size whose SHA-256 is the published one becomes
// `path`. More bytes than published stop it at once; fewer are a broken
// connection, not a tampered file. Whatever does not pass is removed:
// nothing partial or foreign is left behind.
class TUpgradeDownload {
 public:
  TUpgradeDownload(std::string path, std::string expectedSha256, uint64_t expectedSize);
  ~TUpgradeDownload();  // an unfinished download is removed
  TUpgradeDownload(const TUpgradeDownload&) = delete;
  TUpgradeDownload& operator=(const TUpgradeDownload&) = delete;

  bool Open(std::string* error);
  bool Write(std::string_view bytes, std::string* error);
  // Closes and checks the file; true when it is now at Path().
  bool Finish(std::string* error);
  void Abort();  // removes the partial file

  const std::string& Path() const { return path_; }
  std::string PartPath() const { return path_ + ".part"; }
  uint64_t Received() const { return received_; }

 private:
  std::string path_;
  std::string expected_;
  uint64_t expectedSize_;
  std::FILE* file_ = nullptr;
  base::Sha256 hash_;
  uint64_t received_ = 0;
};

// The download window (`Tfrmupgrade`): a line naming the version, the bar,
// a line with the amount so far, and the cancel button.
class Tfrmupgrade {
 public:
  static constexpr int kBarParts = 100;

  explicit Tfrmupgrade(const VersionInfo& newest);
  const std::string& Caption() const { return caption_; }
  const std::string& Heading() const { return heading_; }
  const std::string& AmountText() const { return amount_; }
  int Position() const { return position_; }  // of kBarParts
  bool CancelEnabled() const { return !cancelled_ && !done_; }
  bool Cancelled() const { return cancelled_; }

  // From the download (total 0: the size is not known).
  void DownloadProgress(uint64_t received, uint64_t total);
  void BtnCancelClick();
  // The download ended; `ok` when the installer is in place. Returns the
  // text to tell the user (empty after a cancel).
  std::string DownloadDone(bool ok, const std::string& error);

 private:
  std::string version_;
  std::string caption_ = "软件升级";
  std::string heading_;
  std::string amount_;
  int position_ = 0;
  bool cancelled_ = false;
  bool done_ = false;
};

// The digest does not match: the message the download reports.
inline constexpr char kUpgradeTampered[] = "下载的升级文件与发布的校验值不符，已删除。";
// More bytes than the signed manifest announced.
inline constexpr char kUpgradeTooLarge[] = "下载的升级文件比发布的大，已删除。";
// The connection ended before the announced size: a network failure.
std::string UpgradeTruncated(uint64_t received, uint64_t expected);

// An amount of bytes as the window shows it ("512 B", "12.3 KB", "4.56 MB").
std::string ByteAmount(uint64_t bytes);

// msiexec's arguments for installing `msiPath` over the program in
// `applicationFolder`: progress only, no questions (the user agreed already).
std::string InstallerArguments(const std::string& msiPath, const std::string& applicationFolder);

// The uninstaller: its question, and msiexec's arguments for removing the
// product, keeping or removing the user's data. nullopt when `productCode`
// is not a product code ({8-4-4-4-12 hexadecimal digits}).
inline constexpr char kUninstallQuestion[] =
    "即将卸载 Tarvolen-Merrowick。\r\n\r\n"
    "是否保留您的数据（监控、交易记录和日志、交易配置、设置）？\r\n"
    "选择“是”保留，以后重新安装时继续使用；选择“否”一并删除；选择“取消”不卸载。";
std::optional<std::string> UninstallArguments(std::string_view productCode, bool keepData);

// Packages an earlier upgrade handed to msiexec and left in `folder` (the
// temporary folder); removed by the next start of the program, once the
// installation they served is over. Returns how many went.
int RemoveHandedOverPackages(const std::string& folder);

}  // namespace app
