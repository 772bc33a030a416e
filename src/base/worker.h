// Worker threads of the program. An exception that leaves a thread's
// function ends the whole process (std::terminate), so every worker body
// runs through Guarded: what escapes it is reported and only that work ends.
#pragma once

#include <exception>
#include <functional>
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

}  // namespace base
