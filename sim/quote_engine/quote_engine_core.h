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

// Quote packets for the program's window. Reports that arrive are kept in a
// backlog; a packet takes everything in the backlog (at most maxPerPacket
// reports) and is posted while fewer than maxInFlight packets are posted and
// not yet handled. A packet lives until the program has handled its message
// (Release). When the program falls behind, reports pile up in the backlog
// and go out together in the next packet; should the backlog pass
// maxBacklog, it is cut to the newest report of each code, in the order of
// those newest reports.
class PacketPump {
 public:
  struct Packet {
    quotes::TQuotePacket header{};
    std::vector<TQuoteReport> reports;
  };
  // Posts the packet's message; false when it could not (the packet is freed).
  using PostFn = std::function<bool(const Packet& packet)>;

  explicit PacketPump(PostFn post, size_t maxInFlight = 4, size_t maxPerPacket = 4096, size_t maxBacklog = 100000);
  ~PacketPump();

  void Add(const TQuoteReport* reports, size_t count);
  // True when `packet` is one this pump posted and has not freed.
  bool Owns(const void* packet) const;
  // The program is handling the packet's message now (nested handling of
  // other packets may follow before Release).
  void Handling(const void* packet);
  // The program has handled the packet: frees it and posts what waits.
  void Release(const void* packet);
  // The window will not handle what is posted (it is gone or the engine
  // quits): frees every packet that is not being handled right now (those go
  // with their Release), drops the backlog and posts nothing until Resume.
  void Abandon();
  void Resume();

  size_t InFlight() const;
  size_t Backlog() const;
  uint64_t PacketsPosted() const;

 private:
  void PostLocked();
  struct Entry {
    std::unique_ptr<Packet> packet;
    bool handling = false;
  };
  PostFn post_;
  size_t maxInFlight_, maxPerPacket_, maxBacklog_;
  mutable std::mutex mutex_;
  std::vector<TQuoteReport> backlog_;
  std::map<const void*, Entry> inFlight_;
  bool abandoned_ = false;
  uint64_t posted_ = 0;
};

}  // namespace quoteengine
