#include "trading/unt_calculator_win.h"

#include "trading/desktop_win.h"
#include "trading/sndkey32.h"

namespace trading {
namespace {

HWND FindCalculator() {
  if (HWND calc = FindWindowW(L"SciCalc", L"计算器")) return calc;
  // Calculators of other systems keep the title but not the class.
  return FindWindowW(nullptr, L"计算器");
}

}  // namespace

void ShowCalculator(HWND form) {
  HWND calc = FindCalculator();
  if (calc) {
    if (IsIconic(calc)) ShowWindow(calc, SW_RESTORE);
    TWin32Desktop desktop;
    ForceForeground(desktop, reinterpret_cast<WindowHandle>(calc));
  } else {
    WinExec("calc.exe", SW_SHOWNORMAL);
    // A calculator just started has seldom shown its window yet: it then
    // stays where the system puts it.
    calc = FindCalculator();
  }
  if (!form || !calc) return;
  RECT f{}, c{};
  GetWindowRect(form, &f);
  GetWindowRect(calc, &c);
  SetWindowPos(calc, HWND_TOP, f.right, f.top, c.right - c.left, c.bottom - c.top, SWP_SHOWWINDOW);
}

}  // namespace trading
