// The desktop as the trading automation sees it: foreign windows, their
// messages, synthetic keyboard and mouse input, the foreground, and the
// calling thread's message queue. The Win32 adapter (desktop_win.h) makes the
// real calls; tests give a fake that records what was asked of it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace trading {

// A window handle as an integer; 0 is "no window".
using WindowHandle = std::uintptr_t;
constexpr WindowHandle kNoWindow = 0;

// The Win32 values the automation uses, so that the adapter passes them on
// unchanged and tests can compare them with what a trading program receives.
constexpr uint32_t kWmSetText = 0x000C;
constexpr uint32_t kWmKeyDown = 0x0100;
constexpr uint32_t kWmKeyUp = 0x0101;
constexpr uint32_t kWmLButtonDown = 0x0201;
constexpr uint32_t kWmLButtonUp = 0x0202;

constexpr uint32_t kKeyEventExtendedKey = 0x0001;
constexpr uint32_t kKeyEventKeyUp = 0x0002;

constexpr uint32_t kMouseEventLeftDown = 0x0002;
constexpr uint32_t kMouseEventLeftUp = 0x0004;

constexpr int kSwShowMinimized = 2;
constexpr int kSwRestore = 9;

constexpr uint32_t kSwpNoSize = 0x0001;
constexpr uint32_t kSwpShowWindow = 0x0040;

constexpr uint8_t kVkShift = 0x10;
constexpr uint8_t kVkControl = 0x11;
constexpr uint8_t kVkMenu = 0x12;
constexpr uint8_t kVkReturn = 0x0D;
constexpr uint8_t kVkEscape = 0x1B;
constexpr uint8_t kVkDecimal = 0x6E;
constexpr uint8_t kVkF1 = 0x70;
constexpr uint8_t kVkF2 = 0x71;
constexpr uint8_t kVkF5 = 0x74;
constexpr uint8_t kVkNumLock = 0x90;

// VkKeyScanA's answer for a character no key produces.
constexpr uint16_t kNoKey = 0xFFFF;

using KeyboardState = std::array<uint8_t, 256>;

struct ScreenSize {
  int width = 0;
  int height = 0;
};

class IDesktop {
 public:
  virtual ~IDesktop() = default;

  // Synthetic input, system-wide: the window with the keyboard focus gets it.
  virtual void KeybdEvent(uint8_t code, uint8_t scan, uint32_t flags) = 0;
  virtual void MouseEvent(uint32_t flags) = 0;
  // VkKeyScanA: low byte the virtual-key code, high byte the shift state
  // (bit 0 Shift, bit 1 Ctrl, bit 2 Alt); kNoKey when no key gives it.
  virtual uint16_t KeyForChar(char character) = 0;
  // MapVirtualKeyA(code, 0): the scan code of a virtual key.
  virtual uint32_t ScanCodeOf(uint32_t code) = 0;
  virtual int16_t GetKeyState(int code) = 0;
  virtual KeyboardState GetKeyboardState() = 0;
  virtual void SetKeyboardState(const KeyboardState& state) = 0;
  // Removes and dispatches the calling thread's queued keyboard messages.
  virtual void PumpKeyboardMessages() = 0;
  // Blocks or unblocks the user's keyboard and mouse (this thread's own
  // synthetic input still passes). False when the system refuses, as Wine
  // does: the caller goes on without the block.
  virtual bool BlockInput(bool block) = 0;
  virtual void ShowCursor(bool show) = 0;
  virtual void SetCursorPos(int x, int y) = 0;
  // A modal box owned by no window, with an OK button.
  virtual void ShowMessageBox(const std::string& text, const std::string& caption) = 0;

  // Windows. Texts are UTF-8 (read with the wide API).
  virtual std::vector<WindowHandle> TopLevelWindows() = 0;  // in EnumWindows order
  virtual std::vector<WindowHandle> ChildWindows(WindowHandle parent) = 0;  // EnumChildWindows order
  virtual std::string WindowText(WindowHandle window) = 0;
  // The whole text of a control, also of another process's (WM_GETTEXT,
  // which GetWindowText does not send across processes).
  virtual std::string ControlText(WindowHandle window) { return WindowText(window); }
  virtual std::string ClassName(WindowHandle window) = 0;
  virtual int ControlId(WindowHandle window) = 0;
  virtual uint32_t WindowProcessId(WindowHandle window) = 0;
  virtual uint32_t WindowThreadId(WindowHandle window) = 0;
  virtual uint32_t CurrentProcessId() = 0;
  virtual uint32_t CurrentThreadId() = 0;
  virtual void Post(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
  virtual intptr_t Send(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
  // WM_SETTEXT with a text.
  virtual void SendText(WindowHandle window, const std::string& text) = 0;
  virtual bool IsIconic(WindowHandle window) = 0;
  virtual bool IsWindowVisible(WindowHandle window) {
    (void)window;
    return true;
  }
  virtual void ShowWindow(WindowHandle window, int command) = 0;
  virtual WindowHandle ForegroundWindow() = 0;
  virtual bool SetForegroundWindow(WindowHandle window) = 0;
  virtual void BringWindowToTop(WindowHandle window) = 0;
  virtual bool AttachThreadInput(uint32_t fromThread, uint32_t toThread, bool attach) = 0;
  // SPI_GETFOREGROUNDLOCKTIMEOUT / SPI_SETFOREGROUNDLOCKTIMEOUT with SPIF_SENDCHANGE.
  virtual uint32_t ForegroundLockTimeout() = 0;
  virtual void SetForegroundLockTimeout(uint32_t milliseconds) = 0;
  // SetWindowPos(window, HWND_TOP, ...).
  virtual void SetWindowPos(WindowHandle window, int x, int y, int cx, int cy, uint32_t flags) = 0;
  virtual void SetActiveWindow(WindowHandle window) = 0;
  virtual void UpdateWindow(WindowHandle window) = 0;
  virtual WindowHandle TopChild(WindowHandle window) = 0;  // GetTopWindow
  virtual void SetFocus(WindowHandle window) = 0;
  virtual void ClientToScreen(WindowHandle window, int& x, int& y) = 0;
  // Adds WS_EX_LAYERED and sets the window's opacity (LWA_ALPHA).
  virtual void SetOpacity(WindowHandle window, uint8_t alpha) = 0;
  virtual ScreenSize Screen() = 0;

  // The calling thread.
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Lets every pending window message of the thread run.
  virtual void ProcessMessages() = 0;
};

// The desktop of the system the program runs on: the Win32 desktop on
// Windows; none (null) elsewhere, where there are no trading programs.
std::unique_ptr<IDesktop> CreateSystemDesktop();

}  // namespace trading
