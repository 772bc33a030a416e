// The code page port over the Win32 conversion and locale mapping functions.
#include <windows.h>

#include "plugin/litexml/codepage.h"

namespace litexml {
namespace {

const wchar_t* Wide(std::u16string_view s) { return reinterpret_cast<const wchar_t*>(s.data()); }
wchar_t* Wide(std::u16string& s) { return reinterpret_cast<wchar_t*>(s.data()); }

class WinConverter final : public ICodePageConverter {
 public:
  bool Decode(int codePage, std::string_view bytes, std::u16string& out) override {
    out.clear();
    if (!IsValidCodePage(static_cast<UINT>(codePage)) && codePage != CP_ACP) return false;
    if (bytes.empty()) return true;
    const int n = MultiByteToWideChar(static_cast<UINT>(codePage), 0, bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    return MultiByteToWideChar(static_cast<UINT>(codePage), 0, bytes.data(), static_cast<int>(bytes.size()),
                               Wide(out), n) == n;
  }

  bool Encode(int codePage, std::u16string_view text, std::string& out) override {
    out.clear();
    if (!IsValidCodePage(static_cast<UINT>(codePage)) && codePage != CP_ACP) return false;
    if (text.empty()) return true;
    // UTF-7 and UTF-8 take neither flags nor a default character.
    const bool utf = codePage == CP_UTF7 || codePage == CP_UTF8;
    DWORD flags = utf ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* defaultChar = utf ? nullptr : "?";
    int n = WideCharToMultiByte(static_cast<UINT>(codePage), flags, Wide(text), static_cast<int>(text.size()),
                                nullptr, 0, defaultChar, nullptr);
    if (n <= 0 && GetLastError() == ERROR_INVALID_FLAGS) {
      flags = 0;
      n = WideCharToMultiByte(static_cast<UINT>(codePage), flags, Wide(text), static_cast<int>(text.size()),
                              nullptr, 0, defaultChar, nullptr);
    }
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    return WideCharToMultiByte(static_cast<UINT>(codePage), flags, Wide(text), static_cast<int>(text.size()),
                               out.data(), n, defaultChar, nullptr) == n;
  }

  bool MapChinese(std::u16string_view text, bool toTraditional, std::u16string& out) override {
    if (text.empty()) {
      out.clear();
      return true;
    }
    const LCID chinese = MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT);
    const DWORD flags = toTraditional ? LCMAP_TRADITIONAL_CHINESE : LCMAP_SIMPLIFIED_CHINESE;
    const int n = LCMapStringW(chinese, flags, Wide(text), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return false;
    std::u16string result(static_cast<size_t>(n), u'\0');
    if (LCMapStringW(chinese, flags, Wide(text), static_cast<int>(text.size()), Wide(result), n) != n) return false;
    out = std::move(result);
    return true;
  }
};

}  // namespace

ICodePageConverter& PlatformCodePageConverter() {
  static WinConverter converter;
  return converter;
}

}  // namespace litexml
