#include "utilities/unt_synclocaltime_win.h"

#include <windows.h>

namespace utilities {

int TWin32SystemClock::TimeZoneBiasMinutes() {
  TIME_ZONE_INFORMATION zone{};
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return 0;
  return static_cast<int>(zone.Bias);
}

bool TWin32SystemClock::SetLocalTime(const base::DateTimeParts& p) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(p.year);
  t.wMonth = static_cast<WORD>(p.month);
  t.wDay = static_cast<WORD>(p.day);
  t.wHour = static_cast<WORD>(p.hour);
  t.wMinute = static_cast<WORD>(p.minute);
  t.wSecond = static_cast<WORD>(p.second);
  t.wMilliseconds = static_cast<WORD>(p.millisecond);
  return ::SetLocalTime(&t) != FALSE;
}

}  // namespace utilities
