// The quote engine's hot path. Parse: the services' own answers (850
// comma-format and 900 tilde-format records, ../shared/data/real_quotes),
// an 800-security comma-format answer and a 60-security tilde-format answer
// as the stand-in writes them, into reports, each beside a plain scan of
// the same bytes for the line ends. Post: from the last byte of a poll's
// answer for 500 watched securities to the quote packet posted (parse,
// mapping to the program's codes, change filter, packet), beside the scan.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/fixed_text.h"
#include "engine/engine_core.h"
#include "engine/engine_packets.h"

namespace {

using engine::Format;

std::string Answer(Format format, int count, int tick) {
  std::string body;
  for (int i = 0; i < count; ++i) {
    quotes::TQuoteReport r{};
    r.quoteTime = 1796799600 + tick;
    base::WriteFixedText(r.name, "\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0");  // four GBK characters
    r.prevClose = r.open = 10.0f + static_cast<float>(i % 50) / 10;
    r.high = r.open + 0.3f, r.low = r.open - 0.2f;
    r.newestPrice = r.open + static_cast<float>((i + tick) % 7) / 100;
    r.volume = 1234500.0f + static_cast<float>(i);
    r.amount = r.volume * r.newestPrice;
    for (int l = 0; l < 3; ++l) {
      r.bidPrice[l] = r.newestPrice - 0.01f * static_cast<float>(l + 1);
      r.askPrice[l] = r.newestPrice + 0.01f * static_cast<float>(l + 1);
      r.bidVolume[l] = r.askVolume[l] = 10000.0f * static_cast<float>(l + 1);
    }
    engine::AppendAnswerLine(body, format, "sh" + std::to_string(600000 + i), r);
  }
  return body;
}

size_t LineEnds(const std::string& body) {
  size_t n = 0;
  for (const char* p = body.data(); (p = static_cast<const char*>(std::memchr(p, '\n', body.data() + body.size() - p)));
       ++p)
    ++n;
  return n;
}

// The same count looking at every byte in turn, one compare per byte, as a
// parser walking the bytes must: what touching each byte costs without
// memchr's wide compares. GCC -O2 keeps this loop scalar (one byte per
// turn, seen in the disassembly); a compiler that widened it would bring
// this baseline down towards the memchr one.
size_t LineEndsByteByByte(const std::string& body) {
  size_t n = 0;
  for (char c : body) n += c == '\n';
  return n;
}

// A whole answer as a service sent it; empty when the data is missing.
std::string RealAnswer(const char* name) {
  std::ifstream in(std::string(QV_REAL_QUOTES_DIR) + name, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

void ScanReal(benchmark::State& state, const char* name) {
  const std::string body = RealAnswer(name);
  if (body.empty()) state.SkipWithError("the recorded answer is missing");
  for (auto _ : state) benchmark::DoNotOptimize(LineEnds(body));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
void ParseReal(benchmark::State& state, Format format, const char* name, size_t records) {
  const std::string body = RealAnswer(name);
  if (body.empty()) state.SkipWithError("the recorded answer is missing");
  for (auto _ : state) {
    auto r = engine::ParseAnswer(format, body);
    if (r.quotes.size() != records || r.skipped) state.SkipWithError("not every record read");
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
  state.counters["records"] = static_cast<double>(records);
}
constexpr const char* kRealComma = "comma-answer-2022-11-22.txt";  // 850 records, 18 of unknown codes
constexpr const char* kRealTilde = "tilde-answer-2022-11-22.txt";  // 900 records
void BM_ScanRealComma850(benchmark::State& state) { ScanReal(state, kRealComma); }
void BM_ParseRealComma850(benchmark::State& state) { ParseReal(state, Format::Comma, kRealComma, 832); }
void BM_ScanRealTilde900(benchmark::State& state) { ScanReal(state, kRealTilde); }
void BM_ParseRealTilde900(benchmark::State& state) { ParseReal(state, Format::Tilde, kRealTilde, 900); }

void BM_ScanComma800(benchmark::State& state) {
  const std::string body = Answer(Format::Comma, 800, 0);
  for (auto _ : state) benchmark::DoNotOptimize(LineEnds(body));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
void BM_ByteScanComma800(benchmark::State& state) {
  const std::string body = Answer(Format::Comma, 800, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(body.data());  // the bytes may have changed: no count kept from the last round
    benchmark::DoNotOptimize(LineEndsByteByByte(body));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
void BM_ParseComma800(benchmark::State& state) {
  const std::string body = Answer(Format::Comma, 800, 0);
  for (auto _ : state) {
    auto r = engine::ParseComma(body);
    if (r.quotes.size() != 800) state.SkipWithError("not 800 reports");
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
void BM_ScanTilde60(benchmark::State& state) {
  const std::string body = Answer(Format::Tilde, 60, 0);
  for (auto _ : state) benchmark::DoNotOptimize(LineEnds(body));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
void BM_ByteScanTilde60(benchmark::State& state) {
  const std::string body = Answer(Format::Tilde, 60, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(body.data());
    benchmark::DoNotOptimize(LineEndsByteByByte(body));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
void BM_ParseTilde60(benchmark::State& state) {
  const std::string body = Answer(Format::Tilde, 60, 0);
  for (auto _ : state) {
    auto r = engine::ParseTilde(body);
    if (r.quotes.size() != 60) state.SkipWithError("not 60 reports");
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

// The engine's work between the answer's last byte and the posted packet,
// with every security changed since the last poll (the most work).
void BM_AnswerToPost500(benchmark::State& state) {
  const std::string answers[2] = {Answer(Format::Comma, 500, 0), Answer(Format::Comma, 500, 1)};
  std::vector<quotes::TStockLabel> labels(500);
  for (int i = 0; i < 500; ++i) {
    base::WriteFixedText(labels[static_cast<size_t>(i)].code, std::to_string(600000 + i));
    labels[static_cast<size_t>(i)].market = quotes::kMarketShanghai;
  }
  engine::ReportFilter filter;
  filter.SetLabels(labels.data(), 499);
  size_t posted = 0;
  const void* last = nullptr;
  engine::PacketPump pump([&](const engine::PacketPump::Packet& p) {
    posted += static_cast<size_t>(p.header.count);
    last = &p.header;
    return true;
  });
  std::vector<quotes::TQuoteReport> out, newest;
  int tick = 0;
  for (auto _ : state) {
    const std::string& body = answers[tick++ & 1];
    out.clear();
    newest.clear();
    auto parsed = engine::ParseComma(body);
    filter.Absorb(parsed.quotes, std::chrono::steady_clock::now(), std::chrono::milliseconds(20000), out, newest);
    pump.Add(out.data(), out.size());
    state.PauseTiming();
    if (out.size() != 500) state.SkipWithError("not 500 reports posted");
    pump.Release(last);  // the program has handled the packet
    state.ResumeTiming();
  }
  state.counters["posted"] = static_cast<double>(posted);
}
void BM_ScanAnswer500(benchmark::State& state) {
  const std::string body = Answer(Format::Comma, 500, 0);
  for (auto _ : state) benchmark::DoNotOptimize(LineEnds(body));
}

BENCHMARK(BM_ScanRealComma850);
BENCHMARK(BM_ParseRealComma850);
BENCHMARK(BM_ScanRealTilde900);
BENCHMARK(BM_ParseRealTilde900);
BENCHMARK(BM_ScanComma800);
BENCHMARK(BM_ByteScanComma800);
BENCHMARK(BM_ParseComma800);
BENCHMARK(BM_ScanTilde60);
BENCHMARK(BM_ByteScanTilde60);
BENCHMARK(BM_ParseTilde60);
BENCHMARK(BM_ScanAnswer500);
BENCHMARK(BM_AnswerToPost500);

}  // namespace

BENCHMARK_MAIN();
