// The program's memory between runs, apart from the monitors: the parameter
// file setup.ini, the monitor defaults and the profile index in config.ini,
// the active trading profile from settings\, and the options record
// option.opt. One TSettings object, owned by the main window, holds all of
// it; the readers and writers work on its parts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/options_record.h"
#include "settings/trading_profile.h"

namespace settings {

// ---- setup.ini ------------------------------------------------------------

// Where the help menu item leads when setup.ini names no help address and
// the guide shipped with the program is missing.
inline constexpr char kVendorHelpPage[] = "http://www.quorvel.com/a/shiyongbangzhu/";

// The section of the hand-editable parameters, all of which the settings
// dialog shows and saves.
inline constexpr char kParameterSection[] = "参数配置";

// Days of quote tapes kept (data\tapes); 0 turns the recording off.
inline constexpr int32_t kDefaultTapeKeepDays = 60;
inline constexpr int32_t kMaxTapeKeepDays = 3650;

struct TParameters {
  int32_t antiLockSeconds = 300;            // "防止锁定刷新时间(秒)": anti-lock timer interval
  bool hideStartupNotice = false;           // "关闭启动提示"
  std::string helpUrl;                      // "帮助URL", empty when not set (never written back)
  int32_t tradingWindowAlpha = 255;         // "下单软件透明度", 0..255
  int32_t mainWindowAlpha = 255;            // "Tarvolen软件透明度", 10..255
  bool minimiseAfterOrder = true;           // "下单完成后是否最小化下单软件"
  bool showQuoteTip = false;                // "是否显示行情提示框"
  std::string orderProgram;                 // "委托程序名称": full path of the order program
  int32_t tapeKeepDays = kDefaultTapeKeepDays;  // "行情录制保留天数": day tapes kept; 0 records none

  bool operator==(const TParameters&) const = default;
};

// Reads every key, each with its default. Numbers that do not read, or lie
// outside what their user can take, give the default.
void ReadParameters(const std::string& path, TParameters& parameters);

// Only when the file exists: writes the parameters back (not the help
// address). A transparency of 0 is stored as 0 but becomes 10 in memory, so
// that a window made invisible comes back after the next read at the latest.
// Throws base::EIniFileException when the file cannot be written.
void WriteParameters(const std::string& path, TParameters& parameters);

// ---- monitor defaults (config.ini) ----------------------------------------

// The four sections of the editors' starting values.
enum class TMonitorSection { TakeProfit, StopLoss, Price, Time };
inline constexpr std::array<TMonitorSection, 4> kMonitorSections = {
    TMonitorSection::TakeProfit, TMonitorSection::StopLoss, TMonitorSection::Price, TMonitorSection::Time};
std::string_view MonitorSectionName(TMonitorSection section);

// One section's values, all text as stored.
struct TMonitorDefaults {
  std::string setPrice = "0.000";  // "监视价位": written, never read back
  std::string feeRate;             // "买卖费率"
  std::string optimiseAmount;      // "优化价调整幅度", may carry the unit marker
  std::string quantity;            // "买卖数量"
  std::string changeAmount;        // "变化数量", may carry the unit marker
  std::string counterPriceGap;     // "对买对卖监视价位差"
};

struct TMonitorDefaultSet {
  std::array<TMonitorDefaults, 4> sections;
  TMonitorDefaults& operator[](TMonitorSection s) { return sections[static_cast<size_t>(s)]; }
  const TMonitorDefaults& operator[](TMonitorSection s) const { return sections[static_cast<size_t>(s)]; }
};

// Only when the file exists: writes all six keys of the section. Throws
// base::EIniFileException when the file cannot be written.
void WriteMonitorDefaults(const std::string& path, TMonitorSection section, const TMonitorDefaults& defaults);

// "‰" (GBK A1 EB) at the end of an amount marks the editor's non-yuan unit.
inline constexpr std::string_view kUnitMarker = "\xE2\x80\xB0";

struct TAmountText {
  std::string value;     // the amount without the marker
  bool nonYuan = false;  // the marker was present
};
TAmountText SplitUnitMarker(std::string_view text);
std::string JoinUnitMarker(std::string_view value, bool nonYuan);

// ---- config.ini and trading profiles --------------------------------------

// The step key of step n: "第" n "步键入".
std::string StepKey(int32_t n);

// Reads the active profile name, the release date and the loaded monitor
// defaults (not the set prices). Absent keys give empty texts.
void ReadConfigFile(const std::string& path, TTradingProfile& profile, TMonitorDefaultSet& defaults);

// Replaces the held profile (title, refresh key and interval, binding, both
// step lists) with the file's. A missing file gives the empty profile.
void ReadProfile(const std::string& path, TTradingProfile& profile);

// Only when config.ini exists; a failed write is ignored (the profile then
// simply does not become active).
void WriteProfileName(const std::string& configPath, std::string_view name);
void WriteReleaseDate(const std::string& configPath, std::string_view date);

// Writes the window title fragment, creating the profile when missing.
// Throws base::EIniFileException when the file cannot be written.
void WriteWindowTitle(const std::string& profilePath, std::string_view title);

// ---- the settings of one run ----------------------------------------------

class TSettings {
 public:
  // `applicationFolder` is the program's folder; a missing trailing
  // separator is added.
  explicit TSettings(std::string applicationFolder);

  const std::string& ApplicationFolder() const { return folder_; }
  std::string ConfigPath() const;      // config.ini
  std::string SetupPath() const;       // setup.ini
  std::string OptionsPath() const;     // option.opt
  std::string SettingsFolder() const;  // settings\ with its trailing separator
  // The settings folder plus the active profile name (the folder itself
  // when no profile is named).
  std::string ProfilePath() const;

  // config.ini, then the profile it names.
  void LoadTradingSettings();

  TParameters parameters;
  TMonitorDefaultSet monitorDefaults;
  TOptionsRecord options;
  TTradingProfile profile;

 private:
  std::string folder_;
};

}  // namespace settings
