// The policy store is read at every start from a file that may have been cut
// short or damaged: any bytes must load, every loaded monitor must be
// stopped, and a save must give back exactly the whole records it loaded.
#include <cstddef>
#include <cstdint>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "policy/unt_monitorloop.h"
#include "policy/unt_policy.h"
#include "policy/unt_policy_describe.h"

namespace {

class NullHost : public policy::IMonitorHost {
 public:
  base::TDateTime Now() override { return 41047.4375; }  // 2012-05-18 10:30, a Friday
  base::TDateTime MarketNow() override { return 41047.4375; }
  void PlaySound(const std::string&, bool) override {}
  bool BlockInput(bool) override { return false; }
  void ShowBalloon(const std::string&, const std::string&) override {}
  void EnableMainWindow(bool) override {}
  void PlaceOrder(policy::TTradeRecord) override {}
  void RebuildMonitorList() override {}
  void MinimizeTradingWindow() override {}
  void RequestQuote(const std::string&, quotes::TQuoteReport& out) override { out.newestPrice = 1.5f; }
  void BroadcastTradeLine(const std::string&, const std::string&) override {}
};

// The bytes go through a store file, read as the program reads it at start.
struct StoreFile {
  std::string path =
      (std::filesystem::temp_directory_path() / ("qv-fuzz-policy-" + std::to_string(::getpid()) + ".tmp")).string();
  ~StoreFile() { std::remove(path.c_str()); }
  bool Write(std::string_view bytes) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
  }
};
const StoreFile kStore;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto records = policy::ParsePolicyStore(bytes);
  if (records.size() != size / policy::kPolicyRecordSize) __builtin_trap();

  const size_t whole = records.size() * policy::kPolicyRecordSize;
  if (size != whole) {
    // A store that is not whole records is refused as a whole, never cut.
    if (!kStore.Write(bytes)) return 0;
    policy::TPolicyList refused;
    if (refused.LoadStore(kStore.path).ok || !refused.Snapshot().empty()) __builtin_trap();
  }
  if (!kStore.Write(bytes.substr(0, whole))) return 0;
  policy::TPolicyList list;
  const policy::StoreLoadResult loaded = list.LoadStore(kStore.path);
  if (!loaded.ok || loaded.records != records.size()) __builtin_trap();
  const std::string saved = list.StoreBytes();
  if (saved.size() != records.size() * policy::kPolicyRecordSize) __builtin_trap();
  for (size_t i = 0; i < records.size(); ++i) {
    // Only the state and the fired flag differ from what was stored.
    if (saved[i * 673 + 56] != policy::kStateStopped || saved[i * 673 + 57] != 0) __builtin_trap();
    if (std::memcmp(saved.data() + i * 673, bytes.data() + i * 673, 56) != 0) __builtin_trap();
    if (std::memcmp(saved.data() + i * 673 + 58, bytes.data() + i * 673 + 58, 673 - 58) != 0) __builtin_trap();
  }

  // Whatever the fields hold, the texts, the labels and a full pass of the
  // monitor loop over each monitor's own code must be safe.
  list.PublishLabels();
  list.NextId();
  app::ProcessFlags flags;
  flags.loggedIn = true;  // trigger records are formatted and appended to nowhere
  NullHost host;
  policy::MonitorOptions options;
  options.tradeLogPath = "/dev/null";
  policy::TMonitorLoop loop(list, flags, host, options);
  list.StartOrStopAll(true);
  for (const auto& r : records) {
    (void)policy::Describe(r);
    (void)policy::ShortKindText(r);
    (void)policy::MonitorBalloonText(r);
    quotes::TQuoteReport report{};
    std::memcpy(report.code, r.code, sizeof report.code);
    std::memcpy(&report.newestPrice, &r.setPrice, sizeof(float));
    report.quoteTime = 1337308200;  // the host's clock in Beijing: a live trade
    loop.Run(report);
  }
  // Loaded monitors share their block; removing them one by one, with an
  // added one among them, must release it only with the last.
  list.Add(records.empty() ? policy::NewPolicyRecord() : records.front());
  for (const auto& r : records) list.Remove(r.id);
  (void)list.StoreBytes();
  return 0;
}
