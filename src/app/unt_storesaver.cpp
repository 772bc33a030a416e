#include "app/unt_storesaver.h"

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
    pending_ = true;
  }
  wake_.notify_one();
}

void TStoreSaver::Flush() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !pending_ && !writing_; });
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
    writing_ = true;
    lock.unlock();
    std::string error;
    bool ok = false;
    try {
      ok = base::AtomicReplace(path_, source_(), &error);
    } catch (const std::exception& e) {
      error = e.what();  // out of memory for the bytes: told like a failed write
    }
    lock.lock();
    writing_ = false;
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
    if (!pending_) idle_.notify_all();
  }
}

}  // namespace app
