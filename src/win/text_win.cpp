#include "win/text_win.h"

#include "base/gbk.h"

namespace win {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide API is UTF-16");

std::wstring Wide(std::string_view utf8) {
  std::u16string wide = base::Utf8ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}

std::string Utf8(std::wstring_view wide) {
  return base::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::string WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return Utf8(text);
}

void SetWindowTextUtf8(HWND window, std::string_view text) { SetWindowTextW(window, Wide(text).c_str()); }

}  // namespace win
