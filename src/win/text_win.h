// UTF-8 at the boundary of the control layer, UTF-16 for the wide API inside.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace win {

// Malformed input becomes U+FFFD, as the base library's converters do.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The text of any window (GetWindowTextW), as UTF-8.
std::string WindowText(HWND window);
void SetWindowTextUtf8(HWND window, std::string_view text);

}  // namespace win
