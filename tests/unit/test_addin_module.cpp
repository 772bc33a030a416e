// The module pieces: the string cache and the message pre-translation steps.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "plugin/addin/unt_pretranslate.h"
#include "plugin/addin/unt_stringcache.h"
#include "sim/host/host_objects.h"
#include "support/host_kv.h"
#include "support/push_fakes.h"

using namespace addin;
using testing_support::CFakeStringResources;
using testing_support::U;

using testing_support::Kv;

namespace {

// ---------------------------------------------------------------------------
// String cache

TEST(AddinStringCache, LoadsEachStringOnceAndKeepsItsPointer) {
  CFakeStringResources resources;
  CStringCache cache(resources);
  cache.Setup(1, 10240);
  EXPECT_EQ(cache.PoolSize(), 10240u);
  const char* first = cache.Get(10024);
  EXPECT_EQ(U(first), "成交回报信息    ");
  EXPECT_EQ(cache.Get(10024), first);
  EXPECT_EQ(resources.loads, 1);
  EXPECT_EQ(cache.FillLevel(), std::string(first).size() + 1);
}

TEST(AddinStringCache, MissingStringsAreEmptyAndStored) {
  CFakeStringResources resources;
  CStringCache cache(resources);
  cache.Setup(1, 0);
  EXPECT_EQ(cache.PoolSize(), 2048u) << "the pool has a minimum";
  EXPECT_STREQ(cache.Get(9999), "");
  EXPECT_EQ(cache.FillLevel(), 1u);
  cache.Get(9999);
  EXPECT_EQ(resources.loads, 1);
}

TEST(AddinStringCache, FullPoolGivesEmptyTextsThatAreNotStored) {
  CFakeStringResources resources;
  CStringCache cache(resources);
  cache.Setup(1, 2048);
  int loaded = 0;
  // Fill the pool with strings until fewer than two bytes are free.
  for (uint32_t id = 0; cache.PoolSize() - cache.FillLevel() >= 2; ++id, ++loaded) cache.Get(100000 + id);
  const int loadsBefore = resources.loads;
  EXPECT_STREQ(cache.Get(10002), "");
  EXPECT_STREQ(cache.Get(10002), "");
  EXPECT_EQ(resources.loads, loadsBefore) << "nothing is loaded into a full pool";
  EXPECT_GT(loaded, 0);
}

TEST(AddinStringCache, LongStringIsCutToTheFreeBytes) {
  CFakeStringResources resources;
  CStringCache cache(resources);
  cache.Setup(1, 2048);
  while (cache.PoolSize() - cache.FillLevel() > 6) cache.Get(200000 + static_cast<uint32_t>(cache.FillLevel()));
  const size_t free = cache.PoolSize() - cache.FillLevel();
  const std::string text = cache.Get(10018);
  EXPECT_LE(text.size(), free - 1);
  EXPECT_EQ(cache.FillLevel(), cache.PoolSize() - free + text.size() + 1);
}

TEST(AddinStringCache, ResetSwitchesModulesAndFreesOnlyItsOwnLibrary) {
  CFakeStringResources resources;
  CStringCache cache(resources);
  cache.Setup(1, 4096);
  EXPECT_EQ(U(cache.Get(10016)), "关闭");
  cache.Reset(2);
  EXPECT_EQ(cache.ResourceModule(), 2u);
  EXPECT_EQ(U(cache.Get(10016)), "R:关闭");
  cache.Reset(0);
  EXPECT_EQ(cache.ResourceModule(), 1u);
  EXPECT_TRUE(resources.events.empty()) << "the cache frees nothing it did not load";

  cache.LoadResourceLibrary("res.dll");
  EXPECT_EQ(cache.ResourceModule(), 2u);
  EXPECT_EQ(U(cache.Get(10016)), "R:关闭");
  cache.Reset(2);  // the same module: kept
  cache.LoadResourceLibrary(nullptr);  // module end
  EXPECT_EQ(resources.events, (std::vector<std::string>{"load res.dll", "free 2"}));
  EXPECT_EQ(cache.ResourceModule(), 1u);
  cache.LoadResourceLibrary("missing.dll");
  EXPECT_EQ(cache.ResourceModule(), 1u) << "nothing loaded: the own instance";
}

TEST(AddinStringCache, ResetToAnotherModuleFreesTheLoadedLibrary) {
  CFakeStringResources resources;
  CStringCache cache(resources);
  cache.Setup(1, 4096);
  cache.LoadResourceLibrary("res.dll");
  cache.Reset(0);
  EXPECT_EQ(resources.events, (std::vector<std::string>{"load res.dll", "free 2"}));
}

TEST(AddinStringCache, ReadersOnManyThreadsGetTheSameTexts) {
  CFakeStringResources resources;
  CStringCache cache(resources);
  cache.Setup(1, 10240);
  std::vector<std::thread> threads;
  std::vector<const char*> seen(4);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (uint32_t id = 10002; id <= 10025; ++id) cache.Get(id);
      seen[static_cast<size_t>(t)] = cache.Get(10021);
    });
  for (auto& thread : threads) thread.join();
  for (const char* p : seen) EXPECT_EQ(p, seen[0]);
  EXPECT_EQ(U(seen[0]), "委托耗时:");
}

// ---------------------------------------------------------------------------
// Message pre-translation

kv::KvHwnd H(uintptr_t n) { return reinterpret_cast<kv::KvHwnd>(n); }

// Windows 1 (top level) > 2 > 3; window 1 is the main window when set.
class CFakeDesk final : public IMessageDesk {
 public:
  bool DispatchThreadMessage(void*) override {
    calls.push_back("dispatch");
    return dispatchConsumes;
  }
  kv::KvHwnd Parent(kv::KvHwnd w) override {
    const auto n = reinterpret_cast<uintptr_t>(w);
    return n > 1 && n <= 3 ? H(n - 1) : nullptr;
  }
  kv::KvHwnd TopLevelParent(kv::KvHwnd w) override { return reinterpret_cast<uintptr_t>(w) <= 3 ? H(1) : w; }
  kv::KvHwnd MainWindow() override { return main; }
  void ShowWaitCursor() override { calls.push_back("wait"); }
  void ShowArrowCursor() override { calls.push_back("arrow"); }

  std::vector<std::string> calls;
  bool dispatchConsumes = false;
  kv::KvHwnd main = nullptr;
};

struct COwnWindow final : IModuleWindow {
  COwnWindow(std::vector<std::string>& calls, std::string name, bool consumes)
      : calls(calls), name(std::move(name)), consumes(consumes) {}
  bool PreTranslateMessage(void*) override {
    calls.push_back(name);
    return consumes;
  }
  std::vector<std::string>& calls;
  std::string name;
  bool consumes;
};

class AddinPreTranslate : public ::testing::Test {
 protected:
  AddinPreTranslate() : port_(log_) {}
  bool Run(kv::KvHwnd window, uint32_t message, kv::IAddinPort* port) {
    return PreTranslateThreadMessage({window, message, &raw_}, port, windows_, desk_);
  }
  int raw_ = 0;
  simhost::CCallLog log_;
  simhost::CHostPort port_;
  CModuleWindows windows_;
  CFakeDesk desk_;
};

TEST_F(AddinPreTranslate, MessagesWithoutWindowGoToTheThreadHandlers) {
  desk_.dispatchConsumes = true;
  EXPECT_TRUE(Run(nullptr, 0x400, Kv(port_)));
  desk_.dispatchConsumes = false;
  EXPECT_FALSE(Run(nullptr, 0x400, Kv(port_)));
  EXPECT_EQ(desk_.calls, (std::vector<std::string>{"dispatch", "dispatch"}));
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(AddinPreTranslate, ClicksWhileBusyAreSwallowedWithTheArrowCursor) {
  port_.SetBusy(true);
  EXPECT_TRUE(Run(H(3), wm::kLButtonDown, Kv(port_)));
  EXPECT_EQ(log_.Lines(), std::vector<std::string>{"Port.OnUserActivity"});
  EXPECT_TRUE(Run(H(3), wm::kMButtonDblClk, Kv(port_)));
  EXPECT_EQ(desk_.calls, (std::vector<std::string>{"arrow", "arrow"}));
}

TEST_F(AddinPreTranslate, MouseMovesWhileBusyShowTheWaitCursorAndGoOn) {
  port_.SetBusy(true);
  EXPECT_FALSE(Run(H(3), wm::kMouseMove, Kv(port_)));
  EXPECT_FALSE(Run(H(3), wm::kNcMouseMove, Kv(port_)));
  EXPECT_EQ(desk_.calls, (std::vector<std::string>{"wait", "wait"}));
  EXPECT_EQ(log_.Count("Port.PreTranslateForeign"), 6u) << "both walked up all three windows";
}

TEST_F(AddinPreTranslate, IdleHostLetsClicksThroughAndHearsAboutKeys) {
  EXPECT_FALSE(Run(H(2), wm::kLButtonDown, Kv(port_)));
  EXPECT_FALSE(Run(H(2), wm::kKeyDown, Kv(port_)));
  EXPECT_EQ(log_.Count("Port.OnUserActivity"), 2u);
  EXPECT_FALSE(Run(H(2), 0x0204, Kv(port_)));  // right button: no activity
  EXPECT_EQ(log_.Count("Port.OnUserActivity"), 2u);
  EXPECT_TRUE(desk_.calls.empty());
}

TEST_F(AddinPreTranslate, WalkOffersOwnWindowsThemselvesAndForeignOnesToTheHost) {
  COwnWindow middle(desk_.calls, "own2", false);
  windows_.Add(H(2), &middle);
  EXPECT_FALSE(Run(H(3), 0x0102, Kv(port_)));
  EXPECT_EQ(log_.Lines(), (std::vector<std::string>{"Port.PreTranslateForeign(3)", "Port.PreTranslateForeign(1)"}));
  EXPECT_EQ(desk_.calls, std::vector<std::string>{"own2"});

  middle.consumes = true;
  log_.Clear();
  EXPECT_TRUE(Run(H(3), 0x0102, Kv(port_)));
  EXPECT_EQ(log_.Lines(), std::vector<std::string>{"Port.PreTranslateForeign(3)"});

  port_.SetForeignConsumes(true);
  log_.Clear();
  EXPECT_TRUE(Run(H(3), 0x0102, Kv(port_)));
  EXPECT_EQ(desk_.calls.size(), 2u) << "the host consumed it at window 3";
}

TEST_F(AddinPreTranslate, WithoutPortOnlyOwnWindowsAreAsked) {
  COwnWindow top(desk_.calls, "own1", true);
  windows_.Add(H(1), &top);
  EXPECT_TRUE(Run(H(3), wm::kLButtonDown, nullptr));
  EXPECT_EQ(desk_.calls, std::vector<std::string>{"own1"});
}

TEST_F(AddinPreTranslate, WalkStopsAtTheMainWindowWhichIsNotAskedTwice) {
  COwnWindow main(desk_.calls, "main", false);
  windows_.Add(H(2), &main);
  desk_.main = H(2);
  EXPECT_FALSE(Run(H(3), 0x0102, Kv(port_)));
  EXPECT_EQ(log_.Lines(), std::vector<std::string>{"Port.PreTranslateForeign(3)"});
  // Window 2 is not the top-level parent of 3, so it filters once more last.
  EXPECT_EQ(desk_.calls, (std::vector<std::string>{"main", "main"}));

  desk_.calls.clear();
  windows_.Remove(H(2));
  windows_.Add(H(1), &main);
  desk_.main = H(1);
  EXPECT_FALSE(Run(H(3), 0x0102, Kv(port_)));
  EXPECT_EQ(desk_.calls, std::vector<std::string>{"main"}) << "the main window is the top-level parent";
}

}  // namespace
