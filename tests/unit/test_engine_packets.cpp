// The quote engine's packets for the program's window: how many are in
// flight, how the backlog is batched and bounded, and what Abandon frees.
#include <gtest/gtest.h>

#include <vector>

#include "base/fixed_text.h"
#include "engine/engine_packets.h"

namespace {

using quotes::TQuoteReport;

}  // namespace

// Packets handed to the window: never more than the limit in flight; what
// arrives meanwhile goes out together, in order; with two packets waiting
// to be handled the backlog keeps only the newest report of each code (one
// waiting: everything is kept); abandoned packets are freed except the one
// being handled, which goes with its release.
TEST(EnginePacketPump, BoundsPacketsInFlightAndBatchesTheBacklog) {
  std::vector<const engine::PacketPump::Packet*> posted;
  engine::PacketPump pump(
      [&](const engine::PacketPump::Packet& p) {
        posted.push_back(&p);
        return true;
      },
      2, 100, 6);
  auto report = [](const char* code, float price) {
    TQuoteReport r{};
    base::WriteFixedText(r.code, code);
    r.newestPrice = price;
    return r;
  };
  auto one = report("600000", 1);
  pump.Add(&one, 1);
  pump.Add(&one, 1);
  std::vector<TQuoteReport> more = {report("600000", 2), report("000001", 3), report("600000", 4)};
  pump.Add(more.data(), more.size());
  EXPECT_EQ(posted.size(), 2u);
  EXPECT_EQ(pump.InFlight(), 2u);
  EXPECT_EQ(pump.Backlog(), 2u);  // 600000 at 2 gave way to 600000 at 4
  const auto* first = posted[0];
  auto packet = quotes::ReadPacket(&first->header);
  EXPECT_EQ(packet.count, 1);
  EXPECT_EQ(first->header.dataKind, static_cast<int32_t>(quotes::kQuotePacketKind));

  pump.Handling(first);
  pump.Release(first);  // the two waiting go out in one packet
  ASSERT_EQ(posted.size(), 3u);
  packet = quotes::ReadPacket(&posted[2]->header);
  ASSERT_EQ(packet.count, 2);
  EXPECT_EQ(packet.At(0).newestPrice, 3.0f);
  EXPECT_EQ(packet.At(1).newestPrice, 4.0f);
  EXPECT_EQ(pump.InFlight(), 2u);

  // The newest of each code, in their order.
  std::vector<TQuoteReport> flood;
  for (int i = 0; i < 7; ++i) flood.push_back(report(i % 2 ? "000001" : "600000", 10.0f + i));
  pump.Add(flood.data(), flood.size());
  EXPECT_EQ(pump.Backlog(), 2u);

  pump.Handling(posted[1]);
  pump.Abandon();
  EXPECT_TRUE(pump.Owns(posted[1]));  // still being handled
  EXPECT_FALSE(pump.Owns(posted[2]));
  EXPECT_EQ(pump.Backlog(), 0u);
  pump.Release(posted[1]);
  EXPECT_EQ(pump.InFlight(), 0u);
  pump.Add(&one, 1);
  EXPECT_EQ(posted.size(), 3u);  // nothing posted until resumed
  pump.Resume();
  pump.Add(&one, 1);
  EXPECT_EQ(posted.size(), 4u);

  // One packet waiting: the backlog keeps every report.
  size_t single = 0;
  engine::PacketPump one_at_a_time([&](const engine::PacketPump::Packet&) { return ++single, true; }, 1);
  one_at_a_time.Add(more.data(), 1);
  one_at_a_time.Add(more.data(), more.size());
  EXPECT_EQ(single, 1u);
  EXPECT_EQ(one_at_a_time.Backlog(), 3u);
}
