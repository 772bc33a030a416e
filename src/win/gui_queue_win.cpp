#include "win/gui_queue_win.h"

#include <windows.h>

#include <deque>
#include <mutex>

#include "win/app_win.h"

namespace win {

namespace detail {

struct GuiQueueState {
  std::mutex lock;
  std::deque<std::function<void()>> jobs;
  HWND window = nullptr;  // null once the queue is gone
  bool wakePending = false;
};

}  // namespace detail

namespace {

constexpr UINT kWake = WM_APP + 0x51;

LRESULT CALLBACK QueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kWake) {
    auto* queue = reinterpret_cast<GuiQueue*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (queue) queue->Drain();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool GuiPoster::Post(std::function<void()> job) const {
  if (!state_ || !job) return false;
  std::lock_guard<std::mutex> guard(state_->lock);
  if (!state_->window) return false;
  state_->jobs.push_back(std::move(job));
  // One wake-up for any number of closures: the drain takes them all.
  if (!state_->wakePending) {
    state_->wakePending = PostMessageW(state_->window, kWake, 0, 0) != FALSE;
  }
  return true;
}

GuiQueue::GuiQueue() : state_(std::make_shared<detail::GuiQueueState>()) {
  static const bool registered = [] {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof(cls);
    cls.lpfnWndProc = QueueProc;
    cls.hInstance = App::Instance();
    cls.lpszClassName = L"QvGuiQueue";
    return RegisterClassExW(&cls) != 0;
  }();
  (void)registered;
  HWND window = CreateWindowExW(0, L"QvGuiQueue", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, App::Instance(), nullptr);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->window = window;
}

GuiQueue::~GuiQueue() {
  HWND window;
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    window = state_->window;
    state_->window = nullptr;
    state_->jobs.clear();
  }
  if (window) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
}

int GuiQueue::Drain() {
  // A closure may end the queue itself (closing the window that owns it);
  // the state outlives it and is then empty.
  const std::shared_ptr<detail::GuiQueueState> state = state_;
  int ran = 0;
  for (;;) {
    std::function<void()> job;
    {
      std::lock_guard<std::mutex> guard(state->lock);
      if (state->jobs.empty()) {
        state->wakePending = false;
        break;
      }
      job = std::move(state->jobs.front());
      state->jobs.pop_front();
      // A job may run a modal loop (the login dialog after the version
      // check): the jobs behind it are woken in that loop, not held back
      // until the dialog closes.
      state->wakePending = !state->jobs.empty() && PostMessageW(state->window, kWake, 0, 0) != FALSE;
    }
    try {
      job();
    } catch (const std::exception& error) {
      App::ReportError(&error);
    } catch (...) {
      App::ReportError(nullptr);
    }
    ++ran;
  }
  return ran;
}

size_t GuiQueue::Pending() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->jobs.size();
}

}  // namespace win
