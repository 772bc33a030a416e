// The monitor loop's hot path: one quote packet of 5000 reports against
// 1000 running monitors over 500 codes, beside the cost of merely copying
// the packet's bytes; saving and loading a store of 10,000 monitors beside
// a plain write and read of the same bytes; and what the main window's
// rebuild takes from a list of 10,000 (one snapshot and the row texts)
// beside a plain copy of the records' bytes.
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
#include "policy/unt_policy_describe.h"
#include "policy/unt_policy_trigger.h"

namespace {

constexpr int kReports = 5000;
constexpr int kMonitors = 1000;
constexpr int kCodes = 500;

class QuietHost : public policy::IMonitorHost {
 public:
  base::TDateTime Now() override { return base::EncodeDateTime(2012, 5, 18, 10, 0, 0); }
  base::TDateTime MarketNow() override { return Now(); }
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
      r.quoteTime = 1337306400;  // 2012-05-18 10:00:00 in Beijing, the host's clock: live trades
      base::StoreRecord(reports.data() + i * quotes::kQuoteReportSize, r);
    }
    header.count = kReports;
    header.firstReport = reports.data();
  }
};

void Fill(policy::TPolicyList& list, int n) {
  for (int i = 0; i < n; ++i) list.Add(BenchMonitor(i));
}

// Monitors as a user's store holds them: a Chinese name and the sentence
// the editors write.
void FillNamed(policy::TPolicyList& list, int n) {
  for (int i = 0; i < n; ++i) {
    policy::TPolicyRecord m = BenchMonitor(i);
    policy::SetName(m, i % 3 == 0 ? "浦发银行" : i % 3 == 1 ? "ST中华A" : "PFYH");
    policy::UpdateDescription(m);
    list.Add(m);
  }
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
  std::vector<policy::TPolicyRecord> all = list.Snapshot();
  for (auto _ : state) {
    const quotes::PacketReports reports = quotes::ReadPacket(&packet.header);
    auto lock = list.Lock();
    for (int32_t i = 0; i < reports.count; ++i) {
      const quotes::TQuoteReport r = reports.At(i);
      for (auto& monitor : all) benchmark::DoNotOptimize(policy::TestPolicy(r, monitor, clock));
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
  FillNamed(list, 10000);
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
  FillNamed(list, 10000);
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
  FillNamed(list, n);
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

// The baseline reads with stdio alone, so that it does not move with the
// project's own file helpers.
void BM_PlainRead10000(benchmark::State& state) {
  StoreFiles files;
  const std::string path = SavedStore(files, 10000);
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    std::vector<char> bytes(static_cast<size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) state.SkipWithError("read failed");
    std::fclose(f);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * 10000 * 673);
  state.SetLabel("baseline: read the bytes");
}
BENCHMARK(BM_PlainRead10000)->Unit(benchmark::kMillisecond);

// What a rebuild of the main list takes from the monitor list: every record
// under one lock, then the texts of its seven columns.
void BM_ListRows10000(benchmark::State& state) {
  policy::TPolicyList list;
  FillNamed(list, 10000);
  for (auto _ : state) {
    const std::vector<policy::TPolicyRecord> rows = list.Snapshot();
    size_t chars = 0;
    char price[32];
    for (const policy::TPolicyRecord& r : rows) {
      chars += std::to_string(r.id).size();
      chars += policy::ShortKindText(r).size();
      chars += policy::CodeText(r).size();
      chars += policy::NameUtf8(r).size();
      chars += static_cast<size_t>(std::snprintf(price, sizeof price, "%.3f", static_cast<double>(r.setPrice)));
      chars += static_cast<size_t>(std::snprintf(price, sizeof price, "%.3f", static_cast<double>(r.newestPrice)));
      chars += policy::DescriptionUtf8(r).size();
    }
    benchmark::DoNotOptimize(chars);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
  state.SetLabel("snapshot + row texts; budget of a rebuild: 50 ms");
}
BENCHMARK(BM_ListRows10000)->Unit(benchmark::kMillisecond);

void BM_CopyRecords10000(benchmark::State& state) {
  policy::TPolicyList list;
  FillNamed(list, 10000);
  const std::string bytes = list.StoreBytes();
  for (auto _ : state) {
    std::vector<char> copy(bytes.begin(), bytes.end());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(state.iterations() * 10000 * 673);
  state.SetLabel("baseline: copy the records' bytes");
}
BENCHMARK(BM_CopyRecords10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
