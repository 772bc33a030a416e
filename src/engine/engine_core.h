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
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine_formats.h"
#include "engine_log.h"
#include "engine_transport.h"

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
  std::chrono::milliseconds timeout{3000};        // one request, everything included
  // What the file said that could not be used (for the engine's log).
  std::vector<std::string> notes;
};

// The public services, as used when drasken.ini names no usable source.
constexpr const char* kPublicComma = "https://hq.sinajs.cn/list=";
constexpr const char* kPublicTilde = "https://qt.gtimg.cn/q=";

// Bounds of the poll intervals, whatever the file says.
constexpr std::chrono::milliseconds kMinInterval{100}, kMaxInterval{60000};
constexpr std::chrono::milliseconds kMinIdleInterval{100}, kMaxIdleInterval{600000};

// drasken.ini's section [sources]: order, one address per name,
// <name>.format, interval_ms, idle_interval_ms; names and formats in any
// case. A source whose format is unknown or whose address is not a plain
// http(s) address is left out (said in `notes`); when none is left, the
// public services in the order comma, tilde. Intervals out of bounds are
// clamped.
EngineConfig ReadEngineConfig(std::string_view iniBytes);
// "http://host[:port]/..." or "https://...", host of letters, digits, '.', '-'.
bool UsableAddress(std::string_view address);

// True within the exchanges' sessions: 9:15-11:30 and 13:00-15:00 Beijing
// time, Monday to Friday.
bool InSession(std::chrono::system_clock::time_point when);
// Outside a session on a weekday: the time to the next start (9:15 or
// 13:00) of the same day; nullopt when none is left that day.
std::optional<std::chrono::milliseconds> UntilSessionStart(std::chrono::system_clock::time_point when);
// Days since 1970-01-01 of the Beijing date of a time in seconds (UTC).
int64_t BeijingDay(int64_t utcSeconds);
constexpr int64_t kNoDay = INT64_MIN;

// The watched securities and what was last posted of each: turns a
// source's quotes into the reports the program gets. A report goes out
// when it differs from the one last posted of its code; when `refresh` is
// set, an unchanged one dated `today` (Beijing) also when the one posted is
// `refresh` old. A report older (by its quote time) than the one posted is
// dropped.
class ReportFilter {
 public:
  // Also forgets what was posted of codes no longer watched.
  void SetLabels(const TStockLabel* labels, int32_t highestIndex);
  bool Empty() const { return bySymbol_.empty(); }
  // The watched symbols, each once.
  std::vector<std::string> Symbols() const;
  // The program's securities watched under a service symbol (null: none).
  const std::vector<Security>* SecuritiesOf(const std::string& symbol) const;
  bool Watches(std::string_view code) const;
  // Appends to `out` the reports to post; also returns the newest report
  // of every watched code among the quotes (for the cache).
  void Absorb(const std::vector<SourceQuote>& quotes, std::chrono::steady_clock::time_point now,
              std::optional<std::chrono::milliseconds> refresh, std::vector<TQuoteReport>& out,
              std::vector<TQuoteReport>& newest, int64_t today = kNoDay);

 private:
  struct Posted {
    TQuoteReport report{};
    std::chrono::steady_clock::time_point at{};
  };
  std::map<std::string, std::vector<Security>, std::less<>> bySymbol_;
  std::set<std::string, std::less<>> codes_;
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
  std::chrono::milliseconds singleTimeout{2000};  // a single quote, all sources together
  std::function<std::chrono::system_clock::time_point()> wallClock = [] { return std::chrono::system_clock::now(); };
};

class QuoteEngine {
 public:
  // `transports` makes one transport per source for each run of the worker
  // and one per single-quote request. `log` may be null.
  QuoteEngine(IEngineEvents& events, EngineConfig config, TransportFactory transports, EngineTiming timing = {},
              EngineLog* log = nullptr);
  ~QuoteEngine();
  QuoteEngine(const QuoteEngine&) = delete;
  QuoteEngine& operator=(const QuoteEngine&) = delete;

  // Copies the labels; any thread, before or after Start.
  void SetLabels(const TStockLabel* labels, int32_t highestIndex);
  // Starts the worker (a running one goes on).
  void Start();
  // Cancels every request in flight (the worker's and the single quotes')
  // and joins the worker: returns as soon as the transports give up.
  void Stop();
  bool Running() const;
  // The newest report of the code: asked of the sources in order (those
  // the worker found up first) within singleTimeout in all, the first that
  // knows the code answers; else the newest report the worker got. False
  // (out untouched) when neither knows the code. Any thread, several at once.
  bool Single(std::string_view code, TQuoteReport& out);
  bool Cached(std::string_view code, TQuoteReport& out) const;
  // Today's limit-up and limit-down prices of the code as its newest report
  // dated today published them; false (both untouched) when none did.
  bool Limits(std::string_view code, double& limitUp, double& limitDown) const;

 private:
  struct Source {
    SourceConfig config;
    std::unique_ptr<ITransport> transport;  // for one run of the worker
    std::chrono::steady_clock::time_point downUntil{};
    std::chrono::milliseconds backoff{0};
    bool down = false;
  };
  struct SourcePoll {
    size_t answered = 0;               // batches that gave a readable answer
    std::vector<std::string> unasked;  // symbols of the batches that did not
    std::string cause;                 // the last failure
    size_t skipped = 0;
  };
  struct Limit {
    double up = 0, down = 0;
    int64_t day = kNoDay;
  };
  void Run();
  // One poll and the wait after it; false when stopped.
  bool Step();
  SourcePoll Poll(Source& source, size_t index, const std::vector<std::string>& symbols,
                  std::vector<SourceQuote>& quotes);
  void MarkDown(Source& source, std::chrono::steady_clock::time_point now, const std::string& cause);
  void KeepLimits(const SourceQuote& quote, const std::vector<Security>& securities, int64_t today);
  void Note(std::string_view text);
  void NoteLimited(const std::string& key, std::string_view text);
  int64_t Today() const;

  IEngineEvents& events_;
  EngineConfig config_;
  TransportFactory transports_;
  EngineTiming timing_;
  EngineLog* log_;
  std::vector<std::unique_ptr<Source>> sources_;

  // The worker's own state.
  ReportFilter filter_;
  bool down_ = false;
  std::vector<size_t> lastSkipped_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::atomic<bool> stopping_{false};
  bool labelsChanged_ = false;
  std::vector<TStockLabel> labels_;
  std::map<std::string, TQuoteReport, std::less<>> cache_;
  std::map<std::string, Limit, std::less<>> limits_;
  std::vector<bool> sourceUp_;  // as the worker last found them, for Single
  std::thread worker_;

  // Every transport in flight, for Stop.
  std::mutex transportsMutex_;
  std::set<ITransport*> lookups_;
};

// The request headers a source of the format wants.
std::vector<std::string> RequestHeaders(Format format);
// The address of one request: the base with the symbols comma-joined.
std::string RequestAddress(const std::string& base, const std::vector<std::string>& symbols, size_t first, size_t count);

}  // namespace engine
