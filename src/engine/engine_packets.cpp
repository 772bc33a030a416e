#include "engine_packets.h"

#include <algorithm>
#include <set>
#include <string_view>

namespace engine {

PacketPump::PacketPump(PostFn post, size_t maxInFlight, size_t maxPerPacket, size_t maxBacklog,
                       size_t coalesceInFlight)
    : post_(std::move(post)),
      maxInFlight_(std::max<size_t>(1, maxInFlight)),
      maxPerPacket_(std::max<size_t>(1, maxPerPacket)),
      maxBacklog_(std::max<size_t>(1, maxBacklog)),
      coalesceInFlight_(std::max<size_t>(1, coalesceInFlight)) {}

PacketPump::~PacketPump() = default;

void PacketPump::Add(const TQuoteReport* reports, size_t count) {
  std::lock_guard lock(mutex_);
  if (abandoned_) return;
  backlog_.insert(backlog_.end(), reports, reports + count);
  if (backlog_.size() > maxBacklog_ || (backlog_.size() > 1 && inFlight_.size() >= coalesceInFlight_)) {
    // The newest report of each code, in the order of those newest reports.
    std::set<std::string_view> seen;
    std::vector<TQuoteReport> kept;
    for (auto it = backlog_.rbegin(); it != backlog_.rend(); ++it)
      if (seen.insert(quotes::ReportCode(*it)).second) kept.push_back(*it);
    std::reverse(kept.begin(), kept.end());
    backlog_ = std::move(kept);
  }
  PostLocked();
}

void PacketPump::PostLocked() {
  while (!abandoned_ && !backlog_.empty() && inFlight_.size() < maxInFlight_) {
    auto packet = std::make_unique<Packet>();
    size_t n = std::min(backlog_.size(), maxPerPacket_);
    packet->reports.assign(backlog_.begin(), backlog_.begin() + static_cast<std::ptrdiff_t>(n));
    backlog_.erase(backlog_.begin(), backlog_.begin() + static_cast<std::ptrdiff_t>(n));
    packet->header.dataKind = static_cast<int32_t>(quotes::kQuotePacketKind);
    packet->header.count = static_cast<int32_t>(n);
    packet->header.firstReport = reinterpret_cast<const unsigned char*>(packet->reports.data());
    const void* key = &packet->header;
    // Registered before the post: the window may handle it at once.
    auto& entry = inFlight_[key];
    entry.packet = std::move(packet);
    if (post_(*entry.packet)) {
      ++posted_;
    } else {
      // The window does not take messages now: the reports wait for the next try.
      backlog_.insert(backlog_.begin(), entry.packet->reports.begin(), entry.packet->reports.end());
      inFlight_.erase(key);
      return;
    }
  }
}

bool PacketPump::Owns(const void* packet) const {
  std::lock_guard lock(mutex_);
  return inFlight_.count(packet) > 0;
}

void PacketPump::Handling(const void* packet) {
  std::lock_guard lock(mutex_);
  auto it = inFlight_.find(packet);
  if (it != inFlight_.end()) it->second.handling = true;
}

void PacketPump::Release(const void* packet) {
  std::lock_guard lock(mutex_);
  inFlight_.erase(packet);
  PostLocked();
}

void PacketPump::Abandon() {
  std::lock_guard lock(mutex_);
  abandoned_ = true;
  backlog_.clear();
  for (auto it = inFlight_.begin(); it != inFlight_.end();)
    it = it->second.handling ? std::next(it) : inFlight_.erase(it);
}

void PacketPump::Resume() {
  std::lock_guard lock(mutex_);
  abandoned_ = false;
}

size_t PacketPump::InFlight() const {
  std::lock_guard lock(mutex_);
  return inFlight_.size();
}

size_t PacketPump::Backlog() const {
  std::lock_guard lock(mutex_);
  return backlog_.size();
}

uint64_t PacketPump::PacketsPosted() const {
  std::lock_guard lock(mutex_);
  return posted_;
}

}  // namespace engine
