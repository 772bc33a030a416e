#include "settings/unt_common.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <optional>
#include <vector>

#include "base/files.h"
#include "base/ini_file.h"

namespace settings {
namespace {

// setup.ini
constexpr char kExtendedSection[] = "扩展参数配置";
constexpr char kAntiLockKey[] = "防止锁定刷新时间(秒)";
constexpr char kHideNoticeKey[] = "关闭启动提示";
constexpr char kHelpUrlKey[] = "帮助URL";
constexpr char kTradingAlphaKey[] = "下单软件透明度";
constexpr char kMainAlphaKey[] = "Tarvolen软件透明度";
constexpr char kMinimiseKey[] = "下单完成后是否最小化下单软件";
constexpr char kQuoteTipKey[] = "是否显示行情提示框";
constexpr char kOrderProgramKey[] = "委托程序名称";
constexpr char kTapeKeepDaysKey[] = "行情录制保留天数";

// config.ini
constexpr char kTradingSection[] = "交易软件配置";
constexpr char kProfileNameKey[] = "行情交易配置文件名称";
constexpr char kReleaseDateKey[] = "发布时间";
constexpr char kSetPriceKey[] = "监视价位";
constexpr char kFeeRateKey[] = "买卖费率";
constexpr char kOptimiseKey[] = "优化价调整幅度";
constexpr char kQuantityKey[] = "买卖数量";
constexpr char kChangeKey[] = "变化数量";
constexpr char kCounterGapKey[] = "对买对卖监视价位差";

// profile files
constexpr char kSystemSection[] = "交易系统";
constexpr char kBuySection[] = "买入";
constexpr char kSellSection[] = "卖出";
constexpr char kTitleKey[] = "窗口标题";
constexpr char kRefreshKeyKey[] = "刷新键";
constexpr char kRefreshIntervalKey[] = "刷新间隔时间";
constexpr char kBindingKey[] = "底层绑定";
constexpr char kStepCountKey[] = "步骤数";
constexpr std::string_view kStepKeyPrefix = "第";
constexpr std::string_view kStepKeySuffix = "步键入";

// The anti-lock timer runs in milliseconds on a 32-bit interval.
constexpr int32_t kMaxAntiLockSeconds = INT32_MAX / 1000;

int32_t ReadIntegerIn(const base::IniFile& ini, std::string_view section, std::string_view key,
                      int32_t defaultValue, int32_t low, int32_t high) {
  const int32_t value = ini.ReadInteger(section, key, defaultValue);
  return value < low || value > high ? defaultValue : value;
}

// The number n of a key "第n步键入" written the way StepKey writes it.
std::optional<int32_t> StepNumber(std::string_view key) {
  if (!key.starts_with(kStepKeyPrefix) || !key.ends_with(kStepKeySuffix)) return std::nullopt;
  const std::string_view digits =
      key.substr(kStepKeyPrefix.size(), key.size() - kStepKeyPrefix.size() - kStepKeySuffix.size());
  if (digits.empty() || digits.front() < '1' || digits.front() > '9') return std::nullopt;
  int32_t n = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return n;
}

// Steps 1..count of a section, in step order, empty ones left out. A step
// key that is absent reads as empty, so only the keys the section has can
// give a step: those are looked up instead of every number up to the count,
// which may be as large as 0x7FFFFFFF.
TStepList ReadSteps(const base::IniFile& ini, std::string_view section, int32_t count) {
  TStepList steps;
  if (count <= 0) return steps;
  std::vector<int32_t> numbers;
  for (const std::string& key : ini.ReadSection(section)) {
    const auto n = StepNumber(key);
    if (n && *n <= count) numbers.push_back(*n);
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  for (const int32_t n : numbers) {
    std::string key = StepKey(n);
    std::string text = ini.ReadString(section, key, "");
    if (!text.empty()) steps.push_back({std::move(key), std::move(text)});
  }
  return steps;
}

// Writes one config.ini value when the file exists, ignoring failures.
void WriteTradingKeyQuietly(const std::string& configPath, std::string_view key, std::string_view value) {
  if (!base::FileExists(configPath)) return;
  try {
    base::IniFile(configPath).WriteString(kTradingSection, key, value);
  } catch (const std::exception&) {
    // The caller goes on with the value it had; nothing to report.
  }
}

bool EndsWithSeparator(std::string_view path) {
  return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

}  // namespace

// ---- setup.ini ------------------------------------------------------------

void ReadParameters(const std::string& path, TParameters& p) {
  const base::IniFile ini(path);
  p.antiLockSeconds = ReadIntegerIn(ini, kParameterSection, kAntiLockKey, 300, 1, kMaxAntiLockSeconds);
  p.hideStartupNotice = ini.ReadBool(kParameterSection, kHideNoticeKey, false);
  p.helpUrl = ini.ReadString(kParameterSection, kHelpUrlKey, "");
  p.tradingWindowAlpha = ReadIntegerIn(ini, kExtendedSection, kTradingAlphaKey, 255, 0, 255);
  p.mainWindowAlpha = ReadIntegerIn(ini, kExtendedSection, kMainAlphaKey, 255, 10, 255);
  p.minimiseAfterOrder = ini.ReadBool(kExtendedSection, kMinimiseKey, true);
  p.showQuoteTip = ini.ReadBool(kExtendedSection, kQuoteTipKey, false);
  p.orderProgram = ini.ReadString(kExtendedSection, kOrderProgramKey, "");
  p.tapeKeepDays =
      ReadIntegerIn(ini, kExtendedSection, kTapeKeepDaysKey, kDefaultTapeKeepDays, 0, kMaxTapeKeepDays);
}

void WriteParameters(const std::string& path, TParameters& p) {
  if (!base::FileExists(path)) return;
  base::IniFile ini(path);
  ini.WriteInteger(kParameterSection, kAntiLockKey, p.antiLockSeconds);
  ini.WriteBool(kParameterSection, kHideNoticeKey, p.hideStartupNotice);
  ini.WriteInteger(kExtendedSection, kTradingAlphaKey, p.tradingWindowAlpha);
  if (p.tradingWindowAlpha == 0) p.tradingWindowAlpha = 10;
  ini.WriteInteger(kExtendedSection, kMainAlphaKey, p.mainWindowAlpha);
  if (p.mainWindowAlpha == 0) p.mainWindowAlpha = 10;
  ini.WriteBool(kExtendedSection, kMinimiseKey, p.minimiseAfterOrder);
  ini.WriteBool(kExtendedSection, kQuoteTipKey, p.showQuoteTip);
  ini.WriteString(kExtendedSection, kOrderProgramKey, p.orderProgram);
  ini.WriteInteger(kExtendedSection, kTapeKeepDaysKey, p.tapeKeepDays);
}

// ---- monitor defaults -----------------------------------------------------

std::string_view MonitorSectionName(TMonitorSection section) {
  switch (section) {
    case TMonitorSection::TakeProfit: return "止盈默认设置";
    case TMonitorSection::StopLoss: return "止损默认设置";
    case TMonitorSection::Price: return "按价位默认设置";
    case TMonitorSection::Time: return "按时间默认设置";
  }
  return {};
}

void WriteMonitorDefaults(const std::string& path, TMonitorSection section, const TMonitorDefaults& d) {
  if (!base::FileExists(path)) return;
  base::IniFile ini(path);
  const std::string_view name = MonitorSectionName(section);
  ini.WriteString(name, kSetPriceKey, d.setPrice);
  ini.WriteString(name, kFeeRateKey, d.feeRate);
  ini.WriteString(name, kOptimiseKey, d.optimiseAmount);
  ini.WriteString(name, kQuantityKey, d.quantity);
  ini.WriteString(name, kChangeKey, d.changeAmount);
  ini.WriteString(name, kCounterGapKey, d.counterPriceGap);
}

TAmountText SplitUnitMarker(std::string_view text) {
  if (text.ends_with(kUnitMarker)) return {std::string(text.substr(0, text.size() - kUnitMarker.size())), true};
  return {std::string(text), false};
}

std::string JoinUnitMarker(std::string_view value, bool nonYuan) {
  std::string text(value);
  if (nonYuan) text += kUnitMarker;
  return text;
}

// ---- config.ini and trading profiles --------------------------------------

std::string StepKey(int32_t n) {
  return std::string(kStepKeyPrefix) + std::to_string(n) + std::string(kStepKeySuffix);
}

void ReadConfigFile(const std::string& path, TTradingProfile& profile, TMonitorDefaultSet& defaults) {
  const base::IniFile ini(path);
  profile.profileName = ini.ReadString(kTradingSection, kProfileNameKey, "");
  profile.releaseDate = ini.ReadString(kTradingSection, kReleaseDateKey, "");
  // The set price is not read: every run starts the editors at "0.000".
  for (const TMonitorSection section : kMonitorSections) {
    const std::string_view name = MonitorSectionName(section);
    TMonitorDefaults& d = defaults[section];
    d.feeRate = ini.ReadString(name, kFeeRateKey, "");
    d.optimiseAmount = ini.ReadString(name, kOptimiseKey, "");
    d.quantity = ini.ReadString(name, kQuantityKey, "");
    d.changeAmount = ini.ReadString(name, kChangeKey, "");
    d.counterPriceGap = ini.ReadString(name, kCounterGapKey, "");
  }
}

void ReadProfile(const std::string& path, TTradingProfile& profile) {
  const base::IniFile ini(path);
  profile.windowTitle = ini.ReadString(kSystemSection, kTitleKey, "");
  profile.refreshKey = ini.ReadString(kSystemSection, kRefreshKeyKey, "");
  profile.refreshInterval = ini.ReadInteger(kSystemSection, kRefreshIntervalKey, 300);
  profile.binding = ini.ReadInteger(kSystemSection, kBindingKey, 0);
  profile.buyStepCount = ini.ReadInteger(kBuySection, kStepCountKey, 0);
  profile.buySteps = ReadSteps(ini, kBuySection, profile.buyStepCount);
  profile.sellStepCount = ini.ReadInteger(kSellSection, kStepCountKey, 0);
  profile.sellSteps = ReadSteps(ini, kSellSection, profile.sellStepCount);
}

void WriteProfileName(const std::string& configPath, std::string_view name) {
  WriteTradingKeyQuietly(configPath, kProfileNameKey, name);
}

void WriteReleaseDate(const std::string& configPath, std::string_view date) {
  WriteTradingKeyQuietly(configPath, kReleaseDateKey, date);
}

void WriteWindowTitle(const std::string& profilePath, std::string_view title) {
  base::IniFile(profilePath).WriteString(kSystemSection, kTitleKey, title);
}

// ---- TSettings ------------------------------------------------------------

TSettings::TSettings(std::string applicationFolder) : folder_(std::move(applicationFolder)) {
  if (!folder_.empty() && !EndsWithSeparator(folder_)) folder_ += kSeparator;
}

std::string TSettings::ConfigPath() const { return folder_ + "config.ini"; }
std::string TSettings::SetupPath() const { return folder_ + "setup.ini"; }
std::string TSettings::OptionsPath() const { return folder_ + "option.opt"; }
std::string TSettings::SettingsFolder() const { return folder_ + "settings" + kSeparator; }
std::string TSettings::ProfilePath() const { return SettingsFolder() + profile.profileName; }

void TSettings::LoadTradingSettings() {
  ReadConfigFile(ConfigPath(), profile, monitorDefaults);
  ReadProfile(ProfilePath(), profile);
}

}  // namespace settings
