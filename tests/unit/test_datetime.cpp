#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "base/datetime.h"
#include "base/market_clock.h"

using namespace base;

TEST(DateTime, ScaleStartsAt18991230) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
  EXPECT_EQ(EncodeDate(2000, 3, 1), 36586.0);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0), 0.5);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2026, 12, 9, 6, 0, 0), EncodeDate(2026, 12, 9) + 0.25);
}

TEST(DateTime, DecodeInvertsEncode) {
  for (int y : {1900, 1999, 2000, 2024, 2100}) {
    for (int m = 1; m <= 12; ++m) {
      const int d = m == 2 ? 28 : 30;
      const auto p = DecodeDateTime(EncodeDateTime(y, m, d, 23, 59, 59, 999));
      ASSERT_EQ(p.year, y);
      ASSERT_EQ(p.month, m);
      ASSERT_EQ(p.day, d);
      ASSERT_EQ(p.hour, 23);
      ASSERT_EQ(p.minute, 59);
      ASSERT_EQ(p.second, 59);
      ASSERT_EQ(p.millisecond, 999);
    }
  }
  EXPECT_EQ(DecodeDateTime(EncodeDate(2024, 2, 29)).day, 29);
  EXPECT_EQ(DecodeDateTime(EncodeDate(2026, 12, 9)).dayOfWeek, 3) << "a Wednesday";
}

TEST(DateTime, FractionJustBelowMidnightCarriesIntoTheNextDay) {
  const auto p = DecodeDateTime(EncodeDate(2024, 12, 31) + 0.9999999999);
  EXPECT_EQ(p.year, 2025);
  EXPECT_EQ(p.month, 1);
  EXPECT_EQ(p.day, 1);
  EXPECT_EQ(p.hour, 0);
}

TEST(DateTime, FormatsTheProgramsPatterns) {
  const TDateTime t = EncodeDateTime(2026, 3, 7, 9, 5, 4, 12);
  EXPECT_EQ(FormatDateTime("hh:nn:ss", t), "09:05:04");
  EXPECT_EQ(FormatDateTime("yy-mm-dd", t), "26-03-07");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", t), "2026-03-07");
  EXPECT_EQ(FormatDateTime("mm-dd hh:nn:ss", t), "03-07 09:05:04");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", t), "2026-03-07 09:05:04");
  EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", t), "09:05:04.012");
  EXPECT_EQ(FormatDateTime("[yyyy]", t), "[2026]");
}

TEST(DateTime, QuoteTimeIsChinaLocalTime) {
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", QuoteTimeToDateTime(0)), "1970-01-01 08:00:00");
  // 2024-01-02 01:30:15 UTC is 09:30:15 in Shanghai.
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", QuoteTimeToDateTime(1704159015)),
            "2024-01-02 09:30:15");
  // 16:00 UTC crosses midnight.
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", QuoteTimeToDateTime(1704211200)),
            "2024-01-03 00:00:00");
  EXPECT_DOUBLE_EQ(QuoteTimeToDateTime(0), 25569.0 + 8.0 / 24);
  // Before the epoch the date still counts whole days down.
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", QuoteTimeToDateTime(-9 * 3600)), "1969-12-31 23:00:00");
}

TEST(DateTime, NowIsAPlausibleLocalTime) {
  const TDateTime now = Now();
  EXPECT_GT(now, EncodeDate(2020, 1, 1));
  EXPECT_LT(now, EncodeDate(2100, 1, 1));
}

// The market's clock is Beijing time whatever this computer's zone: with the
// local zone five hours behind UTC, the local clock is 13 hours behind it.
namespace {
void SetTimeZone(const std::string* value) {
#ifdef _WIN32
  _putenv_s("TZ", value ? value->c_str() : "");
  _tzset();
#else
  if (value) {
    setenv("TZ", value->c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
#endif
}
}  // namespace

TEST(DateTime, BeijingNowIgnoresTheLocalTimeZone) {
  const char* saved = std::getenv("TZ");
  const std::string before = saved ? saved : "";
  const std::string eastern = "EST5";
  SetTimeZone(&eastern);
  const TDateTime local = Now();
  const TDateTime beijing = BeijingNow();
  const TDateTime fromEpoch = QuoteTimeToDateTime(static_cast<int32_t>(std::time(nullptr)));
  SetTimeZone(saved ? &before : nullptr);
  EXPECT_NEAR((beijing - local) * 24, 13.0, 0.01);
  EXPECT_NEAR((beijing - fromEpoch) * kSecondsPerDay, 0.0, 2.0);
}
