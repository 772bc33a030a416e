// The XML library's port to the platform's character conversions: legacy
// code pages (GBK 936, BIG5 950, the system code page 0, ...) and UTF-7
// to and from UTF-16, and the mapping between simplified and traditional
// Chinese characters. UTF-8 and UTF-16 themselves are decoded by the
// library; everything that needs the platform's tables goes through here.
#pragma once

#include <string>
#include <string_view>

namespace litexml {

class ICodePageConverter {
 public:
  virtual ~ICodePageConverter() = default;

  // Bytes of `codePage` to UTF-16. A byte sequence that is not valid in the
  // code page becomes U+FFFD. False when the code page is not supported.
  virtual bool Decode(int codePage, std::string_view bytes, std::u16string& out) = 0;

  // UTF-16 to bytes of `codePage`. A character the code page lacks becomes
  // '?' (never a look-alike). False when the code page is not supported.
  virtual bool Encode(int codePage, std::u16string_view text, std::string& out) = 0;

  // Simplified Chinese characters to traditional ones (`toTraditional`) or
  // back; other characters stay. `out` may be the text's own string.
  // False when no mapping is available.
  virtual bool MapChinese(std::u16string_view text, bool toTraditional, std::u16string& out) = 0;
};

// The platform's converter: the Win32 code page and locale mapping
// functions on Windows; iconv and OpenCC on Linux, where the system code
// page 0 stands for GBK, the code page of the plug-in's users.
ICodePageConverter& PlatformCodePageConverter();

}  // namespace litexml
