// The monitor list: its operations, the watched labels and the policy store.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "base/files.h"
#include "policy/unt_policy.h"
#include "policy/unt_policy_describe.h"
#include "support/policy_fixtures.h"
#include "support/temp_dir.h"

using namespace policy;
using testing_support::Monitor;
using testing_support::TempDir;

namespace {

class RecordingEngine : public quotes::IQuoteEngine {
 public:
  void Init(uintptr_t) override {}
  bool Start(const void*, int32_t, const std::string&) override { return true; }
  void SetLabels(const quotes::TStockLabel* labels, int32_t highest) override {
    calls++;
    lastPointer = labels;
    lastHighest = highest;
    last.assign(labels, labels ? labels + highest + 1 : labels);
  }
  bool GetStockInfo(const std::string&, const std::string&, int32_t, quotes::TQuoteReport&) override { return false; }
  void Quit(uintptr_t) override {}

  int calls = 0;
  const quotes::TStockLabel* lastPointer = nullptr;
  int32_t lastHighest = 99;
  std::vector<quotes::TStockLabel> last;
};

// A monitor that has fired, with its tracking fields set.
TPolicyRecord Triggered(int32_t id, const std::string& code, float high, float low) {
  TPolicyRecord m = Monitor(id, kKindLimitDown, code, 8.0f);
  m.state = kStateTriggered;
  m.fired = 1;
  m.crossed = 1;
  m.trailingHigh = high;
  m.trailingLow = low;
  return m;
}

std::string LabelCode(const quotes::TStockLabel& l) { return std::string(l.code, strnlen(l.code, sizeof l.code)); }

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(base::PathFromUtf8(path), std::ios::binary) << bytes;
}

}  // namespace

TEST(PolicyList, NextIdentifierIsOneAboveTheHighest) {
  TPolicyList list;
  EXPECT_EQ(list.NextId(), 0);
  list.Add(Monitor(7, kKindPayoff, "600000", 1));
  list.Add(Monitor(3, kKindPayoff, "600000", 1));
  EXPECT_EQ(list.NextId(), 8);
  list.Add(Monitor(-5, kKindPayoff, "600000", 1));
  EXPECT_EQ(list.NextId(), 8) << "signed comparison";
  TPolicyList negative;
  negative.Add(Monitor(-5, kKindPayoff, "600000", 1));
  EXPECT_EQ(negative.NextId(), -4);
}

TEST(PolicyList, AddCopiesAndKeepsInsertionOrder) {
  TPolicyList list;
  TPolicyRecord m = Monitor(2, kKindPayoff, "600000", 1);
  list.Add(m);
  m.id = 1;
  list.Add(m);
  m.id = 9;  // the caller's record is not the list's
  const auto all = list.Snapshot();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].id, 2);
  EXPECT_EQ(all[1].id, 1);
}

TEST(PolicyList, ReplaceOverwritesTheFirstMatchOnly) {
  TPolicyList list;
  list.Add(Monitor(1, kKindPayoff, "600000", 1));
  list.Add(Monitor(1, kKindPayoff, "600001", 1));
  TPolicyRecord changed = Monitor(1, kKindPrice, "000002", 5);
  list.Replace(changed);
  const auto all = list.Snapshot();
  EXPECT_EQ(std::memcmp(&all[0], &changed, sizeof changed), 0);
  EXPECT_EQ(CodeText(all[1]), "600001");
  changed.id = 42;
  list.Replace(changed);  // no such monitor: nothing
  EXPECT_EQ(list.Snapshot()[0].id, 1);
}

TEST(PolicyList, ChangeSetPriceRebuildsTheDescriptionAndNothingElse) {
  TPolicyList list;
  TPolicyRecord m = Monitor(1, kKindPayoff, "600000", 10.0f);
  m.priceBasis = kBasisOpen;
  UpdateDescription(m);
  list.Add(m);
  list.ChangeSetPrice(1, 10.01f);
  TPolicyRecord got = NewPolicyRecord();
  list.Copy(1, got);
  EXPECT_FLOAT_EQ(got.setPrice, 10.01f);
  EXPECT_EQ(got.priceBasis, kBasisOpen);
  EXPECT_EQ(DescriptionUtf8(got), "当高于设定价位10.010后回落0.500元且大于设定价时自动卖出1000股");
  got.setPrice = m.setPrice;
  std::memcpy(got.description, m.description, sizeof m.description);
  EXPECT_EQ(std::memcmp(&got, &m, sizeof m), 0);
}

TEST(PolicyList, StartAllClearsTheTrailingLowStartOneKeepsIt) {
  TPolicyList list;
  list.Add(Triggered(1, "600000", 9, 7));
  list.StartOrStopOne(false, 1);
  list.StartOrStopOne(true, 1);
  TPolicyRecord got = NewPolicyRecord();
  list.Copy(1, got);
  EXPECT_EQ(got.state, kStateRunning);
  EXPECT_EQ(got.fired, 0);
  EXPECT_EQ(got.crossed, 0);
  EXPECT_EQ(got.trailingHigh, 0.0f);
  EXPECT_FLOAT_EQ(got.trailingLow, 7.0f);
  list.StartOrStopAll(false);
  list.Copy(1, got);
  EXPECT_EQ(got.state, kStateStopped);
  EXPECT_EQ(got.trailingLow, 0.0f);
  EXPECT_FALSE(list.AnyRunning());
  list.StartOrStopAll(true);
  EXPECT_TRUE(list.AnyRunning());
}

TEST(PolicyList, RemoveAndCopyByIdentifier) {
  TPolicyList list;
  list.Add(Monitor(1, kKindPayoff, "600000", 1));
  list.Add(Monitor(2, kKindPayoff, "600001", 1));
  list.Remove(1);
  list.Remove(77);
  TPolicyRecord got = NewPolicyRecord();
  got.id = 5;
  list.Copy(1, got);
  EXPECT_EQ(got.id, -1) << "a missing monitor is reported as identifier -1";
  list.Copy(2, got);
  EXPECT_EQ(got.id, 2);
  list.RemoveAll();
  EXPECT_EQ(list.Count(), 0u);
}

TEST(PolicyList, TheLockIsReentrantAndSharedWithOtherThreads) {
  TPolicyList list;
  auto lock = list.Lock();
  list.Add(Monitor(1, kKindPayoff, "600000", 1));  // same thread: no deadlock
  bool added = false;
  std::thread other([&] {
    list.Add(Monitor(2, kKindPayoff, "600000", 1));
    added = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(list.CountLocked(), 1u) << "another thread waits for the lock";
  lock.unlock();
  other.join();
  EXPECT_TRUE(added);
  EXPECT_EQ(list.Count(), 2u);
}

TEST(WatchedLabels, EmptyListPublishesNullAndMinusOne) {
  RecordingEngine engine;
  TPolicyList list(&engine);
  list.PublishLabels();
  EXPECT_EQ(engine.calls, 1);
  EXPECT_EQ(engine.lastPointer, nullptr);
  EXPECT_EQ(engine.lastHighest, -1);
}

TEST(WatchedLabels, DistinctRunningSecuritiesFirstThenZeroEntries) {
  RecordingEngine engine;
  TPolicyList list(&engine);
  list.Add(Monitor(1, kKindPayoff, "600000", 1));
  list.Add(Monitor(2, kKindPrice, "600000", 1));  // same code and market: one label
  TPolicyRecord stopped = Monitor(3, kKindPayoff, "000001", 1);
  stopped.state = kStateStopped;
  list.Add(stopped);
  TPolicyRecord otherMarket = Monitor(4, kKindPayoff, "600000", 1);
  otherMarket.market = quotes::kMarketShenzhen;
  list.Add(otherMarket);
  list.PublishLabels();
  ASSERT_EQ(engine.last.size(), 4u) << "one entry per monitor";
  EXPECT_EQ(LabelCode(engine.last[0]), "600000");
  EXPECT_EQ(engine.last[0].market, quotes::kMarketShanghai);
  EXPECT_EQ(LabelCode(engine.last[1]), "600000");
  EXPECT_EQ(engine.last[1].market, quotes::kMarketShenzhen);
  const quotes::TStockLabel zero{};
  EXPECT_EQ(std::memcmp(&engine.last[2], &zero, sizeof zero), 0);
  EXPECT_EQ(std::memcmp(&engine.last[3], &zero, sizeof zero), 0);
  EXPECT_EQ(engine.lastHighest, 3);
}

TEST(WatchedLabels, ATenCharacterCodeIsTerminatedInTheLabel) {
  RecordingEngine engine;
  TPolicyList list(&engine);
  TPolicyRecord m = Monitor(1, kKindPayoff, "", 1);
  std::memcpy(m.code, "0123456789", 10);
  list.Add(m);
  list.PublishLabels();
  EXPECT_EQ(std::string(engine.last[0].code), "0123456789");
}

TEST(WatchedLabels, WithoutAnEngineTheListIsStillKept) {
  TPolicyList list;
  list.Add(Monitor(1, kKindPayoff, "600000", 1));
  list.PublishLabels();
  ASSERT_EQ(list.Labels().size(), 1u);
  EXPECT_EQ(LabelCode(list.Labels()[0]), "600000");
}

TEST(PolicyStore, RoundTripStopsEverythingAndKeepsTracking) {
  TempDir dir;
  const std::string path = dir.File("policy.tmp");
  TPolicyList list;
  TPolicyRecord running = Monitor(1, kKindPayoff, "600000", 10);
  const TPolicyRecord triggered = Triggered(2, "600001", 8.5f, 7.5f);
  list.Add(running);
  list.Add(triggered);
  ASSERT_TRUE(list.SaveStore(path).ok);
  EXPECT_EQ(base::ReadFileBytes(path)->size(), 2 * 673u);

  TPolicyList loaded;
  const StoreLoadResult r = loaded.LoadStore(path);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.records, 2u);
  const auto all = loaded.Snapshot();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].state, kStateStopped);
  EXPECT_EQ(all[1].state, kStateStopped);
  EXPECT_EQ(all[1].fired, 0);
  EXPECT_EQ(all[1].crossed, 1);
  EXPECT_FLOAT_EQ(all[1].trailingHigh, 8.5f);
  EXPECT_FLOAT_EQ(all[1].trailingLow, 7.5f);
  TPolicyRecord expect = triggered;
  expect.state = kStateStopped;
  expect.fired = 0;
  EXPECT_EQ(std::memcmp(&all[1], &expect, sizeof expect), 0) << "every other byte as stored";
}

TEST(PolicyStore, MissingAndEmptyStores) {
  TempDir dir;
  TPolicyList list;
  EXPECT_TRUE(list.LoadStore(dir.File("none.tmp")).ok);
  EXPECT_EQ(list.Count(), 0u);
  const std::string path = dir.File("policy.tmp");
  ASSERT_TRUE(list.SaveStore(path).ok);
  EXPECT_EQ(base::ReadFileBytes(path)->size(), 0u);
  EXPECT_TRUE(list.LoadStore(path).ok);
  EXPECT_EQ(list.Count(), 0u);
}

TEST(PolicyStore, AStoreNotOfWholeRecordsIsNotLoaded) {
  TempDir dir;
  const std::string path = dir.File("policy.tmp");
  TPolicyList list;
  list.Add(Monitor(1, kKindPayoff, "600000", 10));
  const std::string bytes = list.StoreBytes() + std::string(100, '\x7F');
  WriteBytes(path, bytes);
  TPolicyList loaded;
  const StoreLoadResult r = loaded.LoadStore(path);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "长度 773 字节不是 673 字节的整数倍");
  EXPECT_EQ(loaded.Count(), 0u);
  EXPECT_EQ(*base::ReadFileBytes(path), bytes) << "loading never writes";
}

TEST(PolicyStore, AFailedSaveLeavesThePreviousStoreAndTheList) {
  TempDir dir;
  const std::string path = dir.File("policy.tmp");
  TPolicyList list;
  list.Add(Monitor(1, kKindPayoff, "600000", 10));
  ASSERT_TRUE(list.SaveStore(path).ok);
  const std::string before = *base::ReadFileBytes(path);
  // A save interrupted after writing its temporary file: the store is whole.
  WriteBytes(path + ".new~", std::string(10, 'x'));
  list.Add(Monitor(2, kKindPayoff, "600001", 10));
  // The temporary file cannot be created: a folder stands in its way.
  std::filesystem::remove(base::PathFromUtf8(path + ".new~"));
  std::filesystem::create_directory(base::PathFromUtf8(path + ".new~"));
  EXPECT_FALSE(list.SaveStore(path).ok);
  EXPECT_EQ(*base::ReadFileBytes(path), before);
  EXPECT_EQ(list.Count(), 2u);
  std::filesystem::remove(base::PathFromUtf8(path + ".new~"));
  EXPECT_TRUE(list.SaveStore(path).ok);
  EXPECT_EQ(base::ReadFileBytes(path)->size(), 2 * 673u);
}

TEST(PolicyStore, TheWriterReportsAFailureOnceUntilASaveSucceeds) {
  TempDir dir;
  std::vector<std::string> shown;
  const std::string folder = dir.File("data");
  TPolicyStoreWriter writer(folder + "/policy.tmp",
                            [&](const std::string& title, const std::string& text) { shown.push_back(title + text); });
  TPolicyList list;
  list.Add(Monitor(1, kKindPayoff, "600000", 10));
  EXPECT_FALSE(writer.Save(list)) << "no data folder";
  EXPECT_FALSE(writer.Save(list));
  EXPECT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("policy.tmp"), std::string::npos);
  std::filesystem::create_directory(base::PathFromUtf8(folder));
  EXPECT_TRUE(writer.Save(list));
  std::filesystem::remove_all(base::PathFromUtf8(folder));
  EXPECT_FALSE(writer.Save(list));
  EXPECT_EQ(shown.size(), 2u) << "a new failure after a success is shown again";
}

// The monitors of a loaded store are kept together; the list must still
// treat each of them as its own monitor, next to monitors added later.
TEST(PolicyStore, LoadedMonitorsWorkLikeAddedOnes) {
  TempDir dir;
  const std::string path = dir.File("policy.tmp");
  TPolicyList writer;
  for (int32_t id = 1; id <= 4; ++id) {
    TPolicyRecord m = Triggered(id, "60000" + std::to_string(id), 9, 7);
    SetName(m, id % 2 ? "浦发银行" : "ST中华A");
    UpdateDescription(m);
    writer.Add(m);
  }
  const std::vector<TPolicyRecord> stored = writer.Snapshot();
  WriteBytes(path, writer.StoreBytes());

  TPolicyList list;
  list.Add(Monitor(10, kKindPrice, "000001", 5));  // already there: loading appends
  const StoreLoadResult r = list.LoadStore(path);
  EXPECT_EQ(r.records, 4u);
  auto all = list.Snapshot();
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[0].id, 10);
  for (size_t i = 0; i < 4; ++i) {
    TPolicyRecord expect = stored[i];
    expect.state = kStateStopped;
    expect.fired = 0;
    EXPECT_EQ(std::memcmp(&all[i + 1], &expect, sizeof expect), 0) << "monitor " << expect.id;
  }
  EXPECT_EQ(NameUtf8(all[2]), "ST中华A");
  EXPECT_EQ(DescriptionUtf8(all[1]), Describe(stored[0]));

  // Work the loaded monitors one by one, as the main window's commands do.
  list.Remove(2);
  list.StartOrStopOne(true, 3);
  TPolicyRecord changed = Monitor(4, kKindPayoff, "600999", 12);
  list.Replace(changed);
  list.ChangeSetPrice(1, 8.25f);
  list.Add(Monitor(list.NextId(), kKindPayoff, "600888", 3));
  EXPECT_EQ(list.NextId(), 12);
  all = list.Snapshot();
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[1].id, 1);
  EXPECT_FLOAT_EQ(all[1].setPrice, 8.25f);
  EXPECT_EQ(all[2].id, 3);
  EXPECT_EQ(all[2].state, kStateRunning);
  EXPECT_FLOAT_EQ(all[2].trailingLow, 7.0f) << "start one keeps the stored trailing low";
  EXPECT_EQ(std::memcmp(&all[3], &changed, sizeof changed), 0);
  EXPECT_EQ(all[4].id, 11);

  // What is saved is what the list holds, and loads back the same.
  ASSERT_TRUE(list.SaveStore(path).ok);
  list.Remove(1);
  list.Remove(3);
  list.Remove(10);
  TPolicyList again;
  EXPECT_EQ(again.LoadStore(path).records, 5u);
  const auto back = again.Snapshot();
  for (size_t i = 0; i < back.size(); ++i) {
    TPolicyRecord expect = all[i];
    expect.state = kStateStopped;
    expect.fired = 0;
    EXPECT_EQ(std::memcmp(&back[i], &expect, sizeof expect), 0) << "monitor " << expect.id;
  }
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.Snapshot()[0].id, 4);
  list.RemoveAll();
  EXPECT_EQ(list.Count(), 0u);
}

// A rebuild copies the whole list under one lock: whatever another thread
// adds meanwhile, a snapshot is the list as it was at one moment.
TEST(PolicyList, ASnapshotIsTheListAtOneMoment) {
  TempDir dir;
  const std::string path = dir.File("policy.tmp");
  TPolicyList source;
  for (int32_t id = 0; id < 2000; ++id) source.Add(Monitor(id, kKindPayoff, "600000", 1));
  ASSERT_TRUE(source.SaveStore(path).ok);
  TPolicyList list;
  ASSERT_EQ(list.LoadStore(path).records, 2000u);
  std::thread adder([&] {
    for (int32_t id = 2000; id < 4000; ++id) list.Add(Monitor(id, kKindPayoff, "600001", 2));
  });
  size_t torn = 0;
  size_t last = 0;
  for (int i = 0; i < 200 && last < 4000; ++i) {
    const auto rows = list.Snapshot();
    last = rows.size();
    for (size_t k = 0; k < rows.size(); ++k)
      if (rows[k].id != static_cast<int32_t>(k) || CodeText(rows[k]) != (k < 2000 ? "600000" : "600001")) ++torn;
  }
  adder.join();
  EXPECT_EQ(torn, 0u);
  EXPECT_EQ(list.Snapshot().size(), 4000u);
}

TEST(PolicyStore, PathUnderTheApplicationFolder) {
  const std::string p = PolicyStorePath("app");
  EXPECT_NE(p.find("data"), std::string::npos);
  EXPECT_EQ(p.substr(p.size() - 10), "policy.tmp");
}

TEST(CodeTables, NamesAndTexts) {
  EXPECT_EQ(KindName(1), "移动止盈");
  EXPECT_EQ(KindName(7), "指数监控");
  EXPECT_EQ(KindName(0x81), "移动止盈") << "the top bit is ignored";
  EXPECT_EQ(KindName(8), "");
  EXPECT_EQ(NoticeTitle(7), "按指数监控");
  EXPECT_EQ(NoticeTitle(2), "按价位监控");
  TPolicyRecord m = Monitor(1, kKindPayoff, "600000", 1);
  EXPECT_EQ(ShortKindText(m), "止盈-卖出");
  m.kind = kKindLimitDown;
  m.tradeType = 1;
  EXPECT_EQ(ShortKindText(m), "限跌-买入");
  EXPECT_EQ(DirectionCode("上涨中回落"), 3);
  EXPECT_EQ(DirectionCode("下跌"), 2);
  EXPECT_EQ(DirectionCode("随便"), 4);
  EXPECT_EQ(DirectionText(4), "下跌中反弹");
  EXPECT_EQ(DirectionText(0), "");
  EXPECT_EQ(TradeTypeText(3), "");
  EXPECT_EQ(ChangeUnitText(3), "点");
}
