#include "base/gbk.h"

#include <cstdint>

namespace base {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at `pos` into `cp`; sets `len` to the bytes it
// covers (at least 1). Anything malformed, overlong or a surrogate gives
// U+FFFD and false.
bool DecodeUtf8(std::string_view s, size_t pos, char32_t& out, size_t& len) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  len = 1;
  out = kReplacement;
  if (b0 < 0x80) {
    out = b0;
    return true;
  }
  int extra;
  char32_t cp;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    return false;
  }
  if (pos + extra >= s.size()) return false;
  for (int i = 1; i <= extra; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  len = static_cast<size_t>(extra) + 1;
  out = cp;
  return true;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    size_t len;
    char32_t cp;
    if (!DecodeUtf8(text, i, cp, len)) return false;
    i += len;
  }
  return true;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    size_t len;
    char32_t cp;
    DecodeUtf8(utf8, i, cp, len);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
  std::string out;
  if (!detail::PlatformGbkToUtf8(gbk, out)) return std::nullopt;
  return out;
}

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
  std::string out;
  if (!detail::PlatformUtf8ToGbk(utf8, out)) return std::nullopt;
  return out;
}

std::string GbkToUtf8Lossy(std::string_view gbk) {
  std::string out;
  if (detail::PlatformGbkToUtf8(gbk, out)) return out;
  // Slow path: one character at a time, so that one bad character costs
  // only itself. A lead byte with a byte of the trail range forms one
  // character, valid or not; a lead byte without one stands alone.
  out.clear();
  std::string one;
  for (size_t i = 0; i < gbk.size();) {
    const auto b = static_cast<unsigned char>(gbk[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    size_t len = 1;
    if (IsGbkLeadByte(b) && i + 1 < gbk.size()) {
      const auto t = static_cast<unsigned char>(gbk[i + 1]);
      if (t >= 0x40 && t <= 0xFE && t != 0x7F) len = 2;
    }
    one.clear();
    if (detail::PlatformGbkToUtf8(gbk.substr(i, len), one)) {
      out += one;
    } else {
      AppendUtf8(out, kReplacement);
    }
    i += len;
  }
  return out;
}

std::string Utf8ToGbkLossy(std::string_view utf8) {
  std::string out;
  if (detail::PlatformUtf8ToGbk(utf8, out)) return out;
  out.clear();
  std::string one;
  for (size_t i = 0; i < utf8.size();) {
    size_t len;
    char32_t cp;
    const bool ok = DecodeUtf8(utf8, i, cp, len);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else {
      one.clear();
      if (ok && detail::PlatformUtf8ToGbk(utf8.substr(i, len), one)) {
        out += one;
      } else {
        out += '?';
      }
    }
    i += len;
  }
  return out;
}

}  // namespace base
