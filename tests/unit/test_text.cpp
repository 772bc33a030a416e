#include <gtest/gtest.h>

#include "base/text.h"

using namespace base;

TEST(Text, TrimRemovesControlsAndBlanksButKeepsHighBytes) {
  EXPECT_EQ(Trim(" \t\r\n abc \x01\x1F"), "abc");
  EXPECT_EQ(Trim("\xD6\xD0 "), "\xD6\xD0");
  EXPECT_EQ(Trim("\xA1\xA1"), "\xA1\xA1") << "GBK full-width blank is not trimmed";
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
}

TEST(Text, PriceFormattingHasThreeDecimals) {
  EXPECT_EQ(FormatPrice(0), "0.000");
  EXPECT_EQ(FormatPrice(12.5), "12.500");
  EXPECT_EQ(FormatPrice(10.12f), "10.120") << "a float price prints as its intended value";
  EXPECT_EQ(FormatPrice(9.8765), "9.877");
  EXPECT_EQ(FormatPrice(-1.5), "-1.500");
  EXPECT_EQ(FormatPrice(-0.0001), "0.000");
  EXPECT_EQ(FormatPrice(999.9996), "1000.000");
  EXPECT_EQ(FormatPrice(1234567.125), "1234567.125");
  EXPECT_EQ(FormatPrice(0.0005), "0.001");
  EXPECT_EQ(FormatPrice(0.0004), "0.000");
}

TEST(Text, ExactHalvesRoundAwayFromZero) {
  EXPECT_EQ(FormatPrice(1.0625), "1.063");
  EXPECT_EQ(FormatPrice(-1.0625), "-1.063");
  EXPECT_EQ(FormatPrice(2.0005), "2.001") << "nearest double is 2.000499999999999989...";
  EXPECT_EQ(FormatFixed(2.5, 0), "3");
  EXPECT_EQ(FormatFixed(1e-9, 2), "0.00");
  EXPECT_EQ(FormatFixed(123.456, 1), "123.5");
}

TEST(Text, IntegerTextFollowsTheSettingsRule) {
  EXPECT_EQ(ReadIntegerText("300", 7), 300);
  EXPECT_EQ(ReadIntegerText("-12", 7), -12);
  EXPECT_EQ(ReadIntegerText("+12", 7), 12);
  EXPECT_EQ(ReadIntegerText("0x5", 7), 5);
  EXPECT_EQ(ReadIntegerText("0X1f", 7), 31);
  EXPECT_EQ(ReadIntegerText("0xFFFFFFFF", 7), -1);
  EXPECT_EQ(ReadIntegerText("0x", 7), 7);
  EXPECT_EQ(ReadIntegerText("0x1G", 7), 7);
  EXPECT_EQ(ReadIntegerText("abc", 7), 7);
  EXPECT_EQ(ReadIntegerText("", 7), 7);
  EXPECT_EQ(ReadIntegerText("12abc", 7), 7);
  EXPECT_EQ(ReadIntegerText("1.5", 7), 7);
  EXPECT_EQ(ReadIntegerText("$10", 7), 7);
  EXPECT_EQ(ReadIntegerText("2147483647", 7), 2147483647);
  EXPECT_EQ(ReadIntegerText("-2147483648", 7), INT32_MIN);
  EXPECT_EQ(ReadIntegerText("2147483648", 7), 7) << "overflow";
  EXPECT_EQ(ReadIntegerText("0x100000000", 7), 7) << "overflow";
}

TEST(Text, StrToIntDefAcceptsPascalHexAndLeadingBlanks) {
  EXPECT_EQ(StrToIntDef("$10", 0), 16);
  EXPECT_EQ(StrToIntDef("  42", 0), 42);
  EXPECT_EQ(StrToIntDef("42 ", 0), 0);
  EXPECT_EQ(StrToIntDef("-", 3), 3);
}

TEST(Text, DecimalsAndCaselessNames) {
  EXPECT_EQ(ParseDecimal("12.5"), 12.5);
  EXPECT_EQ(ParseDecimal(" -3 "), -3.0);
  EXPECT_EQ(ParseDecimal("+.5"), 0.5);
  EXPECT_EQ(ParseDecimal("1e3"), std::nullopt);
  EXPECT_EQ(ParseDecimal("1.2.3"), std::nullopt);
  EXPECT_EQ(ParseDecimal(""), std::nullopt);
  EXPECT_TRUE(SameTextAscii("Stock_Init", "STOCK_INIT"));
  EXPECT_FALSE(SameTextAscii("a", "ab"));
}
