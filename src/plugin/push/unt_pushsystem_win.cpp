#include "plugin/push/unt_pushsystem_win.h"

#include <windows.h>

#include <ctime>
#include <string>

#include "base/gbk.h"

namespace push {

uint32_t CPushSystemWin::TickCount() { return GetTickCount(); }

TLocalTime CPushSystemWin::LocalTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

int64_t CPushSystemWin::UnixTime() { return static_cast<int64_t>(std::time(nullptr)); }

uint32_t CPushSystemWin::ThreadId() { return GetCurrentThreadId(); }

std::string CPushSystemWin::ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return base::Utf16ToUtf8(std::u16string(path.begin(), path.end()));
}

void CPushSystemWin::PostWindowMessage(kv::KvHwnd window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  PostMessageW(static_cast<HWND>(window), message, wParam, lParam);
}

}  // namespace push
