// The online-time worker: while the session lasts it tells the account
// service, once per period, that the user is still online.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace account {

inline constexpr int kOnlineTimePeriodMs = 600000;

class TOnlineTimeWorker {
 public:
  // `update` runs on the worker's thread with the user identifier; it must
  // stay callable after the worker object is gone (see Stop).
  explicit TOnlineTimeWorker(std::function<void(const std::string& user)> update,
                             int periodMs = kOnlineTimePeriodMs);
  ~TOnlineTimeWorker();  // stops the worker
  TOnlineTimeWorker(const TOnlineTimeWorker&) = delete;
  TOnlineTimeWorker& operator=(const TOnlineTimeWorker&) = delete;

  // Starts for the user unless a worker runs already.
  void Start(const std::string& user);
  // Ends the wait at once. A worker waiting for its period ends and is
  // joined; one inside an update (a network call of unknown length) is let
  // go to finish it alone, so the caller never waits on the network. True
  // when the thread has ended.
  bool Stop();
  bool Running() const { return thread_.joinable(); }

 private:
  struct State;
  std::function<void(const std::string&)> update_;
  int periodMs_;
  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace account
