#include "trading/desktop_win.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "base/gbk.h"

namespace trading {

namespace {

HWND H(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle W(HWND window) { return reinterpret_cast<WindowHandle>(window); }

std::wstring Wide(const std::string& utf8) {
  const std::u16string text = base::Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}
std::string Utf8(const wchar_t* text, int length) {
  return base::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length)));
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<WindowHandle>*>(list)->push_back(W(window));
  return TRUE;
}

// A trading program that hangs must not hang the caller with it.
constexpr UINT kSendTimeoutMs = 5000;

}  // namespace

void TWin32Desktop::KeybdEvent(uint8_t code, uint8_t scan, uint32_t flags) { keybd_event(code, scan, flags, 0); }
void TWin32Desktop::MouseEvent(uint32_t flags) { mouse_event(flags, 0, 0, 0, 0); }
uint16_t TWin32Desktop::KeyForChar(char character) { return static_cast<uint16_t>(VkKeyScanA(character)); }
uint32_t TWin32Desktop::ScanCodeOf(uint32_t code) { return MapVirtualKeyA(code, 0); }
int16_t TWin32Desktop::GetKeyState(int code) { return ::GetKeyState(code); }

KeyboardState TWin32Desktop::GetKeyboardState() {
  KeyboardState state{};
  ::GetKeyboardState(state.data());
  return state;
}
void TWin32Desktop::SetKeyboardState(const KeyboardState& state) {
  KeyboardState copy = state;
  ::SetKeyboardState(copy.data());
}

void TWin32Desktop::PumpKeyboardMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

bool TWin32Desktop::BlockInput(bool block) { return ::BlockInput(block ? TRUE : FALSE); }
void TWin32Desktop::ShowCursor(bool show) { ::ShowCursor(show ? TRUE : FALSE); }
void TWin32Desktop::SetCursorPos(int x, int y) { ::SetCursorPos(x, y); }
void TWin32Desktop::ShowMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), MB_OK);
}

std::vector<WindowHandle> TWin32Desktop::TopLevelWindows() {
  std::vector<WindowHandle> list;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&list));
  return list;
}
std::vector<WindowHandle> TWin32Desktop::ChildWindows(WindowHandle parent) {
  std::vector<WindowHandle> list;
  EnumChildWindows(H(parent), Collect, reinterpret_cast<LPARAM>(&list));
  return list;
}

std::string TWin32Desktop::WindowText(WindowHandle window) {
  wchar_t text[256];
  const int length = GetWindowTextW(H(window), text, 256);
  return Utf8(text, length > 0 ? length : 0);
}
std::string TWin32Desktop::ControlText(WindowHandle window) {
  // A box's own read must not stall an order script for long; a text past
  // a megabyte is no broker's answer.
  constexpr UINT kReadTimeoutMs = 1000;
  constexpr DWORD_PTR kLongest = 1u << 20;
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(H(window), WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kReadTimeoutMs,
                           &length) ||
      length == 0) {
    return {};
  }
  std::wstring text(std::min(length, kLongest) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(H(window), WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_NORMAL | SMTO_ABORTIFHUNG, kReadTimeoutMs, &copied)) {
    return {};
  }
  return Utf8(text.data(), static_cast<int>(std::min<DWORD_PTR>(copied, text.size() - 1)));
}
std::string TWin32Desktop::ClassName(WindowHandle window) {
  wchar_t name[32];
  const int length = GetClassNameW(H(window), name, 32);
  return Utf8(name, length > 0 ? length : 0);
}
int TWin32Desktop::ControlId(WindowHandle window) { return GetDlgCtrlID(H(window)); }
uint32_t TWin32Desktop::WindowProcessId(WindowHandle window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(H(window), &pid);
  return pid;
}
uint32_t TWin32Desktop::WindowThreadId(WindowHandle window) { return GetWindowThreadProcessId(H(window), nullptr); }
uint32_t TWin32Desktop::CurrentProcessId() { return GetCurrentProcessId(); }
uint32_t TWin32Desktop::CurrentThreadId() { return GetCurrentThreadId(); }

void TWin32Desktop::Post(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  PostMessageW(H(window), message, wParam, lParam);
}
intptr_t TWin32Desktop::Send(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(H(window), message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<intptr_t>(result);
}
void TWin32Desktop::SendText(WindowHandle window, const std::string& text) {
  const std::wstring wide = Wide(text);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(H(window), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                      SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
}

bool TWin32Desktop::IsIconic(WindowHandle window) { return ::IsIconic(H(window)); }
bool TWin32Desktop::IsWindowVisible(WindowHandle window) { return ::IsWindowVisible(H(window)); }
void TWin32Desktop::ShowWindow(WindowHandle window, int command) { ::ShowWindow(H(window), command); }
WindowHandle TWin32Desktop::ForegroundWindow() { return W(GetForegroundWindow()); }
bool TWin32Desktop::SetForegroundWindow(WindowHandle window) { return ::SetForegroundWindow(H(window)); }
void TWin32Desktop::BringWindowToTop(WindowHandle window) { ::BringWindowToTop(H(window)); }
bool TWin32Desktop::AttachThreadInput(uint32_t fromThread, uint32_t toThread, bool attach) {
  return ::AttachThreadInput(fromThread, toThread, attach ? TRUE : FALSE);
}

uint32_t TWin32Desktop::ForegroundLockTimeout() {
  DWORD timeout = 0;
  SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
  return timeout;
}
void TWin32Desktop::SetForegroundLockTimeout(uint32_t milliseconds) {
  SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<PVOID>(static_cast<uintptr_t>(milliseconds)),
                        SPIF_SENDCHANGE);
}

void TWin32Desktop::SetWindowPos(WindowHandle window, int x, int y, int cx, int cy, uint32_t flags) {
  ::SetWindowPos(H(window), HWND_TOP, x, y, cx, cy, flags);
}
void TWin32Desktop::SetActiveWindow(WindowHandle window) { ::SetActiveWindow(H(window)); }
void TWin32Desktop::UpdateWindow(WindowHandle window) { ::UpdateWindow(H(window)); }
WindowHandle TWin32Desktop::TopChild(WindowHandle window) { return W(GetTopWindow(H(window))); }
void TWin32Desktop::SetFocus(WindowHandle window) { ::SetFocus(H(window)); }
void TWin32Desktop::ClientToScreen(WindowHandle window, int& x, int& y) {
  POINT point{x, y};
  ::ClientToScreen(H(window), &point);
  x = point.x;
  y = point.y;
}
void TWin32Desktop::SetOpacity(WindowHandle window, uint8_t alpha) {
  SetWindowLongPtrW(H(window), GWL_EXSTYLE, GetWindowLongPtrW(H(window), GWL_EXSTYLE) | WS_EX_LAYERED);
  SetLayeredWindowAttributes(H(window), 0, alpha, LWA_ALPHA);
}
ScreenSize TWin32Desktop::Screen() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

void TWin32Desktop::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }
void TWin32Desktop::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave the quit request for the main loop that owns it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

std::unique_ptr<IDesktop> CreateSystemDesktop() { return std::make_unique<TWin32Desktop>(); }

}  // namespace trading
