// Writes the policy store on a worker thread, so that a list rebuild (which
// saves the store every time) does not wait for the disk. The newest bytes
// win: saves that pile up while one is written are merged into one. A save
// that fails is reported once until one succeeds again, on the thread that
// `post` hands the report to.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace app {

class TStoreSaver {
 public:
  using Report = std::function<void(const std::string& title, const std::string& text)>;
  // Runs a closure on the GUI thread; empty: the report runs on the worker.
  using Post = std::function<void(std::function<void()>)>;

  TStoreSaver(std::string path, Report report, Post post);
  // Writes what is still pending, then ends the worker.
  ~TStoreSaver();
  TStoreSaver(const TStoreSaver&) = delete;
  TStoreSaver& operator=(const TStoreSaver&) = delete;

  void Save(std::string bytes);
  // Returns when everything handed over so far is on disk (or failed).
  void Flush();
  int Writes() const;  // files written, for tests

 private:
  void Run();

  const std::string path_;
  Report report_;
  Post post_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::optional<std::string> pending_;
  bool writing_ = false;
  bool stop_ = false;
  bool failureShown_ = false;
  int writes_ = 0;
  std::thread worker_;
};

}  // namespace app
