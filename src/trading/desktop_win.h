// The desktop port on Win32: every call is the Windows function of the
// same role, texts through the wide API.
#pragma once

#include "trading/desktop_port.h"

namespace trading {

class TWin32Desktop final : public IDesktop {
 public:
  void KeybdEvent(uint8_t code, uint8_t scan, uint32_t flags) override;
  void MouseEvent(uint32_t flags) override;
  uint16_t KeyForChar(char character) override;
  uint32_t ScanCodeOf(uint32_t code) override;
  int16_t GetKeyState(int code) override;
  KeyboardState GetKeyboardState() override;
  void SetKeyboardState(const KeyboardState& state) override;
  void PumpKeyboardMessages() override;
  bool BlockInput(bool block) override;
  void ShowCursor(bool show) override;
  void SetCursorPos(int x, int y) override;
  void ShowMessageBox(const std::string& text, const std::string& caption) override;

  std::vector<WindowHandle> TopLevelWindows() override;
  std::vector<WindowHandle> ChildWindows(WindowHandle parent) override;
  std::string WindowText(WindowHandle window) override;
  std::string ControlText(WindowHandle window) override;
  std::string ClassName(WindowHandle window) override;
  int ControlId(WindowHandle window) override;
  uint32_t WindowProcessId(WindowHandle window) override;
  uint32_t WindowThreadId(WindowHandle window) override;
  uint32_t CurrentProcessId() override;
  uint32_t CurrentThreadId() override;
  void Post(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  intptr_t Send(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void SendText(WindowHandle window, const std::string& text) override;
  bool IsIconic(WindowHandle window) override;
  bool IsWindowVisible(WindowHandle window) override;
  void ShowWindow(WindowHandle window, int command) override;
  WindowHandle ForegroundWindow() override;
  bool SetForegroundWindow(WindowHandle window) override;
  void BringWindowToTop(WindowHandle window) override;
  bool AttachThreadInput(uint32_t fromThread, uint32_t toThread, bool attach) override;
  uint32_t ForegroundLockTimeout() override;
  void SetForegroundLockTimeout(uint32_t milliseconds) override;
  void SetWindowPos(WindowHandle window, int x, int y, int cx, int cy, uint32_t flags) override;
  void SetActiveWindow(WindowHandle window) override;
  void UpdateWindow(WindowHandle window) override;
  WindowHandle TopChild(WindowHandle window) override;
  void SetFocus(WindowHandle window) override;
  void ClientToScreen(WindowHandle window, int& x, int& y) override;
  void SetOpacity(WindowHandle window, uint8_t alpha) override;
  ScreenSize Screen() override;

  void Sleep(uint32_t milliseconds) override;
  void ProcessMessages() override;
};

}  // namespace trading
