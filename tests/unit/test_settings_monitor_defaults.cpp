#include <gtest/gtest.h>

#include "base/ini_file.h"
#include "settings/unt_common.h"
#include "support/temp_dir.h"
#include "test_settings_support.h"

using namespace settings;
using namespace settings_test;
using testing_support::TempDir;

namespace {

const char kConfig[] =
    "[交易软件配置]\r\n行情交易配置文件名称=a.ini\r\n"
    "[止盈默认设置]\r\n监视价位=9.990\r\n买卖费率=0.003\r\n优化价调整幅度=0.01\r\n买卖数量=100\r\n"
    "变化数量=1.5‰\r\n对买对卖监视价位差=0.02\r\n"
    "[止损默认设置]\r\n买卖费率=s1\r\n优化价调整幅度=s2\r\n买卖数量=s3\r\n变化数量=s4\r\n对买对卖监视价位差=s5\r\n"
    "[按价位默认设置]\r\n买卖数量=200\r\n"
    "[按时间默认设置]\r\n监视价位=1.000\r\n买卖数量=300\r\n";

TMonitorDefaults Filled(const std::string& tag) {
  TMonitorDefaults d;
  d.setPrice = tag + "-price";
  d.feeRate = tag + "-fee";
  d.optimiseAmount = tag + "-opt";
  d.quantity = tag + "-qty";
  d.changeAmount = tag + "-chg";
  d.counterPriceGap = tag + "-gap";
  return d;
}

TMonitorDefaultSet ReadDefaults(const std::string& path) {
  TTradingProfile profile;
  TMonitorDefaultSet d;
  ReadConfigFile(path, profile, d);
  return d;
}

}  // namespace

TEST(MonitorDefaultsRead, LoadsFiveKeysOfEachSectionButNeverTheSetPrice) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteGbk(path, kConfig);
  TMonitorDefaultSet d = ReadDefaults(path);

  const TMonitorDefaults& takeProfit = d[TMonitorSection::TakeProfit];
  EXPECT_EQ(takeProfit.setPrice, "0.000");
  EXPECT_EQ(takeProfit.feeRate, "0.003");
  EXPECT_EQ(takeProfit.optimiseAmount, "0.01");
  EXPECT_EQ(takeProfit.quantity, "100");
  EXPECT_EQ(takeProfit.changeAmount, "1.5‰");
  EXPECT_EQ(takeProfit.counterPriceGap, "0.02");
  const TMonitorDefaults& stopLoss = d[TMonitorSection::StopLoss];
  EXPECT_EQ(stopLoss.feeRate + stopLoss.optimiseAmount + stopLoss.quantity + stopLoss.changeAmount +
                stopLoss.counterPriceGap,
            "s1s2s3s4s5");
  EXPECT_EQ(d[TMonitorSection::Price].quantity, "200");
  EXPECT_EQ(d[TMonitorSection::Price].feeRate, "");
  EXPECT_EQ(d[TMonitorSection::Time].quantity, "300");
  EXPECT_EQ(d[TMonitorSection::Time].setPrice, "0.000");
}

TEST(MonitorDefaultsRead, AReloadReplacesLoadedKeysAndKeepsTheSetPriceOfThisRun) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  TTradingProfile profile;
  TMonitorDefaultSet d;
  for (const TMonitorSection s : kMonitorSections) d[s] = Filled("old");
  ReadConfigFile(path, profile, d);  // no file: everything loaded becomes empty
  for (const TMonitorSection s : kMonitorSections) {
    EXPECT_EQ(d[s].setPrice, "old-price") << MonitorSectionName(s);
    EXPECT_EQ(d[s].feeRate + d[s].optimiseAmount + d[s].quantity + d[s].changeAmount + d[s].counterPriceGap, "")
        << MonitorSectionName(s);
  }
}

TEST(MonitorDefaultsWrite, WritesTheSixKeysOfItsSectionInTableOrder) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteGbk(path, "[交易软件配置]\r\n行情交易配置文件名称=a.ini\r\n");
  WriteMonitorDefaults(path, TMonitorSection::Price, Filled("p"));
  EXPECT_EQ(FileText(path),
            "[交易软件配置]\r\n行情交易配置文件名称=a.ini\r\n[按价位默认设置]\r\n监视价位=p-price\r\n买卖费率=p-fee\r\n"
            "优化价调整幅度=p-opt\r\n买卖数量=p-qty\r\n变化数量=p-chg\r\n对买对卖监视价位差=p-gap\r\n");
}

TEST(MonitorDefaultsWrite, ChangesOnlyItsOwnSection) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteGbk(path, kConfig);
  TMonitorDefaultSet d = ReadDefaults(path);
  d[TMonitorSection::StopLoss].quantity = "500";
  d[TMonitorSection::StopLoss].setPrice = "8.800";
  d[TMonitorSection::TakeProfit].quantity = "not saved";
  WriteMonitorDefaults(path, TMonitorSection::StopLoss, d[TMonitorSection::StopLoss]);

  std::string expected = kConfig;
  const std::string before = "[止损默认设置]\r\n买卖费率=s1\r\n优化价调整幅度=s2\r\n买卖数量=s3\r\n";
  const std::string after = "[止损默认设置]\r\n买卖费率=s1\r\n优化价调整幅度=s2\r\n买卖数量=500\r\n";
  expected.replace(expected.find(before), before.size(), after);
  // The set price was not in the section: it goes after its last key.
  const std::string tail = "对买对卖监视价位差=s5\r\n";
  expected.insert(expected.find(tail) + tail.size(), "监视价位=8.800\r\n");
  EXPECT_EQ(FileText(path), expected);
}

TEST(MonitorDefaultsWrite, WritesNothingWithoutConfigIni) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteMonitorDefaults(path, TMonitorSection::TakeProfit, Filled("x"));
  EXPECT_FALSE(base::FileExists(path));
}

TEST(MonitorDefaultsWrite, AFailedWriteRaisesUnableToWrite) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteBytes(path, "");
  BlockWrites(path);
  EXPECT_THROW(WriteMonitorDefaults(path, TMonitorSection::Time, Filled("t")), base::EIniFileException);
}

TEST(MonitorDefaultsWrite, TheSavedSetPriceIsInTheFileButARestartStartsAtZero) {
  TempDir dir;
  WriteBytes(dir.File("config.ini"), "");
  {
    TSettings run(base::PathToUtf8(dir.path()));
    run.LoadTradingSettings();
    run.monitorDefaults[TMonitorSection::Price].setPrice = "12.340";
    WriteMonitorDefaults(run.ConfigPath(), TMonitorSection::Price, run.monitorDefaults[TMonitorSection::Price]);
    EXPECT_EQ(base::IniFile(run.ConfigPath()).ReadString("按价位默认设置", "监视价位", ""), "12.340");
  }
  TSettings restart(base::PathToUtf8(dir.path()));
  restart.LoadTradingSettings();
  EXPECT_EQ(restart.monitorDefaults[TMonitorSection::Price].setPrice, "0.000");
}

TEST(UnitMarker, IsStoredAsTheTwoGbkBytesA1EB) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteBytes(path, "");
  TMonitorDefaults d;
  d.changeAmount = JoinUnitMarker("1.5", true);
  d.optimiseAmount = JoinUnitMarker("0.01", false);
  WriteMonitorDefaults(path, TMonitorSection::TakeProfit, d);
  const std::string bytes = FileBytes(path);
  EXPECT_NE(bytes.find(Gbk("变化数量=") + "1.5\xA1\xEB\r\n"), std::string::npos);
  EXPECT_NE(bytes.find(Gbk("优化价调整幅度=") + "0.01\r\n"), std::string::npos);
}

TEST(UnitMarker, AStoredMarkerSelectsTheNonYuanUnit) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteBytes(path, Gbk("[止损默认设置]\r\n变化数量=") + "1.5\xA1\xEB" + Gbk("\r\n优化价调整幅度=0.05\r\n"));
  const TMonitorDefaultSet d = ReadDefaults(path);
  const TAmountText change = SplitUnitMarker(d[TMonitorSection::StopLoss].changeAmount);
  EXPECT_EQ(change.value, "1.5");
  EXPECT_TRUE(change.nonYuan);
  const TAmountText optimise = SplitUnitMarker(d[TMonitorSection::StopLoss].optimiseAmount);
  EXPECT_EQ(optimise.value, "0.05");
  EXPECT_FALSE(optimise.nonYuan);
}

TEST(UnitMarker, OnlyATrailingMarkerCounts) {
  EXPECT_EQ(SplitUnitMarker("‰").value, "");
  EXPECT_TRUE(SplitUnitMarker("‰").nonYuan);
  EXPECT_EQ(SplitUnitMarker("‰2").value, "‰2");
  EXPECT_FALSE(SplitUnitMarker("‰2").nonYuan);
  EXPECT_EQ(SplitUnitMarker("").value, "");
  EXPECT_FALSE(SplitUnitMarker("").nonYuan);
  // A doubled marker loses only the last one.
  EXPECT_EQ(SplitUnitMarker("3‰‰").value, "3‰");
  EXPECT_EQ(JoinUnitMarker("3", true), "3‰");
  EXPECT_EQ(JoinUnitMarker("3", false), "3");
}
