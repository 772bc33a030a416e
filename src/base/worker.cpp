#include "base/worker.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace base {
namespace {

WorkerFaultReport& Report() {
  static WorkerFaultReport report;
  return report;
}

struct LeftRunning {
  std::thread thread;
  std::function<bool()> ended;
};

struct Reaper {
  std::mutex mutex;
  std::vector<LeftRunning> threads;
};

// Never destroyed: threads still running at exit must not be destroyed
// joinable (that ends the process), and the process ends them anyway.
Reaper& TheReaper() {
  static Reaper* reaper = new Reaper;
  return *reaper;
}

// Takes out the threads that have ended, for joining outside the lock.
std::vector<std::thread> TakeEnded(Reaper& reaper) {
  std::vector<std::thread> ended;
  std::lock_guard lock(reaper.mutex);
  auto& threads = reaper.threads;
  for (auto it = threads.begin(); it != threads.end();) {
    // A thread that hands itself over is never its own joiner.
    if (it->thread.get_id() != std::this_thread::get_id() && it->ended()) {
      ended.push_back(std::move(it->thread));
      it = threads.erase(it);
    } else {
      ++it;
    }
  }
  return ended;
}

}  // namespace

void LeaveRunning(std::thread thread, std::function<bool()> ended) {
  JoinEndedWorkers();
  if (!thread.joinable()) return;
  Reaper& reaper = TheReaper();
  std::lock_guard lock(reaper.mutex);
  reaper.threads.push_back({std::move(thread), std::move(ended)});
}

void JoinEndedWorkers() {
  for (auto& t : TakeEnded(TheReaper())) t.join();
}

void SetWorkerFaultReport(WorkerFaultReport report) { Report() = std::move(report); }

void ReportWorkerFault(const std::string& what) {
  try {
    if (Report()) return Report()(what);
    std::fprintf(stderr, "worker thread stopped by an exception: %s\n", what.c_str());
  } catch (...) {
    // A report that fails itself must not end the process either.
  }
}

}  // namespace base
