// Process-wide set-up of the GUI, the message loop, DPI scaling and the one
// UI font every control uses.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace win {

// Tool tips stay this long on the screen (the program's hint pause).
constexpr int kTooltipShowMs = 5000;

// Pixels per inch of a window's monitor and the scaling of layout values,
// which are always given in 96-dpi units.
class Dpi {
 public:
  Dpi() = default;
  explicit Dpi(int dpi) : dpi_(dpi > 0 ? dpi : 96) {}
  static Dpi Of(HWND window);  // the monitor's DPI, or the system DPI
  static Dpi System();

  int Value() const { return dpi_; }
  int Scale(int units) const { return MulDiv(units, dpi_, 96); }
  int Unscale(int pixels) const { return MulDiv(pixels, 96, dpi_); }
  RECT Scale(int x, int y, int width, int height) const;

 private:
  int dpi_ = 96;
};

// The UI font for a DPI: the system message font, or a Chinese font when the
// message font has no Chinese glyphs ("Microsoft YaHei", then "SimSun", then
// any installed CJK font). Fonts are cached and live until the process ends.
HFONT UiFont(const Dpi& dpi, bool bold = false);
// The face name UiFont chose, as UTF-8 (for logs and tests).
std::string UiFontFace();

class App {
 public:
  // Once, on the GUI thread, before the first window: common controls, OLE
  // (for the browser control) and per-monitor DPI awareness when the
  // manifest did not set it.
  static void Init();
  static HINSTANCE Instance();
  static bool Initialized();

  // Keys that act anywhere in the program (F12): looked at by every message
  // loop of the GUI thread before the focused control sees them. The handler
  // returns nothing; the key is consumed. Another AddKey for the same key
  // replaces the handler; an empty handler removes it.
  static void SetKey(UINT virtualKey, std::function<void()> handler);

  // Called with every exception that an event handler let escape, caught at
  // the window procedure; by default it is written to the debugger output.
  static void SetErrorHandler(std::function<void(const std::exception*)> handler);
  static void ReportError(const std::exception* error);
};

// Runs the message loop of the GUI thread until WM_QUIT; returns its code.
int RunMessageLoop();
// Handles every message waiting now (for long actions on the GUI thread that
// must let quote messages run) without waiting; false when WM_QUIT came, which
// is posted again for the outer loop.
bool ProcessMessages();
// Handles messages until `done()` is true or `timeoutMs` passed; true when
// done() became true. For tests and for waits that must keep windows alive.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

// The pre-translation every loop of the program applies: app-wide keys, then
// dialog keyboard navigation (Tab, Esc, Enter) in the active window. True when
// the message was consumed.
bool PreTranslate(MSG& message);

}  // namespace win
