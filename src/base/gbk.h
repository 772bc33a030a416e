// Text conversion between the program's UTF-8 and the GBK (code page 936)
// bytes of files, records, INI files and the wire.
//
// Both platforms give the same results: GBK is the 21,791 double-byte
// characters of code page 936 outside its user-defined areas, plus ASCII and
// the single byte 0x80 (the euro sign). Anything else is invalid input.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace base {

// A lead byte of a GBK double-byte character.
constexpr bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Strict conversions: nullopt when the input holds anything that is not
// valid in the source encoding or has no character in the target one.
std::optional<std::string> GbkToUtf8(std::string_view gbk);
std::optional<std::string> Utf8ToGbk(std::string_view utf8);

// Forgiving conversions for text that must be shown or sent whatever it
// holds: an invalid GBK character becomes U+FFFD, a character GBK lacks
// becomes '?'. Valid input converts exactly as the strict forms do.
std::string GbkToUtf8Lossy(std::string_view gbk);
std::string Utf8ToGbkLossy(std::string_view utf8);

// UTF-8 <-> UTF-16 (the wide Win32 API). Malformed input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
bool IsValidUtf8(std::string_view text);

namespace detail {
// The platform's whole-string conversions (iconv or the Win32 code page
// functions); false on any invalid or unmappable character.
bool PlatformGbkToUtf8(std::string_view gbk, std::string& out);
bool PlatformUtf8ToGbk(std::string_view utf8, std::string& out);
}  // namespace detail

}  // namespace base
