#include "quotes/unt_taperecorder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "base/files.h"
#include "base/worker.h"

namespace quotes {

std::string DayTapesFolder(const std::string& applicationFolder) {
#ifdef _WIN32
  return applicationFolder + "data\\tapes\\";
#else
  return applicationFolder + "data/tapes/";
#endif
}

TDayTapeRecorder::TDayTapeRecorder(Options options) : options_(std::move(options)) {
  if (options_.blockReports == 0) options_.blockReports = 1;
  queue_.reserve(options_.blockReports);
  worker_ = base::StartWorker([this] { Run(); });
}

TDayTapeRecorder::~TDayTapeRecorder() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void TDayTapeRecorder::Flush() {
  std::unique_lock lock(mutex_);
  const uint64_t ticket = ++flushRequests_;
  wake_.notify_one();
  idle_.wait(lock, [&] { return flushesDone_ >= ticket; });
}

bool TDayTapeRecorder::FlushFor(std::chrono::milliseconds most) {
  std::unique_lock lock(mutex_);
  const uint64_t ticket = ++flushRequests_;
  wake_.notify_one();
  return idle_.wait_for(lock, most, [&] { return flushesDone_ >= ticket; });
}

void TDayTapeRecorder::Report(const std::string& text) {
  // Once until the next success: a full disk would otherwise speak every block.
  if (text == lastReport_) return;
  lastReport_ = text;
  if (options_.report) {
    options_.report(text);
  } else {
    base::ReportWorkerFault(text);
  }
}

void TDayTapeRecorder::Run() {
  std::error_code ec;
  std::filesystem::create_directories(base::PathFromUtf8(options_.folder), ec);
  DeleteOldDayTapes(options_.folder, options_.keepDays, options_.marketClock());
  std::vector<TQuoteReport> batch;
  batch.reserve(options_.blockReports);
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait_for(lock, options_.interval, [this] {
      return stop_ || queue_.size() >= options_.blockReports || flushRequests_ > flushesDone_;
    });
    const bool stopping = stop_;
    const uint64_t flushes = flushRequests_;
    const uint64_t dropped = std::exchange(dropped_, 0);
    batch.swap(queue_);
    lock.unlock();
    if (dropped) Report(std::to_string(dropped) + " quote reports were not recorded: the day tape falls behind");
    if (!batch.empty()) WriteBatch(batch);
    batch.clear();
    lock.lock();
    flushesDone_ = flushes;
    idle_.notify_all();
    if (stopping) return;
  }
}

bool TDayTapeRecorder::OpenDay(uint32_t day) {
  if (day != day_) {
    day_ = day;
    path_ = options_.folder + DayTapeName(day);
    dayRefused_ = false;
    verify_ = true;
  }
  if (dayRefused_) return false;
  if (!verify_) return true;
  // A file of this day (an earlier run, or this one after a failed write):
  // the new blocks go after its last whole block, in a chain of their own.
  encoder_.emplace();
  if (!base::FileExists(path_)) {
    std::error_code ec;
    std::filesystem::create_directories(base::PathFromUtf8(options_.folder), ec);
    verify_ = false;
    return true;
  }
  const DayTapeReadResult existing = ReadDayTapeFile(path_);
  if (!existing.ok) {
    // Never written over: it may be something the user keeps.
    dayRefused_ = true;
    Report(path_ + ": " + existing.error + "; today's quotes are not recorded");
    return false;
  }
  std::error_code ec;
  const auto size = std::filesystem::file_size(base::PathFromUtf8(path_), ec);
  if (!ec && size > existing.validBytes) std::filesystem::resize_file(base::PathFromUtf8(path_), existing.validBytes, ec);
  if (ec) {
    Report(path_ + ": the broken end of the day tape cannot be cut off (" + ec.message() + ")");
    return false;
  }
  verify_ = false;
  return true;
}

void TDayTapeRecorder::WriteBatch(std::vector<TQuoteReport>& batch) {
  std::unordered_set<std::string> watched;
  if (options_.watchedCodes) {
    for (std::string& code : options_.watchedCodes()) watched.insert(std::move(code));
  }
  // Only quotes of the day itself: an engine may pass on older ones (at
  // start, on a holiday), on which nothing fires live, while a replay would
  // take them for quotes of their own time.
  const uint32_t day = DayNumber(options_.marketClock());
  size_t kept = 0;
  for (const TQuoteReport& report : batch) {
    if (watched.count(std::string(ReportCode(report))) && DayNumber(ReportDateTime(report)) == day)
      batch[kept++] = report;
  }
  if (kept == 0) return;
  if (!OpenDay(day)) return;
  const bool fresh = !base::FileExists(path_);
  std::string bytes = fresh ? DayTapeHeader(day_) : std::string();
  for (size_t i = 0; i < kept; i += kMaxBlockReports) {
    bytes += encoder_->EncodeBlock(batch.data() + i, std::min<size_t>(kMaxBlockReports, kept - i));
  }
  std::string error;
  if (!base::AppendToFile(path_, bytes, &error)) {
    // Part of the bytes may be on disk and the chain is off: the next write
    // checks the file and starts a chain again.
    verify_ = true;
    Report(path_ + ": " + error);
    return;
  }
  lastReport_.clear();
}

}  // namespace quotes
