// The platform's URL cracker, the same one the requests go by
// (unt_http_win.cpp), so that an address is judged by where it really goes.
#include <windows.h>
#include <winhttp.h>

#include "app/unt_updatemanifest.h"
#include "win/text_win.h"

namespace app {

std::optional<CrackedUrl> CrackUrl(std::string_view url) {
  const std::wstring wide = win::Wide(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  // Lengths without buffers: the parts are pointed at inside `wide`.
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUserNameLength = parts.dwPasswordLength =
      parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return std::nullopt;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return std::nullopt;
  CrackedUrl r;
  r.https = parts.nScheme == INTERNET_SCHEME_HTTPS;
  if (parts.lpszHostName) r.host = win::Utf8(std::wstring(parts.lpszHostName, parts.dwHostNameLength));
  r.userInfo = parts.dwUserNameLength > 0 || parts.dwPasswordLength > 0;
  return r;
}

}  // namespace app
