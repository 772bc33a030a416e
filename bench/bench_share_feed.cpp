// Loading a share feed file of 50,000 posts at the main window's creation,
// beside a plain read of the same bytes. The load also cuts the file to the
// newest posts, so each round starts from the full file again (untimed).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "base/files.h"
#include "base/fixed_text.h"
#include "sharing/unt_showstockfeed.h"

namespace {

constexpr int kPosts = 50000;

struct NoHost : sharing::IShowStockFeedHost {
  bool SoundOn() override { return false; }
  void PlaySound(const std::string&) override {}
  void ShowBalloon(const std::string&, const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowDetail(const std::array<std::string, sharing::kFeedColumns>&) override {}
};

// An application folder whose data\showstock.tmp holds kPosts posts.
class FeedFolder {
 public:
  FeedFolder() {
    folder_ = std::filesystem::temp_directory_path() / ("qv-bench-feed-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_ / "data");
    for (int i = 0; i < kPosts; ++i) {
      sharing::TShowStockRecord p{};
      p.postTime = 1772415005 + i;
      base::WriteFixedUtf8(p.code, std::to_string(600000 + i % 1000));
      base::WriteFixedUtf8(p.name, "浦发银行");
      base::WriteFixedUtf8(p.buyPrice, "10.000");
      base::WriteFixedUtf8(p.setPrice, "12.000");
      base::WriteFixedUtf8(p.backAmount, "5.000%");
      base::WriteFixedUtf8(p.lossLimit, "9.000");
      base::WriteFixedUtf8(p.downAmount, "0.300元");
      base::WriteFixedUtf8(p.posterId, "trader01");
      base::WriteFixedUtf8(p.posterName, "王五");
      base::WriteFixedUtf8(p.remark, "突破前高，量能放大");
      bytes_.append(reinterpret_cast<const char*>(&p), sizeof p);
    }
    Restore();
  }
  ~FeedFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  void Restore() const { base::AtomicReplace(Path(), bytes_); }
  std::string Folder() const { return base::PathToUtf8(folder_) + "/"; }
  std::string Path() const { return base::PathToUtf8(folder_ / "data" / sharing::kFeedFile); }
  size_t Bytes() const { return bytes_.size(); }

 private:
  std::filesystem::path folder_;
  std::string bytes_;
};

FeedFolder& Feed() {
  static FeedFolder feed;
  return feed;
}

void BM_PlainRead(benchmark::State& state) {
  Feed().Restore();
  for (auto _ : state) {
    auto bytes = base::ReadFileBytes(Feed().Path());
    benchmark::DoNotOptimize(bytes->data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Feed().Bytes()));
  state.SetLabel("baseline: read the 50,000-post file");
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

void BM_LoadFeed(benchmark::State& state) {
  NoHost host;
  size_t rows = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Feed().Restore();
    sharing::TShowStockFeed feed(Feed().Folder(), host);
    state.ResumeTiming();
    feed.LoadFeed();
    rows = feed.RowCount();
    benchmark::DoNotOptimize(rows);
  }
  if (rows == 0) state.SkipWithError("no rows");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Feed().Bytes()));
  state.SetLabel("LoadFeed of the 50,000-post file: " + std::to_string(rows) + " rows shown");
}
BENCHMARK(BM_LoadFeed)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
