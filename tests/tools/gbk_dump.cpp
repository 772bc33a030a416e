// Prints how this platform converts every GBK character and every Unicode
// code point of the basic plane, so that the test script can compare the
// Linux and the Windows conversions line by line.
#include <cstdio>
#include <string>

#include "base/gbk.h"

namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    out += buf;
  }
  return out;
}

void Forward(const std::string& gbk) {
  const auto utf8 = base::GbkToUtf8(gbk);
  std::printf("G %s %s\n", Hex(gbk).c_str(), utf8 ? Hex(*utf8).c_str() : "-");
}

}  // namespace

int main() {
  for (int b = 0; b < 256; ++b) Forward(std::string(1, static_cast<char>(b)));
  for (int lead = 0x81; lead <= 0xFE; ++lead)
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      Forward(std::string(pair, 2));
    }
  for (char32_t cp = 1; cp < 0x30000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::u16string u16;
    if (cp >= 0x10000) {
      u16 += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      u16 += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      u16 += static_cast<char16_t>(cp);
    }
    const std::string utf8 = base::Utf16ToUtf8(u16);
    const auto gbk = base::Utf8ToGbk(utf8);
    std::printf("U %X %s\n", static_cast<unsigned>(cp), gbk ? Hex(*gbk).c_str() : "-");
  }
  // Strings mixing valid and invalid characters take the forgiving path.
  std::printf("L %s\n", Hex(base::GbkToUtf8Lossy("a\xB0\xA1\xAA\xA1\x81 z\xFF")).c_str());
  std::printf("L %s\n", Hex(base::Utf8ToGbkLossy("a\xE4\xB8\xAD\xEE\x80\x80\xC3\x80\xFFz")).c_str());
  return 0;
}
