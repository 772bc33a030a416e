// The live-price updater (TGetStockInfoThread): a worker that asks the
// quote engine for one security every 2000 ms and hands the newest price,
// and at its end an empty caption, to whoever shows the editor's label. It
// never touches a window: `showCaption` runs on the worker, and the view
// passes it on to the GUI thread.
//
// Ending it never waits on the quote engine: destruction gives a round in
// flight a moment to end and otherwise lets it finish on its own. The
// worker owns everything it touches (code, callbacks, report), so nothing
// of the owner is used after it is gone; whatever the request function
// reaches must stay alive as long as the function (the program hands it a
// shared reference to the engine binding).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
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
  // Stops the thread; waits for it at most kDetachAfter, then lets it end
  // by itself (a single-quote request can take seconds).
  ~TGetStockInfoThread();
  static constexpr std::chrono::milliseconds kDetachAfter{100};
  TGetStockInfoThread(const TGetStockInfoThread&) = delete;
  TGetStockInfoThread& operator=(const TGetStockInfoThread&) = delete;

  // Starts a thread created suspended (once).
  void Resume();
  // Requests the end: the thread finishes its current cycle (a pause ends
  // at once), clears the label and ends.
  void Stop();
  // Waits for the end of a stopped thread.
  void WaitFor();

  const std::string& Code() const { return state_->code; }
  bool Stopped() const { return state_->stop; }
  // The last report received (read once the thread has ended).
  const TQuoteReport& LastReport() const { return state_->report; }

 private:
  // Shared by the owner and the worker; the worker keeps it alive.
  struct State {
    std::string code;
    Request request;
    ShowCaption showCaption;
    Pause pause;
    TQuoteReport report{};
    std::atomic<bool> stop{false};
    bool ended = false;  // under mutex
    std::mutex mutex;
    std::condition_variable wake;
  };
  static void Execute(State& state);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace quotes
