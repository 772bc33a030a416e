#include "quotes/unt_getstockinfotread.h"

#include "base/text.h"
#include "base/worker.h"

namespace quotes {

TGetStockInfoThread::TGetStockInfoThread(std::string code, bool createSuspended, Request request,
                                         ShowCaption showCaption, Pause pause)
    : state_(std::make_shared<State>()) {
  state_->code = std::string(base::Trim(code));
  state_->request = std::move(request);
  state_->showCaption = std::move(showCaption);
  state_->pause = std::move(pause);
  if (!createSuspended) Resume();
}

TGetStockInfoThread::~TGetStockInfoThread() {
  Stop();
  if (!thread_.joinable()) return;
  bool ended = false;
  if (thread_.get_id() != std::this_thread::get_id()) {
    std::unique_lock lock(state_->mutex);
    ended = state_->wake.wait_for(lock, kDetachAfter, [&] { return state_->ended; });
  }
  // Still inside a request (or destroyed by its own caption): it ends by
  // itself and drops the state.
  if (ended) {
    thread_.join();
  } else {
    base::LeaveRunning(std::move(thread_), [state = state_] {
      std::lock_guard lock(state->mutex);
      return state->ended;
    });
  }
}

void TGetStockInfoThread::Resume() {
  if (!thread_.joinable() && !state_->stop) thread_ = base::StartWorker([state = state_] { Execute(*state); });
}

void TGetStockInfoThread::Stop() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
  }
  state_->wake.notify_all();
}

void TGetStockInfoThread::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TGetStockInfoThread::Execute(State& state) {
  while (!state.stop) {
    try {
      if (state.pause) {
        state.pause(kLivePriceCycle, state.stop);
      } else {
        std::unique_lock lock(state.mutex);
        state.wake.wait_for(lock, kLivePriceCycle, [&] { return state.stop.load(); });
      }
      // Stopped while waiting: no request for a label that is going away.
      if (state.stop) break;
      if (state.request) state.request(state.code, state.report);
      if (state.showCaption) state.showCaption(base::FormatPrice(state.report.newestPrice));
    } catch (...) {
      // One failed round is forgotten; the next one follows.
    }
  }
  try {
    if (state.showCaption) state.showCaption(std::string());
  } catch (...) {
  }
  {
    std::lock_guard lock(state.mutex);
    state.ended = true;
  }
  state.wake.notify_all();
}

}  // namespace quotes
