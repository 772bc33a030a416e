#include <gtest/gtest.h>

#include "base/files.h"
#include "base/gbk.h"
#include "base/ini_file.h"
#include "support/temp_dir.h"
#include "support/unreadable_file.h"

using namespace base;
using testing_support::TempDir;

namespace {

std::string Gbk(const std::string& utf8) { return *Utf8ToGbk(utf8); }

void WriteFile(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(AtomicReplace(path, bytes));
}

}  // namespace

TEST(IniDocument, LooksUpLikeThePrivateProfileFunctions) {
  const IniDocument doc(
      "; a comment\r\n"
      "[Main]\r\n"
      "  Name = Value with blanks  \r\n"
      "Quoted=\"  kept  \"\r\n"
      "Single='x'\r\n"
      "Half=\"open\r\n"
      "Empty=\r\n"
      "NoEquals\r\n"
      "dup=first\r\n"
      "DUP=second\r\n"
      "[main]\r\n"
      "Other=in the second section\r\n"
      "[ Spaced ]\r\n"
      "k=v\r\n");
  EXPECT_EQ(doc.Get("main", "NAME"), "Value with blanks");
  EXPECT_EQ(doc.Get(" Main ", " name "), "Value with blanks") << "names are trimmed";
  EXPECT_EQ(doc.Get("Main", "Quoted"), "  kept  ");
  EXPECT_EQ(doc.Get("Main", "Single"), "x");
  EXPECT_EQ(doc.Get("Main", "Half"), "\"open");
  EXPECT_EQ(doc.Get("Main", "Empty"), "");
  EXPECT_EQ(doc.Get("Main", "NoEquals"), std::nullopt);
  EXPECT_EQ(doc.Get("Main", "dup"), "first") << "the first key wins";
  EXPECT_EQ(doc.Get("Main", "Other"), std::nullopt) << "only the first section of a name is searched";
  EXPECT_EQ(doc.Get("Main", "Missing"), std::nullopt);
  EXPECT_EQ(doc.Get("Nowhere", "Name"), std::nullopt);
  EXPECT_EQ(doc.Get(" Spaced ", "k"), std::nullopt) << "blanks inside brackets belong to the name";
  EXPECT_EQ(doc.Get("Main", ""), std::nullopt);
  EXPECT_EQ(doc.KeyNames("MAIN"), (std::vector<std::string>{"Name", "Quoted", "Single", "Half", "Empty",
                                                              "NoEquals", "dup", "DUP"}));
  EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"Main", "main", " Spaced "}));
}

TEST(IniDocument, ChineseNamesMatchByteForByteNotByAsciiCase) {
  // 0x81 0x41 and 0x81 0x61 are two different characters whose trail bytes
  // happen to be 'A' and 'a'.
  const IniDocument doc("[\x81\x41]\nk=upper\n[\x81\x61]\nk=lower\n");
  EXPECT_EQ(doc.Get("\x81\x61", "K"), "lower");
  EXPECT_EQ(doc.Get("\x81\x41", "k"), "upper");
  EXPECT_TRUE(SameIniName("abc\xD6\xD0", "ABC\xD6\xD0"));
  EXPECT_FALSE(SameIniName("\x81\x41", "\x81\x61"));
}

TEST(IniDocument, LongValuesAreCutAt2047BytesWithoutSplittingACharacter) {
  const std::string ascii(3000, 'a');
  IniDocument doc("[s]\nk=" + ascii + "\nz=" + std::string(2046, 'b') + "\xD6\xD0" + "tail\n");
  EXPECT_EQ(doc.Get("s", "k")->size(), 2047u);
  EXPECT_EQ(doc.Get("s", "z"), std::string(2046, 'b')) << "the double-byte character would straddle the cut";
}

TEST(IniDocument, WritesChangeOnlyTheirLine) {
  const std::string original =
      "; keep me\r\n[A]\r\nx = 1 ; not a comment\r\n\r\n[B]\r\ny=2\r\n\r\n\r\n[C]\r\nz=3";
  IniDocument doc(original);
  doc.Set("a", "X", "10");
  EXPECT_EQ(doc.Bytes(), "; keep me\r\n[A]\r\nx=10\r\n\r\n[B]\r\ny=2\r\n\r\n\r\n[C]\r\nz=3");
  doc.Set("B", "new", "v");
  EXPECT_EQ(doc.Bytes(), "; keep me\r\n[A]\r\nx=10\r\n\r\n[B]\r\ny=2\r\nnew=v\r\n\r\n\r\n[C]\r\nz=3");
  doc.Set("C", "w", "4");
  EXPECT_EQ(doc.Bytes(), "; keep me\r\n[A]\r\nx=10\r\n\r\n[B]\r\ny=2\r\nnew=v\r\n\r\n\r\n[C]\r\nz=3\r\nw=4\r\n");
  doc.Set("D", "k", "v");
  EXPECT_EQ(doc.Get("D", "k"), "v");
  EXPECT_TRUE(doc.Bytes().ends_with("w=4\r\n[D]\r\nk=v\r\n"));
}

TEST(IniDocument, LineBreaksInAValueCannotCreateEntries) {
  IniDocument doc;
  doc.Set("S", "k", "a\r\n[Evil]\r\nx=1");
  EXPECT_EQ(doc.Get("S", "k"), "a  [Evil]  x=1");
  EXPECT_FALSE(doc.HasSection("Evil"));
}

TEST(IniDocument, DeletesKeysAndSections) {
  IniDocument doc("[A]\nx=1\ny=2\n[B]\nz=3\n");
  EXPECT_TRUE(doc.DeleteKey("A", "x"));
  EXPECT_FALSE(doc.DeleteKey("A", "x"));
  EXPECT_EQ(doc.Bytes(), "[A]\ny=2\n[B]\nz=3\n");
  EXPECT_TRUE(doc.EraseSection("a"));
  EXPECT_EQ(doc.Bytes(), "[B]\nz=3\n");
}

TEST(IniFile, ReadsGbkFileThroughUtf8Interface) {
  TempDir dir;
  const std::string path = dir.File("setup.ini");
  WriteFile(path, Gbk("[参数配置]\r\n防止锁定刷新时间(秒)=120\r\n帮助URL=http://x/\r\n关闭启动提示=0x1\r\n"
                      "[扩展参数配置]\r\n委托程序名称=C:\\交易\\xd.exe\r\n坏数=12a\r\n"));
  const IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("参数配置", "防止锁定刷新时间(秒)", 300), 120);
  EXPECT_TRUE(ini.ReadBool("参数配置", "关闭启动提示", false));
  EXPECT_EQ(ini.ReadString("扩展参数配置", "委托程序名称", ""), "C:\\交易\\xd.exe");
  EXPECT_EQ(ini.ReadInteger("扩展参数配置", "坏数", 300), 300);
  EXPECT_EQ(ini.ReadInteger("扩展参数配置", "缺少", 255), 255);
  EXPECT_EQ(ini.ReadString("没有", "键", "默认"), "默认");
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"参数配置", "扩展参数配置"}));
  EXPECT_EQ(ini.ReadSection("参数配置"),
            (std::vector<std::string>{"防止锁定刷新时间(秒)", "帮助URL", "关闭启动提示"}));
  EXPECT_TRUE(ini.ValueExists("参数配置", "帮助url"));
  EXPECT_FALSE(ini.ValueExists("参数配置", "无"));
}

TEST(IniFile, MissingFileGivesDefaultsAndTheFirstWriteCreatesIt) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("交易软件配置", "行情交易配置文件名称", ""), "");
  EXPECT_FALSE(ini.SectionExists("交易软件配置"));
  ini.WriteString("交易软件配置", "行情交易配置文件名称", "华泰.ini");
  ini.WriteBool("S", "b", true);
  ini.WriteInteger("S", "n", -5);
  EXPECT_EQ(*ReadFileBytes(path), Gbk("[交易软件配置]\r\n行情交易配置文件名称=华泰.ini\r\n[S]\r\nb=1\r\nn=-5\r\n"));
  EXPECT_EQ(ini.ReadInteger("S", "n", 0), -5);
  ini.DeleteKey("S", "b");
  ini.EraseSection("交易软件配置");
  EXPECT_EQ(*ReadFileBytes(path), "[S]\r\nn=-5\r\n");
}

TEST(IniFile, AFailedWriteRaisesUnableToWrite) {
  TempDir dir;
  const std::string path = dir.File("no-such-folder/setup.ini");
  IniFile ini(path);
  try {
    ini.WriteString("A", "b", "c");
    FAIL() << "no exception";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
}

// A write rewrites the whole file from what was read: a file that exists but
// cannot be read (held by another program, denied, larger than memory) must
// be refused and kept, not replaced by one holding only the key.
TEST(IniFile, AWriteIsRefusedWhenTheExistingFileCannotBeRead) {
  TempDir dir;
  const std::string path = dir.File("setup.ini");
  const std::string settings = Gbk("[参数配置]\r\n防止锁定刷新时间(秒)=120\r\n关闭启动提示=0\r\n");
  WriteFile(path, settings);
  testing_support::UnreadableFile held(path);
  if (!held.Made()) GTEST_SKIP() << "no way to make a file unreadable here";
  IniFile ini(path);
  EXPECT_THROW(ini.WriteBool("参数配置", "关闭启动提示", true), EIniFileException);
  EXPECT_THROW(ini.DeleteKey("参数配置", "关闭启动提示"), EIniFileException);
  held.Release();
  EXPECT_EQ(*ReadFileBytes(path), settings);
}
