// The project's INI reader and writer against the system's private-profile
// functions, on the cases where those functions define the behaviour.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/files.h"
#include "base/gbk.h"
#include "base/ini_file.h"
#include "support/temp_dir.h"

using namespace base;
using testing_support::TempDir;

namespace {

// The system's answer for a read through the program's 2048-byte buffer, as
// UTF-8 (the A functions speak the system code page, which is GBK here).
std::string SystemRead(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& def) {
  char buffer[2048];
  const std::string gbkPath = *Utf8ToGbk(path);
  GetPrivateProfileStringA(Utf8ToGbk(section)->c_str(), Utf8ToGbk(key)->c_str(), Utf8ToGbk(def)->c_str(),
                           buffer, sizeof buffer, gbkPath.c_str());
  return GbkToUtf8Lossy(buffer);
}

void SystemWrite(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value) {
  ASSERT_TRUE(WritePrivateProfileStringA(Utf8ToGbk(section)->c_str(), Utf8ToGbk(key)->c_str(),
                                         Utf8ToGbk(value)->c_str(), Utf8ToGbk(path)->c_str()));
  // The system caches profiles; flush so the next read sees the file.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, Utf8ToGbk(path)->c_str());
}

class IniAgreement : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 936) GTEST_SKIP() << "needs the Chinese system code page (LANG=zh_CN.UTF-8)";
  }
  TempDir dir_;
};

struct Query {
  const char* section;
  const char* key;
};

}  // namespace

TEST_F(IniAgreement, ReadsAgreeWithGetPrivateProfileString) {
  const std::string path = dir_.File("cases.ini");
  const std::string text =
      "[参数配置]\r\n"
      "防止锁定刷新时间(秒)=120\r\n"
      "Hex=0x1F\r\n"
      "Bad=12abc\r\n"
      "  Padded Key  =   padded value   \r\n"
      "Quoted=\"  inner  \"\r\n"
      "Apos='x'\r\n"
      "Empty=\r\n"
      "Long=" + std::string(3000, 'L') + "\r\n"
      "[MixedCase]\r\n"
      "KeyName=upper\r\n"
      "[交易系统]\r\n"
      "窗口标题=网上股票交易系统5.0\r\n"
      "[买入]\r\n"
      "步骤数=3\r\n"
      "第1步键入={F1}\r\n"
      "第3步键入=var ZQDM\r\n";
  ASSERT_TRUE(AtomicReplace(path, *Utf8ToGbk(text)));
  const Query queries[] = {
      {"参数配置", "防止锁定刷新时间(秒)"}, {"参数配置", "Hex"},     {"参数配置", "Bad"},
      {"参数配置", "padded key"},           {"参数配置", "Quoted"},  {"参数配置", "Apos"},
      {"参数配置", "Empty"},                {"参数配置", "Long"},    {"参数配置", "Missing"},
      {"mixedcase", "KEYNAME"},             {"MIXEDCASE", "keyname"}, {"交易系统", "窗口标题"},
      {"买入", "步骤数"},                   {"买入", "第1步键入"},   {"买入", "第2步键入"},
      {"买入", "第3步键入"},                {"没有", "键"},
  };
  const IniFile ini(path);
  for (const Query& q : queries) {
    EXPECT_EQ(ini.ReadString(q.section, q.key, "DEF"), SystemRead(path, q.section, q.key, "DEF"))
        << q.section << "/" << q.key;
  }
  EXPECT_EQ(ini.ReadString("参数配置", "Long", "").size(), 2047u);
  // The integer rules apply to what was read.
  EXPECT_EQ(ini.ReadInteger("参数配置", "Hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("参数配置", "Bad", 300), 300);
}

TEST_F(IniAgreement, MissingFileReadsTheDefault) {
  const std::string path = dir_.File("absent.ini");
  EXPECT_EQ(IniFile(path).ReadString("S", "k", "fallback"), SystemRead(path, "S", "k", "fallback"));
}

TEST_F(IniAgreement, WhatEitherWritesTheOtherReads) {
  const std::string path = dir_.File("written.ini");
  IniFile ini(path);
  ini.WriteString("扩展参数配置", "委托程序名称", "C:\\交易\\xiadan.exe");
  ini.WriteInteger("扩展参数配置", "下单软件透明度", 0);
  SystemWrite(path, "扩展参数配置", "是否显示行情提示框", "1");
  SystemWrite(path, "新节", "键", "值");
  ini.WriteString("扩展参数配置", "下单软件透明度", "200");
  SystemWrite(path, "EXTRA", "A", "1");
  ini.WriteString("extra", "a", "2");

  EXPECT_EQ(SystemRead(path, "扩展参数配置", "委托程序名称", ""), "C:\\交易\\xiadan.exe");
  EXPECT_EQ(SystemRead(path, "扩展参数配置", "下单软件透明度", ""), "200");
  EXPECT_EQ(ini.ReadString("扩展参数配置", "是否显示行情提示框", ""), "1");
  EXPECT_EQ(ini.ReadString("新节", "键", ""), "值");
  EXPECT_EQ(SystemRead(path, "Extra", "a", ""), "2");
  EXPECT_EQ(ini.ReadSection("extra"), std::vector<std::string>{"A"});
}
