// Writes the policy store on a worker thread, so that a list rebuild (which
// saves the store every time) waits neither for the disk nor for copying
// the store's bytes. The worker takes the bytes from `source` when it
// writes, so saves that pile up while one is written become one, of the
// newest state. A save that fails is reported once until one succeeds
// again, on the thread that `post` hands the report to.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace app {

class TStoreSaver {
 public:
  using Report = std::function<void(const std::string& title, const std::string& text)>;
  // Runs a closure on the GUI thread; empty: the report runs on the worker.
  using Post = std::function<void(std::function<void()>)>;

  // `source` runs on the worker and must be safe there (the monitor list
  // takes its own lock).
  TStoreSaver(std::string path, std::function<std::string()> source, Report report, Post post);
  // Writes what is still pending, then ends the worker.
  ~TStoreSaver();
  TStoreSaver(const TStoreSaver&) = delete;
  TStoreSaver& operator=(const TStoreSaver&) = delete;

  void Save();
  // Returns when everything handed over so far is on disk (or failed).
  void Flush();
  // The last save, of bytes the caller took itself: waits only for a write
  // already under way, never for the worker's `source` (whose lock the
  // caller may hold further up its stack). What the worker takes after
  // this is dropped and later saves are ignored, so nothing older lands
  // after it.
  bool SaveLast(const std::string& bytes, std::string* error);
  int Writes() const;  // files written, for tests

 private:
  void Run();

  const std::string path_;
  Report report_;
  Post post_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::function<std::string()> source_;
  bool pending_ = false;
  bool fetching_ = false;  // inside `source`
  bool writing_ = false;
  bool closed_ = false;  // SaveLast was called
  bool stop_ = false;
  bool failureShown_ = false;
  int writes_ = 0;
  std::thread worker_;
};

}  // namespace app
