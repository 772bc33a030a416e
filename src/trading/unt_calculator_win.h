// The calculator command: the system calculator brought forward, or
// started, and placed beside the dialog that asked for it.
#pragma once

#include <windows.h>

namespace trading {

// `form` may be null (the main menu's command): the calculator is then
// not moved.
void ShowCalculator(HWND form);

}  // namespace trading
