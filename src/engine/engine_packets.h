// Quote packets for the program's window: the reports the engine posts
// with its quote message, and how long each packet lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "quotes/Ustockdrv.h"

namespace engine {

using quotes::TQuoteReport;

// Quote packets for the program's window. Reports that arrive are kept in a
// backlog; a packet takes everything in the backlog (at most maxPerPacket
// reports) and is posted while fewer than maxInFlight packets are posted and
// not yet handled. A packet lives until the program has handled its message
// (Release). When the program falls behind (coalesceInFlight packets or more
// waiting to be handled), the backlog is cut to the newest report of each
// code, in the order of those newest reports, and goes out in the next
// packet: the program then gets the present, not a growing past. The same
// should the backlog ever pass maxBacklog.
class PacketPump {
 public:
  struct Packet {
    quotes::TQuotePacket header{};
    std::vector<TQuoteReport> reports;
  };
  // Posts the packet's message; false when it could not (the packet is freed).
  using PostFn = std::function<bool(const Packet& packet)>;

  explicit PacketPump(PostFn post, size_t maxInFlight = 4, size_t maxPerPacket = 4096, size_t maxBacklog = 100000,
                      size_t coalesceInFlight = 2);
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
  size_t maxInFlight_, maxPerPacket_, maxBacklog_, coalesceInFlight_;
  mutable std::mutex mutex_;
  std::vector<TQuoteReport> backlog_;
  std::map<const void*, Entry> inFlight_;
  bool abandoned_ = false;
  uint64_t posted_ = 0;
};

}  // namespace engine
