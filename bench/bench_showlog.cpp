// Loading a trade log of 100,000 trigger lines into the viewer (and filling
// the first screen of cells, as the owner-data list asks for them), beside a
// plain read of the same bytes, and beside a line-by-line stream load that
// keeps every token as its own string.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <string>
#include <vector>

#include "app/unt_frmshowlog.h"
#include "base/datetime.h"
#include "base/files.h"
#include "base/gbk.h"
#include "policy/unt_monitorloop.h"
#include "policy/unt_policy.h"

namespace {

constexpr int kLines = 100000;
constexpr int kScreenRows = 40;

struct NoUi : app::IShowLogUi {
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowInformation(const std::string&, const std::string&) override {}
  void CloseWindow() override {}
};

// An application folder with log/trade.log as the monitor loop writes it.
class TradeLogFolder {
 public:
  TradeLogFolder() {
    folder_ = std::filesystem::temp_directory_path() / ("qv-bench-showlog-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_ / "log");
    std::string bytes;
    policy::TPolicyRecord m = policy::NewPolicyRecord();
    policy::SetName(m, "浦发银行");
    m.kind = policy::kKindPayoff;
    m.quantity = 1000;
    policy::SetDescription(m, "最高价回落0.500元时卖出1000股");
    quotes::TQuoteReport report{};
    for (int i = 0; i < kLines; ++i) {
      policy::TTradeRecord order;
      order.tradeType = i % 2 ? policy::kTradeBuy : policy::kTradeSell;
      char code[16];
      std::snprintf(code, sizeof code, "%06d", 600000 + i % 1000);
      order.code = code;
      order.name = "浦发银行";
      order.buyPrice = order.sellPrice = "10.098";
      report.newestPrice = 10.0f + static_cast<float>(i % 100) / 100.0f;
      const base::TDateTime at = base::EncodeDateTime(2012, 5, 18, 9, 30, 0) + i / 86400.0;
      bytes += base::Utf8ToGbkLossy(policy::TradeLogLine(order, report, m, "u1001", at) + "\r\n");
    }
    base::AtomicReplace(Path(), bytes);
    bytes_ = bytes.size();
  }
  ~TradeLogFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  std::string Folder() const { return base::PathToUtf8(folder_); }
  std::string Path() const { return base::PathToUtf8(folder_ / "log" / "trade.log"); }
  size_t Bytes() const { return bytes_; }

 private:
  std::filesystem::path folder_;
  size_t bytes_ = 0;
};

TradeLogFolder& Log() {
  static TradeLogFolder log;
  return log;
}

void BM_PlainRead(benchmark::State& state) {
  for (auto _ : state) {
    auto bytes = base::ReadFileBytes(Log().Path());
    benchmark::DoNotOptimize(bytes->data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Log().Bytes()));
  state.SetLabel("baseline: read the 100,000-line file");
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

void BM_ViewerShow(benchmark::State& state) {
  app::DiskShowLogFiles files;
  NoUi ui;
  app::Tfrmshowlog form(Log().Folder(), files, ui);
  size_t cells = 0;
  for (auto _ : state) {
    form.FormShow();
    for (int r = 0; r < kScreenRows; ++r)
      for (int c = 0; c < app::kShowLogColumnCount; ++c) cells += form.CellText(static_cast<size_t>(r), c).size();
  }
  benchmark::DoNotOptimize(cells);
  if (form.RowCount() != static_cast<size_t>(kLines)) state.SkipWithError("rows missing");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Log().Bytes()));
  state.SetLabel("viewer: read, tokenise 100,000 rows, fill one screen");
}
BENCHMARK(BM_ViewerShow)->Unit(benchmark::kMillisecond);

// For reference: the obvious way, a stream read line by line and a string
// per token.
void BM_StreamLinesAndStrings(benchmark::State& state) {
  for (auto _ : state) {
    std::ifstream in(base::PathFromUtf8(Log().Path()), std::ios::binary);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
      if (!app::IsTradeTriggerLine(line)) continue;
      rows.push_back(app::TradeLogTokens(line));
    }
    benchmark::DoNotOptimize(rows.data());
    if (rows.size() != static_cast<size_t>(kLines)) state.SkipWithError("rows missing");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Log().Bytes()));
  state.SetLabel("reference: getline + vector<string> per row");
}
BENCHMARK(BM_StreamLinesAndStrings)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
