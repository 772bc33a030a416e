#include "base/datetime.h"
#include "base/market_clock.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace base {
namespace {

// Howard Hinnant's civil-from-days, on days since 1970-01-01.
void CivilFromUnixDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

void AppendNumber(std::string& out, int value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (value < 0) out += '-';
  for (int i = static_cast<int>(digits.size()); i < width; ++i) out += '0';
  out += digits;
}

}  // namespace

int32_t DaysFromCivil(int year, int month, int day) {
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int unixDays = era * 146097 + doe - 719468;
  return unixDays + kUnixEpochDay;
}

TDateTime EncodeDate(int year, int month, int day) { return DaysFromCivil(year, month, day); }

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  return (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / kMsecsPerDay;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
  return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, millisecond);
}

DateTimeParts DecodeDateTime(TDateTime value) {
  // As in the original scale, the date is the integral part and the time the
  // absolute fraction (dates before 1899-12-30 count backwards).
  int64_t days = static_cast<int64_t>(std::trunc(value));
  int64_t ms = std::llround(std::fabs(value - std::trunc(value)) * kMsecsPerDay);
  if (ms >= kMsecsPerDay) {
    ms -= kMsecsPerDay;
    days += value < 0 ? -1 : 1;
  }
  DateTimeParts p;
  CivilFromUnixDays(days - kUnixEpochDay, p.year, p.month, p.day);
  p.hour = static_cast<int>(ms / 3600000);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.millisecond = static_cast<int>(ms % 1000);
  // 1899-12-30 was a Saturday.
  p.dayOfWeek = static_cast<int>(((days + 6) % 7 + 7) % 7);
  return p;
}

std::string FormatDateTime(std::string_view format, TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  std::string out;
  out.reserve(format.size() + 4);
  size_t i = 0;
  auto starts = [&](std::string_view token) {
    if (format.size() - i < token.size()) return false;
    for (size_t k = 0; k < token.size(); ++k) {
      char c = format[i + k];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != token[k]) return false;
    }
    return true;
  };
  while (i < format.size()) {
    if (starts("yyyy")) {
      AppendNumber(out, p.year, 4), i += 4;
    } else if (starts("yy")) {
      AppendNumber(out, p.year % 100, 2), i += 2;
    } else if (starts("mm")) {
      AppendNumber(out, p.month, 2), i += 2;
    } else if (starts("m")) {
      AppendNumber(out, p.month, 1), i += 1;
    } else if (starts("dd")) {
      AppendNumber(out, p.day, 2), i += 2;
    } else if (starts("d")) {
      AppendNumber(out, p.day, 1), i += 1;
    } else if (starts("hh")) {
      AppendNumber(out, p.hour, 2), i += 2;
    } else if (starts("h")) {
      AppendNumber(out, p.hour, 1), i += 1;
    } else if (starts("nn")) {
      AppendNumber(out, p.minute, 2), i += 2;
    } else if (starts("n")) {
      AppendNumber(out, p.minute, 1), i += 1;
    } else if (starts("ss")) {
      AppendNumber(out, p.second, 2), i += 2;
    } else if (starts("s")) {
      AppendNumber(out, p.second, 1), i += 1;
    } else if (starts("zzz")) {
      AppendNumber(out, p.millisecond, 3), i += 3;
    } else {
      out += format[i++];
    }
  }
  return out;
}

TDateTime QuoteTimeToDateTime(int32_t quoteTime) {
  const int64_t local = int64_t{quoteTime} + 8 * 3600;
  // Whole days toward minus infinity, so the remainder is a time of day.
  int64_t days = local / kSecondsPerDay;
  int64_t rest = local % kSecondsPerDay;
  if (rest < 0) rest += kSecondsPerDay, --days;
  const int hour = static_cast<int>(rest / 3600);
  const int minute = static_cast<int>(rest / 60 % 60);
  const int second = static_cast<int>(rest % 60);
  return static_cast<double>(kUnixEpochDay + days) + EncodeTime(hour, minute, second);
}

TDateTime Now() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                        tm.tm_sec, ms < 0 ? 0 : ms);
}

TDateTime BeijingNow() {
  using namespace std::chrono;
  const int64_t ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() + 8 * 3600 * 1000;
  // Whole days toward minus infinity, so the remainder is a time of day.
  int64_t days = ms / kMsecsPerDay;
  int64_t rest = ms % kMsecsPerDay;
  if (rest < 0) rest += kMsecsPerDay, --days;
  return static_cast<double>(kUnixEpochDay + days) + static_cast<double>(rest) / static_cast<double>(kMsecsPerDay);
}

}  // namespace base
