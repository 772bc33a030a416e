#include <gtest/gtest.h>

#include "base/ini_file.h"
#include "settings/unt_common.h"
#include "support/temp_dir.h"
#include "test_settings_support.h"

using namespace settings;
using namespace settings_test;
using testing_support::TempDir;

namespace {

void ExpectDefaults(const TParameters& p) {
  EXPECT_EQ(p.antiLockSeconds, 300);
  EXPECT_FALSE(p.hideStartupNotice);
  EXPECT_EQ(p.helpUrl, "");
  EXPECT_EQ(p.tradingWindowAlpha, 255);
  EXPECT_EQ(p.mainWindowAlpha, 255);
  EXPECT_TRUE(p.minimiseAfterOrder);
  EXPECT_FALSE(p.showQuoteTip);
  EXPECT_EQ(p.orderProgram, "");
  EXPECT_EQ(p.tapeKeepDays, 60);
}

TParameters SomeValues() {
  TParameters p;
  p.antiLockSeconds = 120;
  p.hideStartupNotice = true;
  p.tradingWindowAlpha = 200;
  p.mainWindowAlpha = 180;
  p.minimiseAfterOrder = false;
  p.showQuoteTip = true;
  p.orderProgram = "C:\\同花顺\\xiadan.exe";
  p.tapeKeepDays = 7;
  return p;
}

}  // namespace

TEST(SetupIniRead, MissingFileGivesEveryDefault) {
  TempDir dir;
  TParameters p = SomeValues();
  ReadParameters(dir.File("setup.ini"), p);
  ExpectDefaults(p);
}

TEST(SetupIniRead, ReadsEveryKey) {
  TempDir dir;
  const std::string path = dir.File("setup.ini");
  WriteGbk(path,
           "[参数配置]\r\n防止锁定刷新时间(秒)=0x3C\r\n关闭启动提示=7\r\n帮助URL=http://help.example/\r\n"
           "[扩展参数配置]\r\n下单软件透明度=0\r\nTarvolen软件透明度=10\r\n"
           "下单完成后是否最小化下单软件=0\r\n是否显示行情提示框=1\r\n委托程序名称=D:\\证券\\xiadan.exe\r\n");
  TParameters p;
  ReadParameters(path, p);
  EXPECT_EQ(p.antiLockSeconds, 60);
  EXPECT_TRUE(p.hideStartupNotice) << "any non-zero integer is true";
  EXPECT_EQ(p.helpUrl, "http://help.example/");
  EXPECT_EQ(p.tradingWindowAlpha, 0);
  EXPECT_EQ(p.mainWindowAlpha, 10);
  EXPECT_FALSE(p.minimiseAfterOrder);
  EXPECT_TRUE(p.showQuoteTip);
  EXPECT_EQ(p.orderProgram, "D:\\证券\\xiadan.exe");
}

TEST(SetupIniRead, UnreadableOrUnusableNumbersGiveTheDefaults) {
  TempDir dir;
  const std::string path = dir.File("setup.ini");
  TParameters p;
  WriteGbk(path, "[参数配置]\r\n防止锁定刷新时间(秒)=五分钟\r\n关闭启动提示=yes\r\n帮助URL=\r\n"
                 "[扩展参数配置]\r\n下单软件透明度=12a\r\nTarvolen软件透明度=0x\r\n"
                 "下单完成后是否最小化下单软件=false\r\n");
  ReadParameters(path, p);
  ExpectDefaults(p);

  // Out of range: a timer interval that is not positive or overflows in
  // milliseconds, opacities beyond a byte or a main window below 10.
  WriteGbk(path, "[参数配置]\r\n防止锁定刷新时间(秒)=0\r\n[扩展参数配置]\r\n下单软件透明度=256\r\n"
                 "Tarvolen软件透明度=9\r\n");
  ReadParameters(path, p);
  ExpectDefaults(p);
  WriteGbk(path, "[参数配置]\r\n防止锁定刷新时间(秒)=2147484\r\n[扩展参数配置]\r\n下单软件透明度=-1\r\n"
                 "Tarvolen软件透明度=256\r\n");
  ReadParameters(path, p);
  ExpectDefaults(p);
  WriteGbk(path, "[参数配置]\r\n防止锁定刷新时间(秒)=2147483\r\n");
  ReadParameters(path, p);
  EXPECT_EQ(p.antiLockSeconds, 2147483);
}

TEST(SetupIniWrite, WritesNothingWhenTheFileIsMissing) {
  TempDir dir;
  const std::string path = dir.File("setup.ini");
  TParameters p = SomeValues();
  p.tradingWindowAlpha = 0;
  WriteParameters(path, p);
  EXPECT_FALSE(base::FileExists(path));
  EXPECT_EQ(p.tradingWindowAlpha, 0) << "nothing was written, so the value stays";
}

TEST(SetupIniWrite, WritesItsKeysInOrderAndNotTheHelpAddress) {
  TempDir dir;
  const std::string path = dir.File("setup.ini");
  WriteBytes(path, "");
  TParameters p = SomeValues();
  p.helpUrl = "http://not.written/";
  WriteParameters(path, p);
  EXPECT_EQ(FileBytes(path), Gbk("[参数配置]\r\n防止锁定刷新时间(秒)=120\r\n关闭启动提示=1\r\n"
                                 "[扩展参数配置]\r\n下单软件透明度=200\r\nTarvolen软件透明度=180\r\n"
                                 "下单完成后是否最小化下单软件=0\r\n是否显示行情提示框=1\r\n"
                                 "委托程序名称=C:\\同花顺\\xiadan.exe\r\n行情录制保留天数=7\r\n"));
  TParameters back;
  ReadParameters(path, back);
  p.helpUrl.clear();
  EXPECT_EQ(back, p);
}

TEST(SetupIniWrite, KeepsKeysTheUserAddedAndTheHelpAddress) {
  TempDir dir;
  const std::string path = dir.File("setup.ini");
  WriteGbk(path, "; 用户的注释\r\n[参数配置]\r\n防止锁定刷新时间(秒)=60\r\n帮助URL=http://mine/\r\n自定义=保留\r\n");
  TParameters p;
  WriteParameters(path, p);
  const std::string text = FileText(path);
  EXPECT_TRUE(text.starts_with("; 用户的注释\r\n[参数配置]\r\n防止锁定刷新时间(秒)=300\r\n帮助URL=http://mine/\r\n"
                               "自定义=保留\r\n关闭启动提示=0\r\n[扩展参数配置]\r\n"))
      << text;
}

TEST(SetupIniWrite, ATransparencyOfZeroIsStoredButBecomesTenInMemory) {
  TempDir dir;
  const std::string path = dir.File("setup.ini");
  WriteBytes(path, "");
  TParameters p;
  p.tradingWindowAlpha = 0;
  p.mainWindowAlpha = 0;
  WriteParameters(path, p);
  EXPECT_EQ(p.tradingWindowAlpha, 10);
  EXPECT_EQ(p.mainWindowAlpha, 10);
  const base::IniFile ini(path);
  EXPECT_EQ(ini.ReadString("扩展参数配置", "下单软件透明度", ""), "0");
  EXPECT_EQ(ini.ReadString("扩展参数配置", "Tarvolen软件透明度", ""), "0");
  // Until setup.ini is read again.
  ReadParameters(path, p);
  EXPECT_EQ(p.tradingWindowAlpha, 0);
  // Other values are left as they are.
  p.tradingWindowAlpha = 1;
  WriteParameters(path, p);
  EXPECT_EQ(p.tradingWindowAlpha, 1);
}

TEST(SetupIniWrite, AFailedWriteRaisesUnableToWrite) {
  TempDir dir;
  const std::string path = dir.File("setup.ini");
  WriteBytes(path, "");
  BlockWrites(path);
  TParameters p;
  try {
    WriteParameters(path, p);
    FAIL() << "no exception";
  } catch (const base::EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
}
