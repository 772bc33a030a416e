// The vendor web site as the program sees it: its address (configurable),
// the pages under it, the newest-version manifest and the text of the
// notice page for where no browser engine can show it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// vendor.ini in the application folder, section "网站", key "网站地址";
// it ships with the program and is replaced by upgrades.
inline constexpr char kVendorFile[] = "vendor.ini";
inline constexpr char kVendorSection[] = "网站";
inline constexpr char kVendorSiteKey[] = "网站地址";
inline constexpr char kDefaultVendorSite[] = "https://www.quorvel.com";

struct VendorSite {
  std::string site;  // without a trailing "/"
  std::string NoticePage() const { return site + "/notice"; }
  std::string UpdateHistoryPage() const { return site + "/updatehistory/updatehistory.htm"; }
  std::string VersionPage() const { return site + "/version"; }
};
// Reads the vendor site from vendor.ini under the application folder; a
// missing file or empty key gives the default.
VendorSite ReadVendorSite(const std::string& applicationFolder);

// A dotted version "1.7.6" (an optional leading "v"); nullopt when it does
// not parse.
std::optional<std::vector<uint32_t>> ParseVersion(std::string_view text);
// -1, 0, 1; missing parts count as 0.
int CompareVersions(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);

// The newest version as the vendor's signed manifest publishes it
// (app/unt_updatemanifest.h reads and checks the manifest).
struct VersionInfo {
  std::string version;
  std::string notes;
  std::string installer;
  std::string sha256;
  uint64_t size = 0;  // bytes of the package
  std::string product{};
};

struct VersionCheckResult {
  // Refused: the reply is not a manifest the vendor signed for this product.
  enum Outcome { NoNewer, Failed, Newer, Refused } outcome = Failed;
  VersionInfo newest;
  std::string error;  // why it failed or was not understood, for the update log
};

// log\update.log under the application folder: what the version checks
// did not understand or could not do, one stamped line each (GBK).
inline constexpr char kUpdateLogFile[] = "update.log";

// The visible text of an HTML page: tags dropped, script and style skipped,
// block ends as line breaks, the common entities decoded, blank runs folded.
std::string HtmlToText(std::string_view html);

}  // namespace app
