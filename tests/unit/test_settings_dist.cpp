// The application folder as shipped: its settings files must read back as
// every key at its default, and its sample profiles must drive the stand-in
// trading program with steps of the order script language.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "base/gbk.h"
#include "base/ini_file.h"
#include "settings/unt_common.h"
#include "support/temp_dir.h"
#include "test_settings_support.h"

using namespace settings;
using namespace settings_test;
using testing_support::SourcePath;

namespace {

using Names = std::vector<std::string>;

// A shipped settings file: valid GBK, every line ended by CR LF.
void ExpectGbkWithCrLf(const std::string& path) {
  const std::string bytes = FileBytes(path);
  ASSERT_FALSE(bytes.empty()) << path;
  EXPECT_TRUE(base::GbkToUtf8(bytes).has_value()) << path;
  EXPECT_TRUE(bytes.ends_with("\r\n")) << path;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << path << " offset " << i;
    }
  }
}

// Every step is a key step, "wait <ms>" or "var <name>", and the script
// types code, price and quantity once each, in that order, between opening
// the panel and confirming.
void ExpectOrderScript(const TStepList& steps, int32_t count, const std::string& panelKey) {
  ASSERT_EQ(static_cast<int32_t>(steps.size()), count);
  const std::regex form(R"(\{[A-Z0-9]+\}|wait [0-9]+|var (ZQDM|CJJ|SL))");
  std::string vars;
  for (const TStep& s : steps) {
    EXPECT_TRUE(std::regex_match(s.text, form)) << s.key << "=" << s.text;
    if (s.text.starts_with("var ")) vars += s.text.substr(4) + " ";
  }
  EXPECT_EQ(vars, "ZQDM CJJ SL ");
  EXPECT_EQ(steps.front().text, panelKey);
  EXPECT_EQ(steps.back().text, "{ENTER}");
}

}  // namespace

TEST(ShippedFolder, SetupIniHoldsEveryKeyAtItsDefault) {
  const std::string path = SourcePath("dist/setup.ini");
  ExpectGbkWithCrLf(path);
  const base::IniFile ini(path);
  EXPECT_EQ(ini.ReadSections(), (Names{"参数配置", "扩展参数配置"}));
  EXPECT_EQ(ini.ReadSection("参数配置"), (Names{"防止锁定刷新时间(秒)", "关闭启动提示", "帮助URL"}));
  EXPECT_EQ(ini.ReadSection("扩展参数配置"), (Names{"下单软件透明度", "Tarvolen软件透明度", "下单完成后是否最小化下单软件",
                                                    "是否显示行情提示框", "委托程序名称", "行情录制保留天数"}));
  EXPECT_EQ(ini.ReadString("参数配置", "帮助URL", "?"), "");
  TParameters read;
  read.antiLockSeconds = 1;
  read.tradingWindowAlpha = 1;
  read.mainWindowAlpha = 11;
  read.minimiseAfterOrder = false;
  ReadParameters(path, read);
  EXPECT_EQ(read, TParameters{});

  // Writing the defaults over a copy changes not a byte: every stored text
  // is already the one the program writes.
  testing_support::TempDir dir;
  const std::string copy = dir.File("setup.ini");
  WriteBytes(copy, FileBytes(path));
  TParameters defaults;
  WriteParameters(copy, defaults);
  EXPECT_EQ(FileBytes(copy), FileBytes(path));
}

TEST(ShippedFolder, ConfigIniNamesTheKeystrokeProfileAndHasEmptyMonitorDefaults) {
  const std::string path = SourcePath("dist/config.ini");
  ExpectGbkWithCrLf(path);
  const base::IniFile ini(path);
  EXPECT_EQ(ini.ReadSections(), (Names{"交易软件配置", "止盈默认设置", "止损默认设置", "按价位默认设置", "按时间默认设置"}));
  EXPECT_EQ(ini.ReadSection("交易软件配置"), (Names{"行情交易配置文件名称", "发布时间"}));
  for (const TMonitorSection s : kMonitorSections) {
    const std::string name(MonitorSectionName(s));
    EXPECT_EQ(ini.ReadSection(name),
              (Names{"监视价位", "买卖费率", "优化价调整幅度", "买卖数量", "变化数量", "对买对卖监视价位差"}))
        << name;
    for (const std::string& key : ini.ReadSection(name)) EXPECT_EQ(ini.ReadString(name, key, "?"), "") << key;
  }
  TTradingProfile profile;
  TMonitorDefaultSet defaults;
  ReadConfigFile(path, profile, defaults);
  EXPECT_EQ(profile.profileName, "simtrader_keystroke.ini");
  EXPECT_EQ(profile.releaseDate, "");
}

TEST(ShippedFolder, LoadsTheKeystrokeProfileThroughConfigIni) {
  TSettings s(SourcePath("dist"));
  s.LoadTradingSettings();
  EXPECT_EQ(s.profile.windowTitle, "网上股票交易系统");
  EXPECT_FALSE(s.profile.ControlLevelMode());
  EXPECT_EQ(s.profile.binding, 0);
  ExpectOrderScript(s.profile.buySteps, s.profile.buyStepCount, "{F1}");
  ExpectOrderScript(s.profile.sellSteps, s.profile.sellStepCount, "{F2}");
  for (const TMonitorSection section : kMonitorSections) EXPECT_EQ(s.monitorDefaults[section].setPrice, "0.000");
}

TEST(ShippedFolder, ControlLevelProfileSelectsControlMode) {
  const std::string path = SourcePath("dist/settings/simtrader_controls.ini");
  ExpectGbkWithCrLf(path);
  ExpectGbkWithCrLf(SourcePath("dist/settings/simtrader_keystroke.ini"));
  TTradingProfile p;
  ReadProfile(path, p);
  EXPECT_EQ(p.windowTitle, "网上股票交易系统");
  EXPECT_EQ(p.binding, 1);
  EXPECT_TRUE(p.ControlLevelMode());
  ExpectOrderScript(p.buySteps, p.buyStepCount, "{F1}");
  ExpectOrderScript(p.sellSteps, p.sellStepCount, "{F2}");
}

TEST(ShippedFolder, HasEmptyDataAndLogFolders) {
  for (const char* folder : {"dist/data", "dist/log"}) {
    const auto path = base::PathFromUtf8(SourcePath(folder));
    ASSERT_TRUE(std::filesystem::is_directory(path)) << folder;
    for (const auto& entry : std::filesystem::directory_iterator(path))
      EXPECT_EQ(entry.path().filename(), ".gitkeep") << folder;
  }
}
