// GBK conversion through the Win32 code page functions. Code page 936 maps
// its user-defined areas to the private use area; those are refused here so
// that Windows and Linux agree on what GBK is.
#include <windows.h>

#include "base/gbk.h"

namespace base::detail {
namespace {

constexpr UINT kGbk = 936;

bool IsPrivateUse(wchar_t c) { return c >= 0xE000 && c <= 0xF8FF; }

bool HasPrivateUse(const std::wstring& w) {
  for (wchar_t c : w)
    if (IsPrivateUse(c)) return true;
  return false;
}

bool ToWide(UINT codePage, std::string_view in, std::wstring& out) {
  out.clear();
  if (in.empty()) return true;
  const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(),
                                    static_cast<int>(in.size()), nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                             out.data(), n) == n;
}

bool FromWide(UINT codePage, const std::wstring& in, std::string& out) {
  out.clear();
  if (in.empty()) return true;
  // The default-character report is not available for UTF-8; UTF-8 can
  // encode every valid UTF-16 string, and lone surrogates fail with the flag.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* used = utf8 ? nullptr : &usedDefault;
  const int n = WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr,
                                    0, nullptr, used);
  if (n <= 0 || usedDefault) return false;
  out.resize(static_cast<size_t>(n));
  return WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), out.data(), n,
                             nullptr, used) == n &&
         !usedDefault;
}

}  // namespace

bool PlatformGbkToUtf8(std::string_view gbk, std::string& out) {
  std::wstring wide;
  if (!ToWide(kGbk, gbk, wide) || HasPrivateUse(wide)) {
    out.clear();
    return false;
  }
  return FromWide(CP_UTF8, wide, out);
}

bool PlatformUtf8ToGbk(std::string_view utf8, std::string& out) {
  std::wstring wide;
  if (!ToWide(CP_UTF8, utf8, wide) || HasPrivateUse(wide)) {
    out.clear();
    return false;
  }
  return FromWide(kGbk, wide, out);
}

}  // namespace base::detail
