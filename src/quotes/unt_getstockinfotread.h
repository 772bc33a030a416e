// The live-price updater (TGetStockInfoThread): a worker that asks the
// quote engine for one security every 2000 ms and hands the newest price,
// and at its end an empty caption, to whoever shows the editor's label. It
// never touches a window: `showCaption` runs on the worker, and the view
// passes it on to the GUI thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "quotes/Ustockdrv.h"

namespace quotes {

inline constexpr std::chrono::milliseconds kLivePriceCycle{2000};

class TGetStockInfoThread {
 public:
  // A single-quote request; `out` stays as it was when nothing came back.
  using Request = std::function<void(const std::string& code, TQuoteReport& out)>;
  // The new caption of the target label ("%.3f", or empty at the end).
  using ShowCaption = std::function<void(const std::string& caption)>;
  // The pause before each request: returns early when `stop` becomes true.
  // The default waits on the updater's own clock; tests pass a fast one.
  using Pause = std::function<void(std::chrono::milliseconds, const std::atomic<bool>& stop)>;

  TGetStockInfoThread(std::string code, bool createSuspended, Request request, ShowCaption showCaption,
                      Pause pause = {});
  // Stops and waits for the thread.
  ~TGetStockInfoThread();
  TGetStockInfoThread(const TGetStockInfoThread&) = delete;
  TGetStockInfoThread& operator=(const TGetStockInfoThread&) = delete;

  // Starts a thread created suspended (once).
  void Resume();
  // Requests the end: the thread finishes its current cycle (a pause ends
  // at once), clears the label and ends.
  void Stop();
  // Waits for the end of a stopped thread.
  void WaitFor();

  const std::string& Code() const { return code_; }
  bool Stopped() const { return stop_; }
  // The last report received (read once the thread has ended).
  const TQuoteReport& LastReport() const { return report_; }

 private:
  void Execute();
  void DefaultPause(std::chrono::milliseconds duration, const std::atomic<bool>& stop);

  std::string code_;
  Request request_;
  ShowCaption showCaption_;
  Pause pause_;
  TQuoteReport report_{};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace quotes
