// Parse time of the plug-in's XML document on a 1 MB profile-like file,
// beside pugixml parsing the same bytes in the same run. Two pugixml
// baselines: its minimal mode, which does the same work (no entity or
// line-end processing), and its default mode. The ratios are printed last.
#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "plugin/collection/clibverify.h"
#include "plugin/litexml/xml.h"

namespace {

// A host profile grown to about 1 MB: sections of settings with GBK texts,
// the shape of KvOem.xml and of the user profiles.
const std::string& ProfileBytes() {
  static const std::string bytes = [] {
    std::mt19937 rng(6);
    const auto hanzi = [&] {
      return std::string{static_cast<char>(0xB0 + rng() % 0x48), static_cast<char>(0xA1 + rng() % 0x5E)};
    };
    std::string out = "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<ProfileOfOEM>\r\n";
    for (int section = 0; out.size() < 1024 * 1024; ++section) {
      out += "  <Section" + std::to_string(section) + " Name=\"";
      for (int i = 0; i < 4; ++i) out += hanzi();
      out += "\" Enabled=\"YES\">\r\n";
      for (int item = 0; item < 12; ++item) {
        out += "    <Item" + std::to_string(item) + " Key=\"key" + std::to_string(rng() % 1000) + "\" Val=\"" +
               std::to_string(rng() % 100000) + "\" Desc=\"";
        for (int i = 0; i < 6; ++i) out += hanzi();
        out += "\"/>\r\n";
      }
      out += "    <Note>";
      for (int i = 0; i < 10; ++i) out += hanzi();
      out += " note text</Note>\r\n  </Section" + std::to_string(section) + ">\r\n";
    }
    out += "</ProfileOfOEM>\r\n";
    return out;
  }();
  return bytes;
}

void BM_Litexml(benchmark::State& state) {
  const std::string& bytes = ProfileBytes();
  litexml::CXmlDocument doc("ProfileOfOEM", 936);
  for (auto _ : state) {
    if (!doc.LoadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()), 936)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(doc.GetFirstChild(nullptr));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void Pugixml(benchmark::State& state, unsigned flags) {
  const std::string& bytes = ProfileBytes();
  pugi::xml_document doc;
  for (auto _ : state) {
    if (!doc.load_buffer(bytes.data(), bytes.size(), flags, pugi::encoding_utf8)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(doc.first_child());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_PugixmlMinimal(benchmark::State& state) { Pugixml(state, pugi::parse_minimal | pugi::parse_declaration); }
void BM_PugixmlDefault(benchmark::State& state) { Pugixml(state, pugi::parse_default | pugi::parse_declaration); }

// Repeated and interleaved (see main), so that a busy machine slows all
// three alike; the medians are compared.
BENCHMARK(BM_Litexml)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_PugixmlMinimal)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_PugixmlDefault)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

// Keeps each benchmark's median CPU time per iteration for the closing
// ratios (less disturbed than wall time on a shared machine).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (!run.error_occurred && (median || run.run_type == Run::RT_Iteration))
        times[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("document: %zu bytes\n", ProfileBytes().size());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.times;
  if (t.count("BM_Litexml") && t.count("BM_PugixmlMinimal") && t.count("BM_PugixmlDefault")) {
    std::printf("median CPU times: litexml %.3f ms, pugixml minimal %.3f ms, pugixml default %.3f ms\n", t.at("BM_Litexml"),
                t.at("BM_PugixmlMinimal"), t.at("BM_PugixmlDefault"));
    std::printf("ratio litexml/pugixml minimal: %.2f\n", t.at("BM_Litexml") / t.at("BM_PugixmlMinimal"));
    std::printf("ratio litexml/pugixml default: %.2f\n", t.at("BM_Litexml") / t.at("BM_PugixmlDefault"));
  }
  benchmark::Shutdown();
  return 0;
}
