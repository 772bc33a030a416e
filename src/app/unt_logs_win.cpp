// The user's short date pattern from the regional settings.
#include <windows.h>

#include "app/unt_logs.h"
#include "base/gbk.h"

namespace app {

std::string SystemShortDatePattern() {
  wchar_t buffer[LOCALE_NAME_MAX_LENGTH + 80] = {};
  const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SSHORTDATE, buffer,
                                static_cast<int>(sizeof buffer / sizeof buffer[0]));
  if (n <= 1) return "yyyy-MM-dd";
  return base::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(n - 1)));
}

}  // namespace app
