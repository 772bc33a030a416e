#include <gtest/gtest.h>

#include "base/gbk.h"

using namespace base;

namespace {
// "中文" in both encodings, and the unit marker "‰".
const std::string kZhongwenGbk = "\xD6\xD0\xCE\xC4";
const std::string kZhongwenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kPermilleGbk = "\xA1\xEB";
const std::string kPermilleUtf8 = "\xE2\x80\xB0";
}  // namespace

TEST(Gbk, ConvertsChineseTextBothWays) {
  EXPECT_EQ(GbkToUtf8(kZhongwenGbk), kZhongwenUtf8);
  EXPECT_EQ(Utf8ToGbk(kZhongwenUtf8), kZhongwenGbk);
  EXPECT_EQ(Utf8ToGbk(kPermilleUtf8), kPermilleGbk);
  EXPECT_EQ(GbkToUtf8("abc" + kPermilleGbk), "abc" + kPermilleUtf8);
  EXPECT_EQ(GbkToUtf8(""), "");
  // An embedded NUL is a character like any other.
  EXPECT_EQ(GbkToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Gbk, EuroSignIsTheOnlySingleHighByte) {
  EXPECT_EQ(GbkToUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(GbkToUtf8("\xFF"), std::nullopt);
}

TEST(Gbk, RefusesWhatIsNotGbk) {
  EXPECT_EQ(GbkToUtf8("\xD6"), std::nullopt) << "lead byte without trail";
  EXPECT_EQ(GbkToUtf8("\xD6\x20"), std::nullopt) << "trail outside the range";
  EXPECT_EQ(GbkToUtf8("\xAA\xA1"), std::nullopt) << "user-defined area";
  EXPECT_EQ(GbkToUtf8("\xF8\xA1"), std::nullopt) << "user-defined area";
  EXPECT_EQ(Utf8ToGbk("\xEE\x80\x80"), std::nullopt) << "private use character";
  EXPECT_EQ(Utf8ToGbk("\xC3\x80"), std::nullopt) << "no best-fit 'A' for A-grave";
  EXPECT_EQ(Utf8ToGbk("\xF0\x9F\x98\x80"), std::nullopt) << "outside the basic plane";
  EXPECT_EQ(Utf8ToGbk("\xE4\xB8"), std::nullopt) << "truncated UTF-8";
  EXPECT_EQ(Utf8ToGbk("\xC0\xAF"), std::nullopt) << "overlong UTF-8";
  EXPECT_EQ(Utf8ToGbk("\xED\xA0\x80"), std::nullopt) << "encoded surrogate";
}

TEST(Gbk, LossyFormsReplaceOnlyTheBadCharacters) {
  // a 啊 <user-defined pair> <lead before a blank> z <lone FF>
  EXPECT_EQ(GbkToUtf8Lossy("a\xB0\xA1\xAA\xA1\x81 z\xFF"),
            "a\xE5\x95\x8A\xEF\xBF\xBD\xEF\xBF\xBD z\xEF\xBF\xBD");
  // A lead byte before a byte outside the trail range does not swallow it;
  // before one inside the range it forms a character ("\xD6" "A" is one).
  EXPECT_EQ(GbkToUtf8Lossy("\xD6" "1"), "\xEF\xBF\xBD" "1");
  EXPECT_EQ(GbkToUtf8Lossy("\xD6" "A"), "\xE8\xAB\xA5");
  // a 中 <private use> À <invalid byte> z
  EXPECT_EQ(Utf8ToGbkLossy("a\xE4\xB8\xAD\xEE\x80\x80\xC3\x80\xFFz"), "a\xD6\xD0???z");
  EXPECT_EQ(GbkToUtf8Lossy(kZhongwenGbk), kZhongwenUtf8);
}

TEST(Gbk, EveryValidDoubleByteCharacterRoundTrips) {
  int valid = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      const std::string gbk(pair, 2);
      const auto utf8 = GbkToUtf8(gbk);
      if (!utf8) continue;
      ++valid;
      ASSERT_EQ(Utf8ToGbk(*utf8), gbk) << std::hex << lead << " " << trail;
    }
  }
  EXPECT_EQ(valid, 21791);
}

TEST(Utf16, ConvertsAndRepairs) {
  EXPECT_EQ(Utf8ToUtf16(kZhongwenUtf8), u"\u4E2D\u6587");
  EXPECT_EQ(Utf16ToUtf8(u"\u4E2D\u6587"), kZhongwenUtf8);
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  const char16_t lone[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_TRUE(IsValidUtf8(kZhongwenUtf8 + "\xEF\xBF\xBD"));
  EXPECT_FALSE(IsValidUtf8("\xE4\xB8"));
}
