#include "win/timer_win.h"

#include <map>

#include "win/app_win.h"
#include "win/internal_win.h"

namespace win {

struct TimerHost {
  // Timers of the GUI thread by their SetTimer id.
  static std::map<UINT_PTR, Timer*>& Timers() {
    static std::map<UINT_PTR, Timer*> timers;
    return timers;
  }

  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
      auto found = Timers().find(wParam);
      if (found != Timers().end()) detail::Raise(found->second->onTick);
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }
};

namespace detail {

HWND TimerWindow() {
  thread_local HWND window = nullptr;
  if (!window || !IsWindow(window)) {
    static const bool registered = [] {
      WNDCLASSEXW cls{};
      cls.cbSize = sizeof(cls);
      cls.lpfnWndProc = TimerHost::Proc;
      cls.hInstance = App::Instance();
      cls.lpszClassName = L"QvTimerHost";
      return RegisterClassExW(&cls) != 0;
    }();
    (void)registered;
    window = CreateWindowExW(0, L"QvTimerHost", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, App::Instance(), nullptr);
  }
  return window;
}

}  // namespace detail

Timer::~Timer() { Stop(); }

void Timer::SetInterval(int intervalMs) {
  interval_ = intervalMs;
  if (Enabled()) {
    Stop();
    Start();
  }
}

void Timer::Start() {
  if (id_ != 0) return;
  static UINT_PTR next = 1;
  UINT_PTR id = next++;
  HWND host = detail::TimerWindow();
  if (SetTimer(host, id, static_cast<UINT>(interval_ > 0 ? interval_ : 1), nullptr) == 0) return;
  id_ = id;
  TimerHost::Timers()[id_] = this;
}

void Timer::Stop() {
  if (id_ == 0) return;
  KillTimer(detail::TimerWindow(), id_);
  TimerHost::Timers().erase(id_);
  id_ = 0;
}

}  // namespace win
