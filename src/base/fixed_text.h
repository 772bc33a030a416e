// Fixed-size text fields of packed records: GBK bytes, NUL-terminated and
// zero-padded on write, read up to the first NUL or the field's end.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace base {

// Length of the longest prefix of `gbk` that fits in `max` bytes without
// splitting a double-byte character (a lead byte always takes the byte after it).
size_t GbkPrefixLength(std::string_view gbk, size_t max);

// Writes `gbk` into the field: at most size-1 bytes, never half a
// double-byte character, the rest zero. A field of size 0 is left alone.
void WriteFixedText(char* field, size_t size, std::string_view gbk);

// The bytes up to the first NUL, or the whole field when it holds none.
std::string ReadFixedText(const char* field, size_t size);
// The same without a copy, for hot paths; valid while the field is.
inline std::string_view FixedTextView(const char* field, size_t size) {
  const void* nul = std::memchr(field, 0, size);
  return std::string_view(field, nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : size);
}
template <size_t N>
std::string_view FixedTextView(const char (&field)[N]) {
  return FixedTextView(field, N);
}

// The same for UTF-8 text, converted to and from GBK at the field
// (characters GBK lacks become '?', invalid GBK becomes U+FFFD).
void WriteFixedUtf8(char* field, size_t size, std::string_view utf8);
std::string ReadFixedUtf8(const char* field, size_t size);

template <size_t N>
void WriteFixedText(char (&field)[N], std::string_view gbk) {
  WriteFixedText(field, N, gbk);
}
template <size_t N>
std::string ReadFixedText(const char (&field)[N]) {
  return ReadFixedText(field, N);
}
template <size_t N>
void WriteFixedUtf8(char (&field)[N], std::string_view utf8) {
  WriteFixedUtf8(field, N, utf8);
}
template <size_t N>
std::string ReadFixedUtf8(const char (&field)[N]) {
  return ReadFixedUtf8(field, N);
}

}  // namespace base
