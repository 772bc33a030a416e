#include "account/unt_updateonlinetime.h"

#include <chrono>

#include "base/worker.h"

namespace account {

TOnlineTimeWorker::TOnlineTimeWorker(std::function<void(const std::string&)> update, int periodMs)
    : update_(std::move(update)), periodMs_(periodMs) {}

TOnlineTimeWorker::~TOnlineTimeWorker() { Stop(); }

void TOnlineTimeWorker::Start(const std::string& user) {
  if (thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = false;
  }
  thread_ = base::StartWorker([this, user] {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (wake_.wait_for(lock, std::chrono::milliseconds(periodMs_), [this] { return stop_; })) return;
      lock.unlock();
      update_(user);
      lock.lock();
    }
  });
}

void TOnlineTimeWorker::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

}  // namespace account
