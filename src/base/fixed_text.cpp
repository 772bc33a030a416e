#include "base/fixed_text.h"

#include <cstring>

#include "base/gbk.h"

namespace base {

size_t GbkPrefixLength(std::string_view gbk, size_t max) {
  size_t i = 0;
  while (i < gbk.size()) {
    const size_t len = IsGbkLeadByte(static_cast<unsigned char>(gbk[i])) && i + 1 < gbk.size() ? 2 : 1;
    if (i + len > max) break;
    i += len;
  }
  return i;
}

void WriteFixedText(char* field, size_t size, std::string_view gbk) {
  if (size == 0) return;
  const size_t n = GbkPrefixLength(gbk, size - 1);
  std::memcpy(field, gbk.data(), n);
  std::memset(field + n, 0, size - n);
}

std::string ReadFixedText(const char* field, size_t size) { return std::string(FixedTextView(field, size)); }

void WriteFixedUtf8(char* field, size_t size, std::string_view utf8) {
  WriteFixedText(field, size, Utf8ToGbkLossy(utf8));
}

std::string ReadFixedUtf8(const char* field, size_t size) {
  return GbkToUtf8Lossy(ReadFixedText(field, size));
}

}  // namespace base
