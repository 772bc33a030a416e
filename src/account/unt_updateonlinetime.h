// The online-time worker: while the session lasts it tells the account
// service, once per period, that the user is still online.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace account {

inline constexpr int kOnlineTimePeriodMs = 600000;

class TOnlineTimeWorker {
 public:
  // `update` runs on the worker's thread with the user identifier.
  explicit TOnlineTimeWorker(std::function<void(const std::string& user)> update,
                             int periodMs = kOnlineTimePeriodMs);
  ~TOnlineTimeWorker();  // stops the worker
  TOnlineTimeWorker(const TOnlineTimeWorker&) = delete;
  TOnlineTimeWorker& operator=(const TOnlineTimeWorker&) = delete;

  // Starts for the user unless a worker runs already.
  void Start(const std::string& user);
  // Ends the wait at once and waits for the thread (an update in progress
  // finishes first).
  void Stop();
  bool Running() const { return thread_.joinable(); }

 private:
  std::function<void(const std::string&)> update_;
  int periodMs_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
};

}  // namespace account
