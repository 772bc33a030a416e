#include "account/unt_updateonlinetime.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/worker.h"

namespace account {

// Shared with the thread, which may outlive the worker object.
struct TOnlineTimeWorker::State {
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;
  bool updating = false;
  bool ended = false;  // the thread has left its loop, however
};

TOnlineTimeWorker::TOnlineTimeWorker(std::function<void(const std::string&)> update, int periodMs)
    : update_(std::move(update)), periodMs_(periodMs) {}

TOnlineTimeWorker::~TOnlineTimeWorker() { Stop(); }

void TOnlineTimeWorker::Start(const std::string& user) {
  if (thread_.joinable()) return;
  state_ = std::make_shared<State>();
  thread_ = base::StartWorker([state = state_, update = update_, period = periodMs_, user] {
    struct MarkEnded {
      State& state;
      ~MarkEnded() {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.ended = true;
      }
    } markEnded{*state};
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
      if (state->wake.wait_for(lock, std::chrono::milliseconds(period), [&] { return state->stop; })) return;
      state->updating = true;
      lock.unlock();
      update(user);
      lock.lock();
      state->updating = false;
    }
  });
}

bool TOnlineTimeWorker::Stop() {
  if (!thread_.joinable()) return true;
  bool updating;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stop = true;
    updating = state_->updating;
  }
  state_->wake.notify_all();
  if (updating) {
    base::LeaveRunning(std::move(thread_), [state = state_] {
      std::lock_guard<std::mutex> lock(state->mutex);
      return state->ended;
    });
    return false;
  }
  thread_.join();
  return true;
}

}  // namespace account
