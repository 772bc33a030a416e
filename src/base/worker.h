// Worker threads of the program. An exception that leaves a thread's
// function ends the whole process (std::terminate), so every worker body
// runs through Guarded: what escapes it is reported and only that work ends.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

namespace base {

// Called with what escaped a worker body; the default writes it to stderr.
// Set once at start-up, before any worker runs.
using WorkerFaultReport = std::function<void(const std::string& what)>;
void SetWorkerFaultReport(WorkerFaultReport report);
void ReportWorkerFault(const std::string& what);

// `body` wrapped so that no exception leaves it.
template <class F>
auto Guarded(F body) {
  return [body = std::move(body)]() mutable noexcept {
    try {
      body();
    } catch (const std::exception& e) {
      ReportWorkerFault(e.what());
    } catch (...) {
      ReportWorkerFault("unknown exception");
    }
  };
}

// A thread running `body` guarded.
template <class F>
std::thread StartWorker(F body) {
  return std::thread(Guarded(std::move(body)));
}

// Threads that nobody waits for are still never detached: MinGW's thread
// library (winpthreads, Debian's mingw-w64 10) can give the record of a
// detached thread that is ending to a thread being created, which then
// ends without ever running its function (under 32-bit Wine 2 starts in
// 36 000 of a plain loop, and the clock test's workers in half its runs
// just after Wine started: a clock synchronisation that never answered, a
// notification post that timed out unsent). Such a thread is joined
// instead, once `ended` says it has left its work, by whichever call comes
// next.
void LeaveRunning(std::thread thread, std::function<bool()> ended);

// Starts `body` guarded on a thread that nobody waits for.
template <class F>
void StartUnwaitedWorker(F body) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  LeaveRunning(std::thread([run = Guarded(std::move(body)), done]() mutable {
                 run();
                 done->store(true);
               }),
               [done] { return done->load(); });
}

// Joins the threads left running that have ended since (every start does).
void JoinEndedWorkers();

}  // namespace base
