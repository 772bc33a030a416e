// What the monitor editors' tests give a model in place of the program:
// the settings in a private folder, a monitor list, a quote source, a GUI
// queue drained by the test, a clock, and a dialog that answers questions
// from a queue. Shared by every editor's tests.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/datetime.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "policy/unt_editorframe.h"
#include "support/temp_dir.h"

namespace testing_support {

class FakeEditorDialog : public policy::IEditorDialog {
 public:
  std::vector<bool> answers;  // AskYesNo, in order; No when empty
  std::vector<std::string> questions;
  int calculators = 0;
  int refreshes = 0;
  bool AskYesNo(const std::string& text, const std::string& title) override {
    questions.push_back(title + "|" + text);
    if (answers.empty()) return false;
    const bool a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  void ShowCalculator() override { ++calculators; }
  void Refresh() override { ++refreshes; }
};

// Closures posted by workers, run when the test drains.
class ManualGuiQueue {
 public:
  void Post(std::function<void()> job) {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  int Drain() {
    std::vector<std::function<void()>> jobs;
    {
      std::lock_guard lock(mutex_);
      jobs.swap(jobs_);
    }
    for (auto& job : jobs) job();
    return static_cast<int>(jobs.size());
  }
  // Drains until `done` holds, for at most two seconds.
  bool DrainUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      if (Drain() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<std::function<void()>> jobs_;
};

inline quotes::TQuoteReport MakeQuote(const std::string& code, const std::string& nameUtf8, float prevClose, float open,
                                      float newest, uint16_t market = 1, int32_t quoteTime = 1765343400) {
  quotes::TQuoteReport r{};
  r.recordSize = sizeof r;
  r.quoteTime = quoteTime;
  r.market = market;
  base::WriteFixedText(r.code, code);
  base::WriteFixedText(r.name, base::Utf8ToGbkLossy(nameUtf8));
  r.prevClose = prevClose;
  r.open = open;
  r.newestPrice = newest;
  return r;
}

// Everything an editor model needs, in one place.
struct EditorRig {
  TempDir dir;
  settings::TSettings settings{base::PathToUtf8(dir.path())};
  policy::TPolicyList monitors;
  ManualGuiQueue gui;
  FakeEditorDialog dialog;
  std::mutex quotesMutex;
  std::map<std::string, quotes::TQuoteReport> quotes;  // what the engine knows
  std::atomic<int> requests{0};
  bool engineThrows = false;
  base::TDateTime now = base::EncodeDateTime(2026, 12, 9, 10, 15, 0);
  std::vector<std::string> sounds;
  int rebuilds = 0;

  void Know(const quotes::TQuoteReport& report) {
    std::lock_guard lock(quotesMutex);
    quotes[base::ReadFixedText(report.code)] = report;
  }

  policy::TEditorServices Services() {
    policy::TEditorServices s;
    s.settings = &settings;
    s.monitors = &monitors;
    s.requestQuote = [this](const std::string& code, quotes::TQuoteReport& out) {
      ++requests;
      if (engineThrows) throw std::runtime_error("engine");
      std::lock_guard lock(quotesMutex);
      const auto found = quotes.find(code);
      if (found != quotes.end()) out = found->second;
    };
    s.rebuildMonitorList = [this] { ++rebuilds; };
    s.playSound = [this](const std::string& path, bool wait) { sounds.push_back(path + (wait ? " wait" : "")); };
    s.now = [this] { return now; };
    s.postToGui = [this](std::function<void()> job) { gui.Post(std::move(job)); };
    // A short cycle, so that the first live price comes at once.
    s.livePricePause = [](std::chrono::milliseconds, const std::atomic<bool>& stop) {
      for (int i = 0; i < 20 && !stop; ++i) std::this_thread::sleep_for(std::chrono::microseconds(100));
    };
    return s;
  }
};

}  // namespace testing_support
