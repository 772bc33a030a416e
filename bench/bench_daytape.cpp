// Day tapes: what recording costs the GUI thread per report (the recorder's
// Record, its worker writing meanwhile) beside a plain copy of the report
// into a vector; and the size of a whole day of 20 watched securities, one
// change every 3 s through both sessions (4 hours, 96,000 reports), written
// in blocks as the recorder writes them, with its read-back time beside a
// plain pass over the same reports.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/datetime.h"
#include "base/files.h"
#include "quotes/quote_tape.h"
#include "quotes/unt_daytape.h"
#include "quotes/unt_taperecorder.h"

namespace {

constexpr int kSecurities = 20;
constexpr int kSecondsPerChange = 3;
constexpr int kSessionSeconds = 4 * 3600;

// A day as an engine reports it: each security's price walks by a tick or
// two, volume and amount grow, the five levels of the book follow the price
// and about half their volumes change from one report to the next.
std::vector<quotes::TQuoteReport> SyntheticDay() {
  std::mt19937 random(20121218);
  std::vector<quotes::TQuoteReport> state(kSecurities);
  for (int s = 0; s < kSecurities; ++s) {
    quotes::TQuoteReport& q = state[s];
    std::memset(&q, 0, sizeof q);
    q.recordSize = sizeof q;
    q.market = quotes::kMarketShanghai;
    std::snprintf(q.code, sizeof q.code, "%06d", 600000 + s);
    std::snprintf(q.name, sizeof q.name, "\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0%02d", s);  // GBK text
    q.prevClose = q.open = q.high = q.low = q.newestPrice = 5.0f + static_cast<float>(s);
  }
  int32_t start = 0;
  quotes::LocalTimeToQuoteTime(2012, 12, 18, 9, 30, 0, start);
  std::vector<quotes::TQuoteReport> day;
  day.reserve(kSecurities * kSessionSeconds / kSecondsPerChange);
  std::uniform_int_distribution<int> ticks(-2, 2), lots(1, 200), half(0, 1);
  for (int t = 0; t < kSessionSeconds; t += kSecondsPerChange) {
    for (int s = 0; s < kSecurities; ++s) {
      quotes::TQuoteReport& q = state[s];
      // Beijing time, the lunch break left out.
      q.quoteTime = start + t + (t >= 2 * 3600 ? 90 * 60 : 0) + s % kSecondsPerChange;
      const int cents = static_cast<int>(q.newestPrice * 100.0f + 0.5f) + ticks(random);
      q.newestPrice = static_cast<float>(std::max(cents, 1)) / 100.0f;
      q.high = std::max(q.high, q.newestPrice);
      q.low = std::min(q.low, q.newestPrice);
      const float traded = static_cast<float>(lots(random) * 100);
      q.volume += traded;
      q.amount += traded * q.newestPrice;
      for (int level = 0; level < 3; ++level) {
        q.bidPrice[level] = q.newestPrice - 0.01f * static_cast<float>(level + 1);
        q.askPrice[level] = q.newestPrice + 0.01f * static_cast<float>(level);
        if (half(random)) q.bidVolume[level] = static_cast<float>(lots(random) * 100);
        if (half(random)) q.askVolume[level] = static_cast<float>(lots(random) * 100);
      }
      q.bidPrice4 = q.newestPrice - 0.04f, q.bidPrice5 = q.newestPrice - 0.05f;
      q.askPrice4 = q.newestPrice + 0.03f, q.askPrice5 = q.newestPrice + 0.04f;
      if (half(random)) q.bidVolume4 = static_cast<float>(lots(random) * 100);
      if (half(random)) q.bidVolume5 = static_cast<float>(lots(random) * 100);
      if (half(random)) q.askVolume4 = static_cast<float>(lots(random) * 100);
      if (half(random)) q.askVolume5 = static_cast<float>(lots(random) * 100);
      day.push_back(q);
    }
  }
  return day;
}

const std::vector<quotes::TQuoteReport>& Day() {
  static const std::vector<quotes::TQuoteReport> day = SyntheticDay();
  return day;
}

// The day's file as the recorder writes it with a block every `seconds`.
std::string DayFile(int seconds) {
  const auto& day = Day();
  const size_t perBlock = static_cast<size_t>(kSecurities * seconds / kSecondsPerChange);
  std::string file = quotes::DayTapeHeader(20121218);
  quotes::DayTapeEncoder encoder;
  for (size_t i = 0; i < day.size(); i += perBlock)
    file += encoder.EncodeBlock(day.data() + i, std::min(perBlock, day.size() - i));
  return file;
}

std::string TempFolder() {
  const auto folder = std::filesystem::temp_directory_path() / ("qv-bench-daytape-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  return base::PathToUtf8(folder) + "/";
}

// Baseline: the least the GUI thread could do, one copy into memory.
void BM_CopyReportBaseline(benchmark::State& state) {
  const auto& day = Day();
  std::vector<quotes::TQuoteReport> sink;
  sink.reserve(day.size());
  size_t i = 0;
  for (auto _ : state) {
    sink.push_back(day[i]);
    if (++i == day.size()) i = 0, sink.clear();
    benchmark::DoNotOptimize(sink.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyReportBaseline);

// Record as the quote handler calls it, while the worker filters, deflates
// and appends what it takes. The loop records far faster than any engine
// delivers, so it lets the worker catch up (untimed) now and then rather
// than fill the queue to its bound, where reports would be dropped.
void BM_RecordOnGuiThread(benchmark::State& state) {
  const auto& day = Day();
  const std::string folder = TempFolder();
  size_t faults = 0;
  {
    quotes::TDayTapeRecorder::Options options;
    options.folder = folder;
    options.watchedCodes = [] {
      std::vector<std::string> codes;
      for (int s = 0; s < kSecurities; ++s) codes.push_back(std::to_string(600000 + s));
      return codes;
    };
    options.marketClock = [] { return base::EncodeDateTime(2012, 12, 18, 10, 0, 0); };
    options.report = [&](const std::string&) { ++faults; };
    quotes::TDayTapeRecorder recorder(options);
    size_t i = 0, sinceFlush = 0;
    for (auto _ : state) {
      recorder.Record(day[i]);
      if (++i == day.size()) i = 0;
      if (++sinceFlush == 100000) {
        state.PauseTiming();
        recorder.Flush();
        sinceFlush = 0;
        state.ResumeTiming();
      }
    }
    recorder.Flush();
  }
  std::filesystem::remove_all(base::PathFromUtf8(folder));
  if (faults) state.SkipWithError("reports were dropped or not written");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordOnGuiThread);

// The size of the day, and reading it back beside a plain pass over the
// decoded reports.
void BM_DaySizeAndRead(benchmark::State& state) {
  const std::string file = DayFile(static_cast<int>(state.range(0)));
  size_t lines = 0;
  for (auto _ : state) {
    const quotes::DayTapeReadResult r = quotes::ReadDayTape(file);
    lines = r.lines.size();
    benchmark::DoNotOptimize(lines);
  }
  if (lines != Day().size()) state.SkipWithError("the day does not read back whole");
  state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
  state.counters["bytes_per_report"] = static_cast<double>(file.size()) / static_cast<double>(Day().size());
  state.counters["raw_MB"] = static_cast<double>(Day().size() * sizeof(quotes::TQuoteReport)) / 1e6;
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Day().size()));
}
// A block every 30 s (the recorder's interval) and more often.
BENCHMARK(BM_DaySizeAndRead)->Arg(3)->Arg(10)->Arg(15)->Arg(30)->Unit(benchmark::kMillisecond);

void BM_PlainPassBaseline(benchmark::State& state) {
  const auto& day = Day();
  for (auto _ : state) {
    float sum = 0;
    for (const auto& q : day) sum += q.newestPrice;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(day.size()));
}
BENCHMARK(BM_PlainPassBaseline)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
