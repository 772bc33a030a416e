// A timer of the GUI thread: onTick every interval while enabled.
#pragma once

#include <windows.h>

#include <functional>

namespace win {

class Timer {
 public:
  explicit Timer(int intervalMs = 1000) : interval_(intervalMs) {}
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  ~Timer();

  void SetInterval(int intervalMs);  // restarts a running timer
  int Interval() const { return interval_; }
  void Start();
  void Stop();
  void SetEnabled(bool on) { on ? Start() : Stop(); }
  bool Enabled() const { return id_ != 0; }

  std::function<void()> onTick;

 private:
  friend struct TimerHost;
  int interval_{};
  UINT_PTR id_ = 0;
};

}  // namespace win
