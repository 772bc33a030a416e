#include "base/worker.h"

#include <cstdio>

namespace base {
namespace {

WorkerFaultReport& Report() {
  static WorkerFaultReport report;
  return report;
}

}  // namespace

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
