// The settings stores against the system's private-profile functions: what
// the program reads from a profile or config.ini is what Windows reads, and
// what it writes Windows reads back byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/files.h"
#include "base/gbk.h"
#include "base/text.h"
#include "settings/unt_common.h"
#include "support/temp_dir.h"

using namespace settings;
using testing_support::SourcePath;
using testing_support::TempDir;

namespace {

std::string SystemRead(const std::string& path, const std::string& section, const std::string& key) {
  char buffer[2048];
  GetPrivateProfileStringA(base::Utf8ToGbk(section)->c_str(), base::Utf8ToGbk(key)->c_str(), "", buffer,
                           sizeof buffer, base::Utf8ToGbk(path)->c_str());
  return base::GbkToUtf8Lossy(buffer);
}

// A step list built the way the profile format describes it, one system
// read per step number.
TStepList SystemSteps(const std::string& path, const std::string& section, int32_t* count) {
  *count = base::ReadIntegerText(SystemRead(path, section, "步骤数"), 0);
  TStepList steps;
  for (int32_t n = 1; n <= *count; ++n) {
    const std::string text = SystemRead(path, section, StepKey(n));
    if (!text.empty()) steps.push_back({StepKey(n), text});
  }
  return steps;
}

void ExpectSameSteps(const TStepList& ours, const TStepList& system) {
  ASSERT_EQ(ours.size(), system.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(ours[i].key, system[i].key);
    EXPECT_EQ(ours[i].text, system[i].text) << ours[i].key;
  }
}

void ExpectProfileAgrees(const std::string& path) {
  SCOPED_TRACE(path);
  TTradingProfile p;
  ReadProfile(path, p);
  EXPECT_EQ(p.windowTitle, SystemRead(path, "交易系统", "窗口标题"));
  EXPECT_EQ(p.refreshKey, SystemRead(path, "交易系统", "刷新键"));
  EXPECT_EQ(p.binding, base::ReadIntegerText(SystemRead(path, "交易系统", "底层绑定"), 0));
  int32_t buyCount = 0, sellCount = 0;
  ExpectSameSteps(p.buySteps, SystemSteps(path, "买入", &buyCount));
  ExpectSameSteps(p.sellSteps, SystemSteps(path, "卖出", &sellCount));
  EXPECT_EQ(p.buyStepCount, buyCount);
  EXPECT_EQ(p.sellStepCount, sellCount);
}

class SettingsAgreement : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 936) GTEST_SKIP() << "needs the Chinese system code page (LANG=zh_CN.UTF-8)";
  }
  TempDir dir_;
};

}  // namespace

TEST_F(SettingsAgreement, ShippedProfilesReadAsWindowsReadsThem) {
  ExpectProfileAgrees(SourcePath("dist/settings/simtrader_keystroke.ini"));
  ExpectProfileAgrees(SourcePath("dist/settings/simtrader_controls.ini"));
  EXPECT_EQ(SystemRead(SourcePath("dist/config.ini"), "交易软件配置", "行情交易配置文件名称"), "simtrader_keystroke.ini");
}

TEST_F(SettingsAgreement, AwkwardProfilesReadAsWindowsReadsThem) {
  const std::string path = dir_.File("awkward.ini");
  const std::string text =
      "[交易系统]\r\n 窗口标题 =  \"  网上股票  \" \r\n底层绑定=0x1\r\n"
      "[买入]\r\n步骤数=0x5\r\n第5步键入='var SL'\r\n第2步键入=\r\n第1步键入=  {F1}  \r\n第01步键入=x\r\n"
      "第3步键入=\"   \"\r\n第6步键入=above\r\n"
      "[卖出]\r\n步骤数=3\r\n第3步键入=" + std::string(3000, 'w') + "\r\n第1步键入={F2}\r\n第1步键入=second\r\n";
  ASSERT_TRUE(base::AtomicReplace(path, *base::Utf8ToGbk(text)));
  ExpectProfileAgrees(path);
}

TEST_F(SettingsAgreement, WindowsReadsWhatTheStoresWrite) {
  const std::string config = dir_.File("config.ini");
  ASSERT_TRUE(base::AtomicReplace(config, ""));
  TMonitorDefaults d;
  d.setPrice = "12.340";
  d.changeAmount = JoinUnitMarker("1.5", true);
  WriteMonitorDefaults(config, TMonitorSection::StopLoss, d);
  WriteProfileName(config, "国信.ini");
  EXPECT_EQ(SystemRead(config, "止损默认设置", "监视价位"), "12.340");
  EXPECT_EQ(SystemRead(config, "止损默认设置", "变化数量"), "1.5‰");

  const std::string profile = dir_.File("新.ini");
  WriteWindowTitle(profile, "模拟交易系统");
  EXPECT_EQ(SystemRead(profile, "交易系统", "窗口标题"), "模拟交易系统");
  EXPECT_EQ(SystemRead(config, "交易软件配置", "行情交易配置文件名称"), "国信.ini");

  const std::string setup = dir_.File("setup.ini");
  ASSERT_TRUE(base::AtomicReplace(setup, ""));
  TParameters p;
  p.tradingWindowAlpha = 0;
  p.orderProgram = "C:\\交易\\xiadan.exe";
  WriteParameters(setup, p);
  EXPECT_EQ(GetPrivateProfileIntA(base::Utf8ToGbk("扩展参数配置")->c_str(), base::Utf8ToGbk("下单软件透明度")->c_str(),
                                  -1, base::Utf8ToGbk(setup)->c_str()),
            0u);
  EXPECT_EQ(SystemRead(setup, "扩展参数配置", "委托程序名称"), "C:\\交易\\xiadan.exe");
  EXPECT_EQ(SystemRead(setup, "参数配置", "防止锁定刷新时间(秒)"), "300");
}
