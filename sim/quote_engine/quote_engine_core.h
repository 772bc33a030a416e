// The working part of the stand-in quote engine, free of Win32 so that it
// runs and is tested natively: the worker that keeps a connection to the
// quote feed, the single-quote request, and the pump that turns arriving
// reports into quote packets with a bounded number of them in flight.
// drasken_win.cpp binds these to the exports and to window messages.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_packets.h"
#include "quotes/Ustockdrv.h"

namespace quoteengine {

using quotes::TQuoteReport;
using quotes::TStockLabel;

// What the worker tells the program, from the worker thread.
class IEngineEvents {
 public:
  virtual ~IEngineEvents() = default;
  virtual void Reports(const TQuoteReport* reports, size_t count) = 0;
  // The feed is unreachable (once per outage, also when the first attempt fails).
  virtual void FeedLost() = 0;
  // The feed answers again after FeedLost.
  virtual void FeedRestored() = 0;
};

// Back-off between connection attempts: 100 ms, doubled after each failure,
// at most 3 s; back to the start once the feed has welcomed the engine.
struct Backoff {
  std::chrono::milliseconds first{100};
  std::chrono::milliseconds cap{3000};
};

class QuoteEngineCore {
 public:
  explicit QuoteEngineCore(IEngineEvents& events, Backoff backoff = {});
  ~QuoteEngineCore();
  QuoteEngineCore(const QuoteEngineCore&) = delete;
  QuoteEngineCore& operator=(const QuoteEngineCore&) = delete;

  // Copies the watched labels (null or highestIndex < 0: none) and, when
  // connected, sends them to the feed. Any thread, before or after Start.
  void SetLabels(const TStockLabel* labels, int32_t highestIndex);
  // Starts the worker (stopping an earlier one). False for an empty host or
  // a port outside 1..65535; the connection itself is made by the worker.
  bool Start(const std::string& host, int32_t port, int32_t startToken, const std::string& user);
  // Stops and joins the worker; the labels and the cache stay.
  void Stop();
  bool Running() const;
  // The newest report of the code this engine received; false when none.
  bool Cached(const std::string& code, TQuoteReport& out) const;

 private:
  class Worker;
  IEngineEvents& events_;
  Backoff backoff_;
  mutable std::mutex mutex_;
  std::vector<TStockLabel> labels_;
  std::map<std::string, TQuoteReport> cache_;
  std::unique_ptr<Worker> worker_;
};

// One single-quote request on its own short connection: connects, asks for
// the code, waits for the answer, all within `timeout`. Fills `out` (all zero
// when the feed played no report of the code yet) and returns true when the
// feed answered; leaves `out` alone otherwise. Safe from any thread.
bool QueryQuote(const std::string& host, int32_t port, const std::string& code, TQuoteReport& out,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

// The packet pump is the shipped engine's (src/engine/engine_packets.h).
using PacketPump = engine::PacketPump;

}  // namespace quoteengine
