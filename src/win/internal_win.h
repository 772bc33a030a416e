// Helpers shared by the implementation files of the control layer.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "win/control_win.h"

namespace win::detail {

// Registers a window class (DefWindowProcW, so that the wrapper's subclass
// does all the work) once per process; returns its name.
const wchar_t* RegisterClassOnce(const wchar_t* name, UINT style = CS_DBLCLKS, int backgroundSysColor = COLOR_BTNFACE);

// The window procedure a wrapper replaced, for the default handling.
LRESULT CallOriginal(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A hidden message-only window of the calling thread for timers.
HWND TimerWindow();

// A tooltip window for `owner` showing kTooltipShowMs, multi-line.
HWND CreateTooltip(HWND owner);

// Brush for a colour, kept for the process (a handful of colours are used).
HBRUSH SolidBrush(COLORREF color);

// A container's own background colour: erases with the brush and gives it
// to the static and button children; nullopt when there is no brush or the
// message is another one.
std::optional<LRESULT> PaintBackground(HWND window, UINT message, WPARAM wParam, HBRUSH brush, COLORREF color);

RECT ToPixels(const Dpi& dpi, const Rect& rect);
int AlignStyleOfEdit(Align align);

// Calls an event with the exceptions caught at the window procedure's edge.
template <typename F, typename... Args>
void Raise(const F& handler, Args&&... args) {
  if (!handler) return;
  try {
    handler(std::forward<Args>(args)...);
  } catch (const std::exception& error) {
    App::ReportError(&error);
  } catch (...) {
    App::ReportError(nullptr);
  }
}

}  // namespace win::detail
