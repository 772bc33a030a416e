// The program's date-time value: days since 1899-12-30 as a double, the
// fraction being the time of day. Records store it and the quote time
// conversion produces it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace base {

using TDateTime = double;

// Day 25569 of the scale is 1970-01-01.
constexpr int kUnixEpochDay = 25569;
constexpr int kSecondsPerDay = 86400;
constexpr int64_t kMsecsPerDay = 86400000;

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  int dayOfWeek = 0;  // 0 Sunday .. 6 Saturday
};

// Days since 1899-12-30 of a proleptic Gregorian date.
int32_t DaysFromCivil(int year, int month, int day);
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond = 0);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond = 0);
// The fraction is rounded to the nearest millisecond; a fraction that rounds
// up to a whole day carries into the next date.
DateTimeParts DecodeDateTime(TDateTime value);

// Formats with the tokens yyyy, yy, mm, m, dd, d, hh, h, nn, n, ss, s and
// zzz; every other character is copied. The program uses "hh:nn:ss",
// "yy-mm-dd", "yyyy-mm-dd", "mm-dd hh:nn:ss" and "yyyy-mm-dd hh:nn:ss".
std::string FormatDateTime(std::string_view format, TDateTime value);

// Quote time (seconds since 1970-01-01 00:00 UTC) to the local date-time of
// the quote's market: eight hours are added, whatever this computer's zone.
TDateTime QuoteTimeToDateTime(int32_t quoteTime);

// The computer's local clock.
TDateTime Now();

}  // namespace base
