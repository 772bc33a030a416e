// The replay window's run: a synthetic day of 500 securities changing once
// every 3 s through both sessions (4800 reports each, 2.4 million in all)
// through 1000 monitors of every kind, prices kept for the chart, beside a
// plain pass over the same decoded reports (a copy of each, its price
// summed). One run each: the figure a user waits for.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

#include "base/datetime.h"
#include "base/fixed_text.h"
#include "policy/unt_policy.h"
#include "policy/unt_replay.h"
#include "quotes/quote_tape.h"

namespace {

constexpr int kCodes = 500;
constexpr int kMonitors = 1000;
constexpr int kStepSeconds = 3;

std::string Code(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%06d", 600000 + i);
  return buf;
}

// Every security moves by a cent or stays at each of its reports, from 10.
const std::vector<quotes::TapeLine>& Day() {
  static const std::vector<quotes::TapeLine> day = [] {
    std::vector<quotes::TapeLine> lines;
    lines.reserve(static_cast<size_t>(kCodes) * 4800);
    std::mt19937 random(20121218);
    std::vector<float> price(kCodes, 10.0f);
    // Seconds of the day from `from` to before `to`.
    const auto session = [&](int from, int to) {
      for (int second = from; second < to; second += kStepSeconds) {
        const base::TDateTime time =
            base::EncodeDateTime(2012, 12, 18, second / 3600, second / 60 % 60, second % 60);
        int32_t quoteTime = 0;
        quotes::LocalTimeToQuoteTime(2012, 12, 18, second / 3600, second / 60 % 60, second % 60, quoteTime);
        for (int c = 0; c < kCodes; ++c) {
          price[c] += static_cast<float>(static_cast<int>(random() % 3) - 1) * 0.01f;
          quotes::TapeLine& line = lines.emplace_back();
          line.time = time;
          quotes::TQuoteReport& r = line.report;
          r.recordSize = static_cast<uint16_t>(sizeof r);
          base::WriteFixedText(r.code, Code(c));
          r.market = quotes::kMarketShanghai;
          r.prevClose = r.open = 10.0f;
          r.high = r.low = r.newestPrice = price[c];
          r.quoteTime = quoteTime;
        }
      }
    };
    session(9 * 3600 + 30 * 60, 11 * 3600 + 30 * 60);
    session(13 * 3600, 15 * 3600);
    return lines;
  }();
  return day;
}

std::vector<policy::TPolicyRecord> Monitors() {
  struct Shape {
    uint8_t kind, direction;
    float setPrice, change;
  };
  static const Shape shapes[] = {{1, 0, 9.5f, 0.5f},  {2, 1, 11.0f, 0.5f}, {2, 2, 9.0f, 0.5f},
                                 {2, 3, 9.8f, 0.4f},  {2, 4, 10.2f, 0.4f}, {4, 0, 10.0f, 0},
                                 {5, 0, 9.0f, 0.2f},  {6, 0, 10.2f, 0.3f}, {1, 0, 9.9f, 0.3f},
                                 {2, 1, 10.3f, 0.1f}};
  std::vector<policy::TPolicyRecord> out;
  for (int i = 0; i < kMonitors; ++i) {
    policy::TPolicyRecord m = policy::NewPolicyRecord();
    m.id = i;
    policy::SetCode(m, Code(i % kCodes));
    policy::SetName(m, "浦发银行");
    m.market = quotes::kMarketShanghai;
    const Shape& s = shapes[i % 10];
    m.kind = s.kind;
    m.direction = s.direction;
    m.setPrice = s.setPrice;
    m.changeAmount = s.change;
    m.changeUnit = policy::kUnitYuan;
    m.tradeType = m.kind == policy::kKindLimitDown ? 1 : 2;
    m.quantity = 1000;
    m.optUnit = policy::kOptUnitPerMille;
    m.optAmount = 10;
    m.orderTime = base::EncodeTime(14, 30, 0);
    out.push_back(m);
  }
  return out;
}

void BM_PlainPass(benchmark::State& state) {
  const auto& day = Day();
  for (auto _ : state) {
    double sum = 0;
    for (const quotes::TapeLine& line : day) {
      quotes::TQuoteReport copy = line.report;
      benchmark::DoNotOptimize(copy);
      sum += copy.newestPrice;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["reports"] = static_cast<double>(day.size());
}

void BM_Replay(benchmark::State& state) {
  const auto& day = Day();
  const auto monitors = Monitors();
  size_t fired = 0;
  for (auto _ : state) {
    const policy::ReplayResult r = policy::ReplayMonitors(monitors, day, {});
    fired = 0;
    for (const auto& m : r.monitors) fired += m.fired;
    benchmark::DoNotOptimize(r.reports);
  }
  state.counters["reports"] = static_cast<double>(day.size());
  state.counters["monitors"] = kMonitors;
  state.counters["fired"] = static_cast<double>(fired);
}

}  // namespace

BENCHMARK(BM_PlainPass)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replay)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
