#include <gtest/gtest.h>

#include <chrono>

#include "base/ini_file.h"
#include "settings/unt_common.h"
#include "support/temp_dir.h"
#include "test_settings_support.h"

using namespace settings;
using namespace settings_test;
using testing_support::TempDir;

namespace {

std::string StepSection(const std::string& name, const std::string& count, const std::vector<std::string>& texts) {
  std::string s = "[" + name + "]\r\n步骤数=" + count + "\r\n";
  for (size_t i = 0; i < texts.size(); ++i) s += StepKey(static_cast<int32_t>(i + 1)) + "=" + texts[i] + "\r\n";
  return s;
}

std::vector<std::string> Texts(const TStepList& steps) {
  std::vector<std::string> texts;
  for (const TStep& s : steps) texts.push_back(s.text);
  return texts;
}

std::vector<std::string> Keys(const TStepList& steps) {
  std::vector<std::string> keys;
  for (const TStep& s : steps) keys.push_back(s.key);
  return keys;
}

TTradingProfile Read(const std::string& path) {
  TTradingProfile p;
  ReadProfile(path, p);
  return p;
}

}  // namespace

TEST(ProfileRead, ReadsTheSystemSectionAndBothStepLists) {
  TempDir dir;
  const std::string path = dir.File("华泰.ini");
  WriteGbk(path, "[交易系统]\r\n窗口标题=网上股票交易系统5.0\r\n刷新键={F5}\r\n刷新间隔时间=60\r\n底层绑定=1\r\n" +
                     StepSection("买入", "2", {"{F1}", "var ZQDM"}) + StepSection("卖出", "1", {"{F2}"}));
  const TTradingProfile p = Read(path);
  EXPECT_EQ(p.windowTitle, "网上股票交易系统5.0");
  EXPECT_EQ(p.refreshKey, "{F5}");
  EXPECT_EQ(p.refreshInterval, 60);
  EXPECT_EQ(p.binding, 1);
  EXPECT_EQ(p.buyStepCount, 2);
  EXPECT_EQ(Keys(p.buySteps), (std::vector<std::string>{"第1步键入", "第2步键入"}));
  EXPECT_EQ(Texts(p.buySteps), (std::vector<std::string>{"{F1}", "var ZQDM"}));
  EXPECT_EQ(p.sellStepCount, 1);
  EXPECT_EQ(Texts(p.sellSteps), std::vector<std::string>{"{F2}"});
}

TEST(ProfileRead, EmptyStepsAreLeftOutAndTheOrderIsTheStepNumbers) {
  TempDir dir;
  const std::string path = dir.File("p.ini");
  WriteGbk(path, "[买入]\r\n第3步键入=var ZQDM\r\n步骤数=3\r\n第2步键入=\r\n第1步键入={F1}\r\n");
  const TTradingProfile p = Read(path);
  EXPECT_EQ(Keys(p.buySteps), (std::vector<std::string>{"第1步键入", "第3步键入"}));
  EXPECT_EQ(Texts(p.buySteps), (std::vector<std::string>{"{F1}", "var ZQDM"}));
  EXPECT_EQ(p.buyStepCount, 3);
}

TEST(ProfileRead, OnlyStepsOneToTheCountAreRead) {
  TempDir dir;
  const std::string path = dir.File("p.ini");
  WriteGbk(path, "[买入]\r\n步骤数=2\r\n第1步键入=a\r\n第2步键入=b\r\n第3步键入=above the count\r\n"
                 "第0步键入=zero\r\n第01步键入=leading zero\r\n第-1步键入=negative\r\n"
                 "[卖出]\r\n步骤数=5\r\n第2步键入=only two\r\n");
  const TTradingProfile p = Read(path);
  EXPECT_EQ(Texts(p.buySteps), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Texts(p.sellSteps), std::vector<std::string>{"only two"}) << "missing keys read as empty";
  EXPECT_EQ(Keys(p.sellSteps), std::vector<std::string>{"第2步键入"});
}

TEST(ProfileRead, StepCountsFollowTheIntegerRules) {
  TempDir dir;
  const std::string path = dir.File("p.ini");
  const std::vector<std::string> six = {"1", "2", "3", "4", "5", "6"};
  WriteGbk(path, StepSection("买入", "0x5", six) + StepSection("卖出", "abc", six));
  TTradingProfile p = Read(path);
  EXPECT_EQ(p.buyStepCount, 5);
  EXPECT_EQ(p.buySteps.size(), 5u);
  EXPECT_EQ(p.sellStepCount, 0);
  EXPECT_TRUE(p.sellSteps.empty());

  WriteGbk(path, StepSection("买入", "-3", six) + StepSection("卖出", "0", six));
  p = Read(path);
  EXPECT_TRUE(p.buySteps.empty());
  EXPECT_TRUE(p.sellSteps.empty());
}

TEST(ProfileRead, AHugeStepCountReadsOnlyTheStepsPresentAndQuickly) {
  TempDir dir;
  const std::string path = dir.File("p.ini");
  WriteGbk(path, "[买入]\r\n步骤数=0x7FFFFFFF\r\n第1步键入=a\r\n第2147483647步键入=last\r\n第2147483648步键入=beyond\r\n");
  const auto start = std::chrono::steady_clock::now();
  const TTradingProfile p = Read(path);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(p.buyStepCount, 2147483647);
  EXPECT_EQ(Texts(p.buySteps), (std::vector<std::string>{"a", "last"}));
}

TEST(ProfileRead, OnlyBindingOneSelectsControlLevelMode) {
  TempDir dir;
  const std::string path = dir.File("p.ini");
  const std::pair<const char*, bool> cases[] = {{"1", true}, {"0x1", true}, {"2", false}, {"0", false},
                                                {"-1", false}, {"one", false}};
  for (const auto& [text, control] : cases) {
    WriteGbk(path, std::string("[交易系统]\r\n底层绑定=") + text + "\r\n");
    EXPECT_EQ(Read(path).ControlLevelMode(), control) << text;
  }
}

TEST(ProfileRead, StepTextsAreHeldExactlyAsReadBlanksIncluded) {
  TempDir dir;
  const std::string path = dir.File("p.ini");
  WriteGbk(path, "[买入]\r\n步骤数=4\r\n第1步键入=\"  wait 300  \"\r\n第2步键入=   {TAB}   \r\n"
                 "第3步键入=\"   \"\r\n第4步键入=var  ZQDM\r\n");
  const TTradingProfile p = Read(path);
  // The read removes the blanks around an unquoted value and one pair of
  // quotes; what it returns is kept, a step of blanks included.
  EXPECT_EQ(Texts(p.buySteps), (std::vector<std::string>{"  wait 300  ", "{TAB}", "   ", "var  ZQDM"}));
}

TEST(ProfileRead, OverLongStepTextsAreCutAt2047Bytes) {
  TempDir dir;
  const std::string path = dir.File("p.ini");
  WriteGbk(path, "[买入]\r\n步骤数=1\r\n第1步键入=" + std::string(5000, 'k') + "\r\n");
  EXPECT_EQ(Read(path).buySteps.at(0).text, std::string(2047, 'k'));
}

TEST(ProfileRead, AMissingFileGivesTheEmptyProfile) {
  TempDir dir;
  const std::string path = dir.File("p.ini");
  WriteGbk(path, "[交易系统]\r\n窗口标题=A\r\n刷新键=x\r\n刷新间隔时间=5\r\n底层绑定=1\r\n" +
                     StepSection("买入", "1", {"{F1}"}) + StepSection("卖出", "1", {"{F2}"}));
  TTradingProfile p = Read(path);
  p.profileName = "kept.ini";
  ReadProfile(dir.File("absent.ini"), p);
  EXPECT_EQ(p.windowTitle, "");
  EXPECT_EQ(p.refreshKey, "");
  EXPECT_EQ(p.refreshInterval, 300);
  EXPECT_EQ(p.binding, 0);
  EXPECT_EQ(p.buyStepCount, 0);
  EXPECT_EQ(p.sellStepCount, 0);
  EXPECT_TRUE(p.buySteps.empty());
  EXPECT_TRUE(p.sellSteps.empty());
  EXPECT_EQ(p.profileName, "kept.ini") << "config.ini's values are not the profile file's";
}

TEST(ProfileRead, AShorterProfileReplacesALongerOne) {
  TempDir dir;
  WriteGbk(dir.File("nine.ini"), StepSection("买入", "9", {"1", "2", "3", "4", "5", "6", "7", "8", "9"}) +
                                     StepSection("卖出", "2", {"s1", "s2"}));
  WriteGbk(dir.File("four.ini"), StepSection("买入", "4", {"a", "b", "c", "d"}));
  TTradingProfile p;
  ReadProfile(dir.File("nine.ini"), p);
  ASSERT_EQ(p.buySteps.size(), 9u);
  ReadProfile(dir.File("four.ini"), p);
  EXPECT_EQ(Texts(p.buySteps), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_TRUE(p.sellSteps.empty());
}

TEST(ConfigIni, ReadsTheProfileNameAndReleaseDate) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteGbk(path, "[交易软件配置]\r\n行情交易配置文件名称=国信证券.ini\r\n发布时间=2009-03-01\r\n");
  TTradingProfile p;
  TMonitorDefaultSet d;
  ReadConfigFile(path, p, d);
  EXPECT_EQ(p.profileName, "国信证券.ini");
  EXPECT_EQ(p.releaseDate, "2009-03-01");
  WriteGbk(path, "[交易软件配置]\r\n");
  ReadConfigFile(path, p, d);
  EXPECT_EQ(p.profileName, "");
  EXPECT_EQ(p.releaseDate, "");
}

TEST(ConfigIni, WriteProfileNameAndReleaseDateOnlyWhenTheFileExists) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteProfileName(path, "a.ini");
  WriteReleaseDate(path, "2010-01-01");
  EXPECT_FALSE(base::FileExists(path));

  WriteGbk(path, "[止盈默认设置]\r\n买卖数量=100\r\n");
  WriteProfileName(path, "招商.ini");
  WriteReleaseDate(path, "2010-01-01");
  EXPECT_EQ(FileText(path), "[止盈默认设置]\r\n买卖数量=100\r\n[交易软件配置]\r\n行情交易配置文件名称=招商.ini\r\n"
                            "发布时间=2010-01-01\r\n");
}

TEST(ConfigIni, AFailedProfileNameWriteIsSwallowed) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteGbk(path, "[交易软件配置]\r\n行情交易配置文件名称=old.ini\r\n");
  BlockWrites(path);
  EXPECT_NO_THROW(WriteProfileName(path, "new.ini"));
  EXPECT_NO_THROW(WriteReleaseDate(path, "2011-11-11"));
  EXPECT_EQ(FileText(path), "[交易软件配置]\r\n行情交易配置文件名称=old.ini\r\n");
}

TEST(WindowTitle, CreatesTheProfileAndKeepsItsSteps) {
  TempDir dir;
  const std::string path = dir.File("new.ini");
  WriteWindowTitle(path, "模拟交易");
  EXPECT_EQ(FileText(path), "[交易系统]\r\n窗口标题=模拟交易\r\n");

  WriteGbk(path, "[交易系统]\r\n窗口标题=old\r\n底层绑定=1\r\n" + StepSection("买入", "1", {"{F1}"}));
  WriteWindowTitle(path, "网上股票交易系统");
  const TTradingProfile p = Read(path);
  EXPECT_EQ(p.windowTitle, "网上股票交易系统");
  EXPECT_EQ(p.binding, 1);
  EXPECT_EQ(Texts(p.buySteps), std::vector<std::string>{"{F1}"});
}

TEST(WindowTitle, AFailedWriteReachesTheCaller) {
  TempDir dir;
  const std::string path = dir.File("no-folder/p.ini");
  try {
    WriteWindowTitle(path, "x");
    FAIL() << "no exception";
  } catch (const base::EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
}

TEST(TradingSettings, LoadsTheProfileThatConfigIniNames) {
  TempDir dir;
  TSettings s(base::PathToUtf8(dir.path()));
  std::filesystem::create_directory(dir.path() / "settings");
  WriteGbk(s.ConfigPath(), "[交易软件配置]\r\n行情交易配置文件名称=模拟.ini\r\n");
  WriteGbk(s.SettingsFolder() + "模拟.ini", "[交易系统]\r\n窗口标题=模拟\r\n" + StepSection("买入", "1", {"{F1}"}));
  s.LoadTradingSettings();
  EXPECT_EQ(s.ProfilePath(), s.SettingsFolder() + "模拟.ini");
  EXPECT_EQ(s.profile.windowTitle, "模拟");
  EXPECT_EQ(s.profile.buySteps.size(), 1u);

  // No profile named: the settings folder itself is "read", giving the empty profile.
  WriteGbk(s.ConfigPath(), "[交易软件配置]\r\n行情交易配置文件名称=\r\n");
  s.LoadTradingSettings();
  EXPECT_EQ(s.ProfilePath(), s.SettingsFolder());
  EXPECT_EQ(s.profile.windowTitle, "");
  EXPECT_TRUE(s.profile.buySteps.empty());
}

TEST(TradingSettings, PathsHangOffTheApplicationFolder) {
  const TSettings s("C:\\quorvel\\");
  EXPECT_EQ(s.ConfigPath(), "C:\\quorvel\\config.ini");
  EXPECT_EQ(s.SetupPath(), "C:\\quorvel\\setup.ini");
  EXPECT_EQ(s.OptionsPath(), "C:\\quorvel\\option.opt");
  const std::string added = TSettings("C:\\quorvel").ApplicationFolder();
  EXPECT_EQ(added.size(), std::string("C:\\quorvel\\").size()) << "a missing separator is added, once";
  EXPECT_TRUE(added.ends_with('\\') || added.ends_with('/'));
}
