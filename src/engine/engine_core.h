// The quote engine's working part, free of Win32: the configuration read
// from drasken.ini, the worker that polls the sources, the filter that
// decides which reports go to the program, and the single-quote request.
// drasken_win.cpp binds it to the exports and the window messages.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine_formats.h"
#include "engine_http.h"

namespace engine {

using quotes::TQuoteReport;
using quotes::TStockLabel;

struct SourceConfig {
  std::string name;
  Format format = Format::Comma;
  std::string base;  // the address the comma-joined symbols are appended to
};

struct EngineConfig {
  std::vector<SourceConfig> sources;
  std::chrono::milliseconds interval{1500};       // during trading sessions
  std::chrono::milliseconds idleInterval{60000};  // outside them
  std::chrono::milliseconds timeout{3000};        // connect and answer, per request
};

// The public services, as used when drasken.ini says nothing.
constexpr const char* kPublicComma = "http://hq.sinajs.cn/list=";
constexpr const char* kPublicTilde = "http://qt.gtimg.cn/q=";

// drasken.ini's section [sources]: order, one address per name,
// <name>.format, interval_ms, idle_interval_ms. Empty bytes (no file) and
// missing keys give the public services in the order comma, tilde. A name
// without an address or with an unknown format is left out.
EngineConfig ReadEngineConfig(std::string_view iniBytes);

// True within the exchanges' sessions: 9:15-11:30 and 13:00-15:00 Beijing
// time, Monday to Friday.
bool InSession(std::chrono::system_clock::time_point when);

// The watched securities and what was last posted of each: turns a
// source's quotes into the reports the program gets. A report goes out
// when it differs from the one last posted of its code, and, when
// `refresh` is set, also when that one is `refresh` old.
class ReportFilter {
 public:
  void SetLabels(const TStockLabel* labels, int32_t highestIndex);
  bool Empty() const { return bySymbol_.empty(); }
  // The watched symbols, each once.
  std::vector<std::string> Symbols() const;
  // Appends to `out` the reports to post; also returns the newest report
  // of every watched code among the quotes (for the cache).
  void Absorb(const std::vector<SourceQuote>& quotes, std::chrono::steady_clock::time_point now,
              std::optional<std::chrono::milliseconds> refresh, std::vector<TQuoteReport>& out,
              std::vector<TQuoteReport>& newest);

 private:
  struct Posted {
    TQuoteReport report{};
    std::chrono::steady_clock::time_point at{};
    bool any = false;
  };
  std::map<std::string, std::vector<Security>, std::less<>> bySymbol_;
  std::map<std::string, Posted, std::less<>> posted_;  // by the program's code
};

// The report of a source quote under the program's code and market.
TQuoteReport ProgramReport(const SourceQuote& quote, const Security& security);

class IEngineEvents {
 public:
  virtual ~IEngineEvents() = default;
  // Reports to post, from the worker thread.
  virtual void Reports(const TQuoteReport* reports, size_t count) = 0;
  // Every source is down (once per outage) / one answers again.
  virtual void SourcesDown() = 0;
  virtual void SourcesBack() = 0;
};

struct EngineTiming {
  std::chrono::milliseconds refresh{20000};  // each security at least this often in a session
  std::chrono::milliseconds firstBackoff{1000};
  std::chrono::milliseconds maxBackoff{30000};
  std::chrono::milliseconds singleTimeout{2000};
  std::function<std::chrono::system_clock::time_point()> wallClock = [] { return std::chrono::system_clock::now(); };
};

class QuoteEngine {
 public:
  QuoteEngine(IEngineEvents& events, EngineConfig config, EngineTiming timing = {});
  ~QuoteEngine();
  QuoteEngine(const QuoteEngine&) = delete;
  QuoteEngine& operator=(const QuoteEngine&) = delete;

  // Copies the labels; any thread, before or after Start.
  void SetLabels(const TStockLabel* labels, int32_t highestIndex);
  // Starts the worker (a running one goes on).
  void Start();
  // Stops and joins the worker (within one request's time-out).
  void Stop();
  bool Running() const;
  // The newest report of the code: one request to the first source that is
  // up, else the newest report the worker got. False (out untouched) when
  // no source knows the code. Any thread, several at once.
  bool Single(std::string_view code, TQuoteReport& out);
  bool Cached(std::string_view code, TQuoteReport& out) const;

 private:
  struct Source {
    SourceConfig config;
    std::optional<Url> url;
    HttpClient client;
    std::chrono::steady_clock::time_point downUntil{};
    std::chrono::milliseconds backoff{0};
  };
  void Run();
  // Polls every watched symbol at the source; false when it failed.
  bool Poll(Source& source, const std::vector<std::string>& symbols, std::vector<SourceQuote>& quotes);
  void MarkDown(Source& source, std::chrono::steady_clock::time_point now);

  IEngineEvents& events_;
  EngineConfig config_;
  EngineTiming timing_;
  std::vector<std::unique_ptr<Source>> sources_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool labelsChanged_ = false;
  std::vector<TStockLabel> labels_;
  std::map<std::string, TQuoteReport, std::less<>> cache_;
  std::vector<bool> sourceUp_;  // as the worker last found them, for Single
  std::thread worker_;
};

// The request headers a source of the format wants.
std::vector<std::string> RequestHeaders(Format format);
// The address of one request: the base with the symbols comma-joined.
std::string RequestAddress(const std::string& base, const std::vector<std::string>& symbols, size_t first, size_t count);

}  // namespace engine
