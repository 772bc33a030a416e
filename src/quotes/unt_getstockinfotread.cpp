#include "quotes/unt_getstockinfotread.h"

#include "base/text.h"
#include "base/worker.h"

namespace quotes {

TGetStockInfoThread::TGetStockInfoThread(std::string code, bool createSuspended, Request request,
                                         ShowCaption showCaption, Pause pause)
    : code_(base::Trim(code)),
      request_(std::move(request)),
      showCaption_(std::move(showCaption)),
      pause_(std::move(pause)) {
  if (!createSuspended) Resume();
}

TGetStockInfoThread::~TGetStockInfoThread() {
  Stop();
  WaitFor();
}

void TGetStockInfoThread::Resume() {
  if (!thread_.joinable() && !stop_) thread_ = base::StartWorker([this] { Execute(); });
}

void TGetStockInfoThread::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
}

void TGetStockInfoThread::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TGetStockInfoThread::DefaultPause(std::chrono::milliseconds duration, const std::atomic<bool>& stop) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, duration, [&] { return stop.load(); });
}

void TGetStockInfoThread::Execute() {
  while (!stop_) {
    try {
      if (pause_) {
        pause_(kLivePriceCycle, stop_);
      } else {
        DefaultPause(kLivePriceCycle, stop_);
      }
      // Stopped while waiting: no request for a label that is going away.
      if (stop_) break;
      if (request_) request_(code_, report_);
      if (showCaption_) showCaption_(base::FormatPrice(report_.newestPrice));
    } catch (...) {
      // One failed round is forgotten; the next one follows.
    }
  }
  try {
    if (showCaption_) showCaption_(std::string());
  } catch (...) {
  }
}

}  // namespace quotes
