#include "app/unt_storesaver.h"

#include <optional>

#include "base/files.h"
#include "base/worker.h"
#include "policy/unt_policy.h"

namespace app {

TStoreSaver::TStoreSaver(std::string path, std::function<std::string()> source, Report report, Post post)
    : path_(std::move(path)),
      report_(std::move(report)),
      post_(std::move(post)),
      source_(std::move(source)),
      worker_(base::StartWorker([this] { Run(); })) {}

TStoreSaver::~TStoreSaver() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void TStoreSaver::Save() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    pending_ = true;
  }
  wake_.notify_one();
}

void TStoreSaver::Flush() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !pending_ && !fetching_ && !writing_; });
}

bool TStoreSaver::SaveLast(const std::string& bytes, std::string* error) {
  {
    std::unique_lock lock(mutex_);
    closed_ = true;
    pending_ = false;
    idle_.wait(lock, [this] { return !writing_; });
  }
  // The worker writes nothing from here on: it checks closed_ before it
  // starts a write.
  return base::AtomicReplace(path_, bytes, error);
}

int TStoreSaver::Writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

void TStoreSaver::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return pending_ || stop_; });
    if (!pending_) return;  // stopped with nothing left to write
    pending_ = false;
    fetching_ = true;
    lock.unlock();
    std::string error;
    bool ok = false;
    std::optional<std::string> bytes;
    try {
      bytes = source_();
    } catch (const std::exception& e) {
      error = e.what();  // out of memory for the bytes: told like a failed write
    }
    lock.lock();
    fetching_ = false;
    if (closed_) {
      // The last save was made meanwhile, of newer state.
      idle_.notify_all();
      return;
    }
    if (bytes) {
      writing_ = true;
      lock.unlock();
      try {
        ok = base::AtomicReplace(path_, *bytes, &error);
      } catch (const std::exception& e) {
        error = e.what();
      }
      lock.lock();
      writing_ = false;
    }
    ++writes_;
    bool tell = false;
    if (ok) {
      failureShown_ = false;
    } else if (!failureShown_) {
      failureShown_ = tell = true;
    }
    if (tell && report_) {
      const std::string text = policy::StoreFailureText(path_, error);
      Report report = report_;
      if (post_) {
        post_([report, text] { report(policy::kStoreFailureTitle, text); });
      } else {
        lock.unlock();
        report(policy::kStoreFailureTitle, text);
        lock.lock();
      }
    }
    idle_.notify_all();
  }
}

}  // namespace app
