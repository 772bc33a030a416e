// The monitor loop's hot path: one quote packet of 5000 reports against
// 1000 running monitors over 500 codes, beside the cost of merely copying
// the packet's bytes; and saving and loading a store of 10,000 monitors
// beside a plain write and read of the same bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/files.h"
#include "base/fixed_text.h"
#include "policy/unt_monitorloop.h"
#include "policy/unt_policy.h"
#include "policy/unt_policy_trigger.h"

namespace {

constexpr int kReports = 5000;
constexpr int kMonitors = 1000;
constexpr int kCodes = 500;

class QuietHost : public policy::IMonitorHost {
 public:
  base::TDateTime Now() override { return base::EncodeDateTime(2012, 5, 18, 10, 0, 0); }
  void PlaySound(const std::string&, bool) override {}
  bool BlockInput(bool) override { return true; }
  void ShowBalloon(const std::string&, const std::string&) override {}
  void EnableMainWindow(bool) override {}
  void PlaceOrder(policy::TTradeRecord) override { ++orders; }
  void RebuildMonitorList() override {}
  void MinimizeTradingWindow() override {}
  void RequestQuote(const std::string&, quotes::TQuoteReport&) override {}
  void BroadcastTradeLine(const std::string&, const std::string&) override {}
  int orders = 0;
};

std::string Code(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%06d", 600000 + i);
  return buf;
}

// Monitors of every kind and direction whose rules the bench prices
// (between 10 and 11) never meet, so that every report does the full work
// of testing and tracking without firing.
policy::TPolicyRecord BenchMonitor(int i) {
  policy::TPolicyRecord m = policy::NewPolicyRecord();
  m.id = i;
  policy::SetCode(m, Code(i % kCodes));
  m.market = quotes::kMarketShanghai;
  m.state = policy::kStateRunning;
  m.changeAmount = 0.5f;
  m.changeUnit = policy::kUnitYuan;
  m.quantity = 100;
  m.optUnit = policy::kOptUnitPerMille;
  m.optAmount = 10;
  struct Shape {
    uint8_t kind, direction;
    float setPrice;
  };
  static const Shape shapes[] = {{1, 2, 100}, {2, 1, 100}, {2, 2, 1}, {2, 3, 100}, {2, 4, 1},
                                 {4, 0, 20},  {5, 2, 1},   {6, 4, 1}, {7, 1, 100}, {7, 2, 1}};
  const Shape& s = shapes[i % 10];
  m.kind = s.kind;
  m.direction = s.direction;
  m.setPrice = s.setPrice;
  m.orderTime = base::EncodeTime(3, 0, 0);
  return m;
}

// A packet as the engine posts it: the packet header and its reports.
struct Packet {
  std::vector<unsigned char> reports;
  quotes::TQuotePacket header{};
  Packet() {
    reports.resize(kReports * quotes::kQuoteReportSize);
    for (int i = 0; i < kReports; ++i) {
      quotes::TQuoteReport r{};
      r.recordSize = sizeof r;
      r.market = quotes::kMarketShanghai;
      base::WriteFixedText(r.code, Code(i % kCodes));
      r.newestPrice = 10.0f + static_cast<float>(i % 97) / 100.0f;
      base::StoreRecord(reports.data() + i * quotes::kQuoteReportSize, r);
    }
    header.count = kReports;
    header.firstReport = reports.data();
  }
};

void Fill(policy::TPolicyList& list, int n) {
  for (int i = 0; i < n; ++i) list.Add(BenchMonitor(i));
}

void BM_CopyPacketBytes(benchmark::State& state) {
  Packet packet;
  std::vector<unsigned char> copy(packet.reports.size());
  for (auto _ : state) {
    const quotes::PacketReports reports = quotes::ReadPacket(&packet.header);
    std::memcpy(copy.data(), reports.first, static_cast<size_t>(reports.count) * quotes::kQuoteReportSize);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kReports);
  state.SetLabel("baseline: copy 5000 reports");
}
BENCHMARK(BM_CopyPacketBytes)->Unit(benchmark::kMicrosecond);

void BM_MonitorLoopPacket(benchmark::State& state) {
  Packet packet;
  policy::TPolicyList list;
  Fill(list, kMonitors);
  app::ProcessFlags flags;
  QuietHost host;
  policy::MonitorOptions options;
  policy::TMonitorLoop loop(list, flags, host, options);
  for (auto _ : state) {
    const quotes::PacketReports reports = quotes::ReadPacket(&packet.header);
    for (int32_t i = 0; i < reports.count; ++i) loop.Run(reports.At(i));
  }
  if (host.orders != 0) state.SkipWithError("a bench monitor fired");
  state.SetItemsProcessed(state.iterations() * kReports);
  state.SetLabel("5000 reports x 1000 running monitors / 500 codes");
}
BENCHMARK(BM_MonitorLoopPacket)->Unit(benchmark::kMicrosecond);

// For reference: the same pass testing every monitor against every report.
void BM_LinearScanPacket(benchmark::State& state) {
  Packet packet;
  policy::TPolicyList list;
  Fill(list, kMonitors);
  const policy::LocalClock clock = [] { return base::EncodeDateTime(2012, 5, 18, 10, 0, 0); };
  for (auto _ : state) {
    const quotes::PacketReports reports = quotes::ReadPacket(&packet.header);
    auto lock = list.Lock();
    for (int32_t i = 0; i < reports.count; ++i) {
      const quotes::TQuoteReport r = reports.At(i);
      for (size_t k = 0; k < list.CountLocked(); ++k) benchmark::DoNotOptimize(policy::TestPolicy(r, list.AtLocked(k), clock));
    }
  }
  state.SetItemsProcessed(state.iterations() * kReports);
  state.SetLabel("reference: every monitor per report");
}
BENCHMARK(BM_LinearScanPacket)->Unit(benchmark::kMicrosecond);

struct StoreFiles {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "qv-bench-store";
  StoreFiles() { std::filesystem::create_directories(dir); }
  ~StoreFiles() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string File(const char* name) const { return base::PathToUtf8(dir / name); }
};

void BM_StoreSave10000(benchmark::State& state) {
  StoreFiles files;
  policy::TPolicyList list;
  Fill(list, 10000);
  const std::string path = files.File("policy.tmp");
  for (auto _ : state) {
    if (!list.SaveStore(path).ok) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(state.iterations() * 10000 * 673);
  state.SetLabel("atomic replace, flushed to disk");
}
BENCHMARK(BM_StoreSave10000)->Unit(benchmark::kMillisecond);

void BM_PlainWrite10000(benchmark::State& state) {
  StoreFiles files;
  policy::TPolicyList list;
  Fill(list, 10000);
  const std::string bytes = list.StoreBytes();
  const std::string path = files.File("plain.tmp");
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  state.SetBytesProcessed(state.iterations() * 10000 * 673);
  state.SetLabel("baseline: plain write, not flushed");
}
BENCHMARK(BM_PlainWrite10000)->Unit(benchmark::kMillisecond);

// A saved store of n monitors.
std::string SavedStore(const StoreFiles& files, int n) {
  const std::string path = files.File("policy.tmp");
  policy::TPolicyList list;
  Fill(list, n);
  list.SaveStore(path);
  return path;
}

void BM_StoreLoad10000(benchmark::State& state) {
  StoreFiles files;
  const std::string path = SavedStore(files, 10000);
  for (auto _ : state) {
    policy::TPolicyList list;
    list.LoadStore(path);
    if (list.Count() != 10000) state.SkipWithError("load failed");
  }
  state.SetBytesProcessed(state.iterations() * 10000 * 673);
}
BENCHMARK(BM_StoreLoad10000)->Unit(benchmark::kMillisecond);

void BM_PlainRead10000(benchmark::State& state) {
  StoreFiles files;
  const std::string path = SavedStore(files, 10000);
  for (auto _ : state) benchmark::DoNotOptimize(base::ReadFileBytes(path));
  state.SetBytesProcessed(state.iterations() * 10000 * 673);
  state.SetLabel("baseline: read the bytes");
}
BENCHMARK(BM_PlainRead10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
