// The platform's code page converter (iconv and OpenCC on Linux, the Win32
// functions under Wine), and loads that go through it.
#include <gtest/gtest.h>

#include "plugin/litexml/codepage.h"
#include "plugin/litexml/xml.h"
#include "xml_test_dump.h"

using namespace litexml;
using testing_support::Load;

namespace {

const std::string kZhongwenGbk = "\xD6\xD0\xCE\xC4";   // 中文
const std::string kZhongwenBig5 = "\xA4\xA4\xA4\xE5";
const std::u16string kZhongwen = u"\u4E2D\u6587";

}  // namespace

TEST(XmlCodePage, DecodesAndEncodesTheChineseCodePages) {
  ICodePageConverter& conv = PlatformCodePageConverter();
  std::u16string units;
  ASSERT_TRUE(conv.Decode(936, kZhongwenGbk, units));
  EXPECT_EQ(units, kZhongwen);
  ASSERT_TRUE(conv.Decode(950, kZhongwenBig5, units));
  EXPECT_EQ(units, kZhongwen);
  ASSERT_TRUE(conv.Decode(0, "a" + kZhongwenGbk, units)) << "the system code page";
  EXPECT_EQ(units, u"a" + kZhongwen);
  std::string bytes;
  ASSERT_TRUE(conv.Encode(950, kZhongwen, bytes));
  EXPECT_EQ(bytes, kZhongwenBig5);
  ASSERT_TRUE(conv.Encode(936, u"x" + kZhongwen, bytes));
  EXPECT_EQ(bytes, "x" + kZhongwenGbk);
  ASSERT_TRUE(conv.Decode(936, "", units));
  EXPECT_TRUE(units.empty());
}

TEST(XmlCodePage, MissingCharactersBecomeQuestionMarks) {
  ICodePageConverter& conv = PlatformCodePageConverter();
  std::string bytes;
  // Thai KO KAI and A with macron have no GBK or BIG5 character (and no look-alike is taken).
  ASSERT_TRUE(conv.Encode(936, u"a\u0E01b", bytes));
  EXPECT_EQ(bytes, "a?b");
  ASSERT_TRUE(conv.Encode(950, u"\u0101" + kZhongwen, bytes));
  EXPECT_EQ(bytes, "?" + kZhongwenBig5);
  // 简 (simplified) exists only in GBK.
  ASSERT_TRUE(conv.Encode(950, u"\u7B80", bytes));
  EXPECT_EQ(bytes, "?");
}

TEST(XmlCodePage, DecodesUtf7) {
  std::u16string units;
  ASSERT_TRUE(PlatformCodePageConverter().Decode(65000, "Hi +ZeVnLA-", units));
  EXPECT_EQ(units, u"Hi \u65E5\u672C");
}

TEST(XmlCodePage, RefusesUnknownCodePages) {
  std::u16string units;
  std::string bytes;
  EXPECT_FALSE(PlatformCodePageConverter().Decode(12345, "a", units));
  EXPECT_FALSE(PlatformCodePageConverter().Encode(12345, u"a", bytes));
}

#ifndef _WIN32
// Wine 8 leaves LCMapString's Chinese mappings undone; the Windows adapter
// is checked by the Wine tests. Here the Linux mapping is checked end to end.

TEST(XmlCodePage, MapsSimplifiedAndTraditionalCharacters) {
  std::u16string mapped;
  ASSERT_TRUE(PlatformCodePageConverter().MapChinese(u"\u7B80\u4F53\u4E2D\u6587", true, mapped));
  EXPECT_EQ(mapped, u"\u7C21\u9AD4\u4E2D\u6587");  // 简体中文 -> 簡體中文
  ASSERT_TRUE(PlatformCodePageConverter().MapChinese(mapped, false, mapped));
  EXPECT_EQ(mapped, u"\u7B80\u4F53\u4E2D\u6587");
  ASSERT_TRUE(PlatformCodePageConverter().MapChinese(std::u16string(u"\u4E1C\0\u95E8", 3), true, mapped));
  EXPECT_EQ(mapped, std::u16string(u"\u6771\0\u9580", 3)) << "NULs do not end the text";
}

TEST(XmlCodePage, GbkDocumentLoadedForBig5BecomesTraditional) {
  CXmlDocument doc;
  // 简体中文 and the hiragana small A, which BIG5 lacks.
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\" encoding=\"GBK\"?><r v=\"\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4\xA4\xA1\"/>",
                 950),
            1);
  EXPECT_STREQ(doc.GetString("r", "v", ""), "\xC2\xB2\xC5\xE9\xA4\xA4\xA4\xE5?");
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\" encoding=\"BIG5\"?><r v=\"\xC2\xB2\xC5\xE9\"/>", 936), 1);
  EXPECT_STREQ(doc.GetString("r", "v", ""), "\xBC\xF2\xCC\xE5");
}
#endif
