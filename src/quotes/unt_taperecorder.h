// Records the day tapes (unt_daytape.h) while quotes arrive. The GUI thread
// only copies each report into a queue; a worker keeps the reports of the
// watched securities dated the day (Beijing) and appends them to the day's file as one block every
// 30 s (or sooner when many wait), so a killed program loses at most the
// reports of the last interval. Blocks of 30 s keep a day of 20 busy
// securities under 2 MB; blocks of 3 s would take 2.8 MB (bench_daytape). The worker also deletes the tapes older
// than the days to keep when it starts.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/datetime.h"
#include "quotes/Ustockdrv.h"
#include "quotes/unt_daytape.h"

namespace quotes {

// The tapes' folder below the application folder (ending in a separator).
std::string DayTapesFolder(const std::string& applicationFolder);

class TDayTapeRecorder {
 public:
  struct Options {
    std::string folder;  // data\tapes
    int keepDays = 60;
    // The codes of the watched securities; runs on the worker, once a block.
    std::function<std::vector<std::string>()> watchedCodes;
    // Beijing time: the day a block is filed under.
    std::function<base::TDateTime()> marketClock;
    // Runs on the worker with a fault to report (a file that cannot be
    // written or is no day tape); the default writes it to the worker fault report.
    std::function<void(const std::string&)> report;
    std::chrono::milliseconds interval{30000};
    size_t blockReports = 4096;      // a block is written as soon as this many wait
    size_t maxQueued = 1u << 18;     // beyond this (a disk that hangs) reports are dropped and counted
  };

  explicit TDayTapeRecorder(Options options);
  // Writes what waits, then ends the worker.
  ~TDayTapeRecorder();
  TDayTapeRecorder(const TDayTapeRecorder&) = delete;
  TDayTapeRecorder& operator=(const TDayTapeRecorder&) = delete;

  // GUI thread: a copy of the report goes into the queue.
  void Record(const TQuoteReport& report) {
    std::unique_lock lock(mutex_);
    if (queue_.size() >= options_.maxQueued) {
      ++dropped_;
      return;
    }
    queue_.push_back(report);
    if (queue_.size() == options_.blockReports) {
      lock.unlock();
      wake_.notify_one();
    }
  }

  // Returns when everything handed over so far is written (or failed).
  void Flush();
  // The same, waiting at most `most`: false when the worker is still busy
  // (a disk that hangs), so that the GUI thread never hangs with it.
  bool FlushFor(std::chrono::milliseconds most);

 private:
  void Run();
  void WriteBatch(std::vector<TQuoteReport>& batch);
  bool OpenDay(uint32_t day);
  void Report(const std::string& text);

  Options options_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::vector<TQuoteReport> queue_;
  uint64_t dropped_ = 0;
  uint64_t flushRequests_ = 0, flushesDone_ = 0;
  bool stop_ = false;

  // The worker's own.
  uint32_t day_ = 0;
  bool dayRefused_ = false;  // the day's file is not ours to append to
  bool verify_ = false;      // a write failed: check the file's tail before the next
  std::string path_;
  std::optional<DayTapeEncoder> encoder_;
  std::string lastReport_;
  std::thread worker_;
};

}  // namespace quotes
