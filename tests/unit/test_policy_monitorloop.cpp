// The monitor loop: fire handling, order requests and prices, the trade
// log, and the rules that keep it out while an order is being typed.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <thread>
#include <stdexcept>

#include "app/unt_notify.h"
#include "base/datetime.h"
#include "base/files.h"
#include "base/gbk.h"
#include "base/text.h"
#include "policy/unt_monitorloop.h"
#include "policy/unt_policy_describe.h"
#include "quotes/quote_tape.h"
#include "support/policy_fixtures.h"
#include "support/temp_dir.h"

using namespace policy;
using testing_support::Monitor;
using testing_support::TempDir;

namespace {

// Reports of the fake clock's moment, a Friday's trading time: live trades.
quotes::TQuoteReport Report(const std::string& code, float price, uint16_t market = quotes::kMarketShanghai) {
  quotes::TQuoteReport r = testing_support::Report(code, price, market);
  quotes::LocalTimeToQuoteTime(2012, 5, 18, 10, 31, 7, r.quoteTime);
  return r;
}

// Records every call in order.
class FakeHost : public IMonitorHost {
 public:
  std::vector<std::string> calls;
  std::vector<TTradeRecord> orders;
  std::vector<std::pair<std::string, std::string>> balloons;
  std::vector<std::string> broadcasts;
  std::map<std::string, float> quotes;  // single-quote answers by code
  std::map<std::string, quotes::TQuoteReport> reports;  // whole answers, before `quotes`
  std::map<std::string, std::pair<double, double>> limits;  // the engine's limit-up and limit-down
  base::TDateTime now = base::EncodeDateTime(2012, 5, 18, 10, 31, 7);
  base::TDateTime market = 0;  // 0: the same as the local clock
  bool blockRefused = false;
  std::function<void()> duringOrder;

  base::TDateTime Now() override { return now; }
  base::TDateTime MarketNow() override { return market ? market : now; }
  void PlaySound(const std::string& path, bool wait) override {
    calls.push_back(std::string(wait ? "sound-wait " : "sound ") + std::filesystem::path(path).filename().string());
  }
  bool BlockInput(bool block) override {
    calls.push_back(block ? "block" : "unblock");
    return !blockRefused;
  }
  void ShowBalloon(const std::string& title, const std::string& text) override {
    calls.push_back("balloon");
    balloons.emplace_back(title, text);
  }
  void EnableMainWindow(bool enable) override { calls.push_back(enable ? "enable" : "disable"); }
  void PlaceOrder(TTradeRecord order) override {
    calls.push_back("order");
    orders.push_back(order);
    if (duringOrder) duringOrder();
  }
  void RebuildMonitorList() override { calls.push_back("rebuild"); }
  void MinimizeTradingWindow() override { calls.push_back("minimize"); }
  void RequestQuote(const std::string& code, quotes::TQuoteReport& out) override {
    calls.push_back("quote " + code);
    if (reports.count(code)) out = reports[code];
    if (quotes.count(code)) out.newestPrice = quotes[code];
  }
  bool RequestLimits(const std::string& code, double& up, double& down) override {
    if (!limits.count(code)) return false;
    up = limits[code].first;
    down = limits[code].second;
    return true;
  }
  void BroadcastTradeLine(const std::string& user, const std::string& line) override {
    calls.push_back("broadcast");
    broadcasts.push_back(user + "|" + line);
  }
  std::vector<TOrderOutcome> started, notPlaced;
  int scriptsEnded = 0;
  void OrderStarting(const TOrderOutcome& o) override { started.push_back(o); }
  void OrderScriptEnded() override { ++scriptsEnded; }
  void OrderNotPlaced(const TOrderOutcome& o) override { notPlaced.push_back(o); }
};

struct LoopFixture : ::testing::Test {
  TempDir dir;
  TPolicyList list;
  app::ProcessFlags flags;
  FakeHost host;
  MonitorOptions options;
  TMonitorLoop loop{list, flags, host, options};

  LoopFixture() {
    options.appFolder = base::PathToUtf8(dir.path());
    std::filesystem::create_directories(dir.path() / "res");
    std::filesystem::create_directories(dir.path() / "log");
    flags.loggedIn = true;
    flags.userId = "tester";
  }
  void AddSounds() {
    base::AtomicReplace(dir.File("res/warning.wav"), "RIFF");
    base::AtomicReplace(dir.File("res/Money_Take.wav"), "RIFF");
    options.soundOn = true;
  }
  TPolicyRecord Add(TPolicyRecord m) {
    UpdateDescription(m);
    list.Add(m);
    return m;
  }
  TPolicyRecord Get(int32_t id) {
    TPolicyRecord r = NewPolicyRecord();
    list.Copy(id, r);
    return r;
  }
  std::string TradeLog() { return base::ReadFileBytes(dir.File("log/trade.log")).value_or(""); }
};

}  // namespace

TEST_F(LoopFixture, AutomaticFireRunsEveryStepInOrder) {
  AddSounds();
  options.minimizeAfterOrder = true;
  Add(Monitor(1, kKindPayoff, "600000", 10.0f, 0.5f));
  for (float p : {10.20f, 10.80f, 10.40f}) loop.Run(Report("600000", p));
  EXPECT_TRUE(host.calls.empty());
  loop.Run(Report("600000", 10.20f));
  EXPECT_EQ(host.calls, (std::vector<std::string>{"sound-wait warning.wav", "block", "balloon", "disable", "order",
                                                   "broadcast", "enable", "rebuild", "sound Money_Take.wav",
                                                   "minimize", "unblock"}));
  EXPECT_FALSE(flags.orderInProgress);
  const TPolicyRecord m = Get(1);
  EXPECT_EQ(m.state, kStateTriggered);
  EXPECT_EQ(m.fired, 1);
  ASSERT_EQ(host.orders.size(), 1u);
  EXPECT_EQ(host.orders[0].tradeType, 2);
  EXPECT_EQ(host.orders[0].code, "600000");
  EXPECT_EQ(host.orders[0].name, "浦发银行");
  EXPECT_EQ(host.orders[0].market, quotes::kMarketShanghai);
  EXPECT_EQ(host.orders[0].sellQuantity, "1000");
  EXPECT_EQ(host.orders[0].buyPrice, "");
  EXPECT_EQ(host.balloons[0].first, "移动止盈");
  EXPECT_EQ(host.balloons[0].second, "浦发银行(600000)\r\n" + DescriptionUtf8(m));
}

// The push notice is only queued, before the order; one that fails holds
// nothing up.
struct ThrowingNotice : IFireNotice {
  FakeHost& host;
  std::vector<app::NotifyEvent> events;
  explicit ThrowingNotice(FakeHost& h) : host(h) {}
  void QueueFire(const FireEvent& fire, base::TDateTime now) override {
    host.calls.push_back("notice");
    events.push_back(app::FireNotice(fire, now));
    throw std::runtime_error("queue full of trouble");
  }
};

TEST_F(LoopFixture, AFireIsQueuedForNoticeBeforeItsOrderAndAFailingNoticeHoldsNothingUp) {
  ThrowingNotice notice(host);
  loop.SetFireNotice(&notice);
  Add(Monitor(1, kKindPayoff, "600000", 10.0f, 0.5f));
  loop.Run(Report("600000", 10.80f));
  loop.Run(Report("600000", 10.20f));
  EXPECT_EQ(host.calls, (std::vector<std::string>{"block", "balloon", "notice", "disable", "order", "broadcast",
                                                   "enable", "rebuild", "unblock"}));
  ASSERT_EQ(notice.events.size(), 1u);
  const app::NotifyEvent& e = notice.events[0];
  EXPECT_EQ(e.event, "fire");
  EXPECT_EQ(e.monitorId, 1);
  EXPECT_EQ(e.kind, "移动止盈");
  EXPECT_EQ(e.code, "600000");
  EXPECT_EQ(e.name, "浦发银行");
  EXPECT_EQ(e.side, "卖出");
  EXPECT_EQ(e.quantity, 1000);
  EXPECT_EQ(base::FormatPrice(e.price), host.orders.at(0).sellPrice);
  EXPECT_EQ(e.outcome, "自动下单");
  EXPECT_EQ(e.time, host.now);
}

TEST_F(LoopFixture, PromptOnlyUnblocksBeforeTheLogLineAndPlacesNoOrder) {
  AddSounds();
  TPolicyRecord m = Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f);
  m.promptOnly = 1;
  Add(m);
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(host.calls, (std::vector<std::string>{"sound-wait warning.wav", "block", "balloon", "rebuild",
                                                   "sound Money_Take.wav", "unblock", "broadcast"}));
  EXPECT_TRUE(host.orders.empty());
  EXPECT_NE(TradeLog().find(base::Utf8ToGbkLossy("条件止损")), std::string::npos);
}

TEST_F(LoopFixture, SoundsNeedTheSwitchAndTheFile) {
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  options.soundOn = true;  // but no files
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(host.calls.front(), "block");
  host.calls.clear();
  AddSounds();
  options.soundOn = false;
  Add(Monitor(2, kKindLossLimit, "600000", 10.0f, 0.5f));
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(host.calls.front(), "block");
}

TEST_F(LoopFixture, TheTradeLogLineIsExact) {
  TPolicyRecord m = Add(Monitor(1, kKindPayoff, "600000", 10.0f, 0.5f));
  for (float p : {10.20f, 10.80f, 10.20f}) loop.Run(Report("600000", p));
  const std::string expected = "12-05-18, 10:31:07, [触发交易], 600000, 浦发银行, 卖出, 移动止盈, 10.200, 10.100, 1000, tester, " +
                               DescriptionUtf8(m) + "\r\n";
  EXPECT_EQ(TradeLog(), base::Utf8ToGbkLossy(expected)) << "GBK with CR LF";
  ASSERT_EQ(host.broadcasts.size(), 1u);
  EXPECT_EQ(host.broadcasts[0], "tester|" + expected);
  // A second fire appends.
  Add(Monitor(2, kKindLossLimit, "600000", 10.0f, 0.5f));
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(TradeLog().find(base::Utf8ToGbkLossy(expected)), 0u);
  EXPECT_NE(TradeLog().find(base::Utf8ToGbkLossy("条件止损, 9.000, 8.910")), std::string::npos);
}

TEST_F(LoopFixture, NothingIsLoggedOrBroadcastWhenLoggedOut) {
  flags.loggedIn = false;
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(host.orders.size(), 1u);
  EXPECT_TRUE(host.broadcasts.empty());
  EXPECT_FALSE(base::FileExists(dir.File("log/trade.log")));
}

TEST_F(LoopFixture, AnUnwritableTradeLogIsToldAndTheFireCompletes) {
  std::filesystem::remove_all(dir.path() / "log");
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(loop.TradeLogFailures(), 1);
  EXPECT_EQ(host.balloons.back().first, "警告提示！");
  EXPECT_EQ(host.calls.back(), "unblock");
  EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "rebuild"), host.calls.end());
}

TEST_F(LoopFixture, InvalidTradeTypeSellsSideAndLogsTheError) {
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 10.0f, 0.5f, kUnitYuan, kDirRise);
  m.tradeType = 7;
  Add(m);
  loop.Run(Report("600000", 11.0f));
  ASSERT_EQ(host.orders.size(), 1u);
  EXPECT_EQ(host.orders[0].tradeType, 7);
  EXPECT_EQ(host.orders[0].sellPrice, "10.890");
  EXPECT_NE(TradeLog().find(base::Utf8ToGbkLossy("交易类型错误, 按价位监控, 11.000, 委托价格错误")), std::string::npos);
}

TEST_F(LoopFixture, TwoMonitorsOnOneReportFireInListOrder) {
  Add(Monitor(5, kKindLossLimit, "600000", 10.0f, 0.5f));
  Add(Monitor(1, kKindLossLimit, "600001", 10.0f, 0.5f));
  Add(Monitor(3, kKindLossLimit, "600000", 11.0f, 0.5f));
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "balloon"), 2);
  ASSERT_EQ(host.orders.size(), 2u);
  const std::string log = TradeLog();
  const size_t first = log.find(base::Utf8ToGbkLossy("相对于设定价10.000"));
  const size_t second = log.find(base::Utf8ToGbkLossy("相对于设定价11.000"));
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_EQ(Get(1).state, kStateRunning);
}

TEST_F(LoopFixture, ReportsDuringAnOrderFireNothing) {
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  Add(Monitor(2, kKindLossLimit, "600001", 10.0f, 0.5f));
  Add(Monitor(3, kKindLossLimit, "600000", 12.0f, 0.5f));
  int nested = 0;
  host.duringOrder = [&] {
    if (nested++) return;
    EXPECT_TRUE(flags.orderInProgress);
    // Quote messages keep running while the order is typed.
    loop.Run(Report("600000", 5.0f));
    loop.Run(Report("600001", 5.0f));
  };
  loop.Run(Report("600000", 9.0f));
  // Monitor 1 fired; the nested reports changed nothing; monitor 3 fires
  // after the first order, on the outer report.
  EXPECT_EQ(Get(2).state, kStateRunning);
  EXPECT_FLOAT_EQ(Get(2).newestPrice, 0.0f);
  ASSERT_EQ(host.orders.size(), 2u);
  EXPECT_EQ(host.orders[0].sellPrice, "8.910");
  EXPECT_EQ(host.orders[1].sellPrice, "8.910");
  EXPECT_EQ(Get(3).state, kStateTriggered);
}

TEST_F(LoopFixture, AFiredMonitorCannotFireAgainDuringItsOrder) {
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  host.duringOrder = [&] {
    flags.orderInProgress = false;  // even if the flag were lost, the fired flag holds
    loop.Run(Report("600000", 5.0f));
    flags.orderInProgress = true;
  };
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(host.orders.size(), 1u);
}

TEST_F(LoopFixture, TheWindowRefreshFlagKeepsTheLoopOut) {
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  flags.windowRefresh = true;
  loop.Run(Report("600000", 9.0f));
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(Get(1).newestPrice, 0.0f) << "not even tested";
}

TEST_F(LoopFixture, AFailingOrderStillRestoresFlagsWindowAndInput) {
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  host.blockRefused = true;  // the system refuses the block: not an error
  host.duringOrder = [] { throw std::runtime_error("trading window gone"); };
  EXPECT_THROW(loop.Run(Report("600000", 9.0f)), std::runtime_error);
  EXPECT_FALSE(flags.orderInProgress);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"block", "balloon", "disable", "order", "enable", "unblock"}));
  EXPECT_EQ(Get(1).state, kStateTriggered) << "the monitor stays triggered";
  // The lock was released: another thread can use the list.
  std::thread([&] { EXPECT_EQ(list.Count(), 1u); }).join();
}

TEST_F(LoopFixture, ListChangesDuringAnOrderAreSafe) {
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  Add(Monitor(2, kKindLossLimit, "600000", 10.0f, 0.5f));
  host.duringOrder = [&] { list.RemoveAll(); };
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(host.orders.size(), 1u);
  EXPECT_EQ(list.Count(), 0u);
}

// An order typed inside a pass takes real time and lets other code run:
// the clock is read at each test, and the pass follows the monitors, not
// the positions they had when it began.
TEST_F(LoopFixture, APassOutlivesTheClockAndTheListChangesOfItsOrders) {
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  TPolicyRecord due = Monitor(2, kKindTime, "600000", 20.0f);
  due.orderTime = base::EncodeTime(10, 32, 0);  // the minute after the order began
  due.tradeType = 1;
  Add(due);
  host.duringOrder = [&] { host.now = base::EncodeDateTime(2012, 5, 18, 10, 32, 5); };
  loop.Run(Report("600000", 9.0f));
  ASSERT_EQ(host.orders.size(), 2u) << "the time monitor is due when it is tested";
  EXPECT_EQ(Get(2).state, kStateTriggered);

  // A monitor removed during an order moves the ones after it: none of
  // them is skipped, and a removed one is not touched.
  list.RemoveAll();
  host.orders.clear();
  for (int32_t id : {1, 2, 3, 4}) Add(Monitor(id, kKindLossLimit, "600000", 10.0f, 0.5f));
  host.duringOrder = [&] {
    if (host.orders.size() == 1) {
      list.Remove(1);
      list.Remove(3);
    }
  };
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(host.orders.size(), 3u);
  EXPECT_EQ(Get(2).state, kStateTriggered) << "moved to the fired monitor's place, still tested";
  EXPECT_EQ(Get(4).state, kStateTriggered);
}

TEST_F(LoopFixture, StartingAMonitorMakesItTestedAgain) {
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  list.StartOrStopAll(false);
  loop.Run(Report("600000", 9.0f));
  EXPECT_TRUE(host.orders.empty());
  list.StartOrStopOne(true, 1);
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(host.orders.size(), 1u);
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(host.orders.size(), 1u) << "triggered";
  list.StartOrStopAll(true);
  loop.Run(Report("600000", 9.0f));
  EXPECT_EQ(host.orders.size(), 2u);
}

TEST_F(LoopFixture, TimeMonitorOrdersAtTheSetPriceOrTheTradePrice) {
  TPolicyRecord m = Monitor(1, kKindTime, "600000", 20.0f);
  m.orderTime = base::EncodeTime(10, 31, 0);
  m.tradeType = 1;
  Add(m);
  m.id = 2;
  m.priceBasis = kBasisTradePrice;
  m.setPrice = 0;
  Add(m);
  loop.Run(Report("600000", 21.0f));
  ASSERT_EQ(host.orders.size(), 2u);
  EXPECT_EQ(host.orders[0].buyPrice, "20.210") << "per mille of the newest price on the set price";
  EXPECT_EQ(host.orders[1].buyPrice, "21.210");
}

TEST_F(LoopFixture, TargetSecuritiesAreQuotedAtTheMomentOfFiring) {
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 10.0f, 0.5f, kUnitYuan, kDirRise);
  m.targetFlag = 1;
  SetTargetCode(m, "510050 ");
  SetTargetName(m, "50ETF");
  m.tradeType = 1;
  m.optUnit = kOptUnitYuan;
  m.optAmount = -0.01f;
  Add(m);
  TPolicyRecord index = Monitor(2, kKindIndex, "000001", 3000.0f, 20.0f, kUnitPoint, kDirRise);
  SetTargetCode(index, "159901");
  index.tradeType = 2;
  Add(index);
  host.quotes["510050"] = 2.5f;
  loop.Run(Report("600000", 11.0f));
  loop.Run(Report("000001", 3100.0f));
  EXPECT_EQ(host.orders[0].code, "510050 ");
  EXPECT_EQ(host.orders[0].name, "50ETF");
  EXPECT_EQ(host.orders[0].market, quotes::kMarketShanghai) << "the watched security's market";
  EXPECT_EQ(host.orders[0].buyPrice, "2.510");
  EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "quote 510050"), host.calls.end()) << "trimmed code";
  // No quote for the index's target: base 0, nothing is ordered; the trade
  // log and the outcome say why.
  ASSERT_EQ(host.orders.size(), 1u);
  ASSERT_EQ(host.notPlaced.size(), 1u);
  EXPECT_EQ(host.notPlaced[0].monitorId, 2);
  EXPECT_EQ(host.notPlaced[0].code, "159901");
  EXPECT_EQ(host.notPlaced[0].side, "卖出");
  EXPECT_EQ(host.notPlaced[0].result, OrderResult::NotPlaced);
  EXPECT_EQ(host.notPlaced[0].brokerText, "目标证券没有成交价，委托价格错误");
  EXPECT_EQ(Get(2).state, kStateTriggered);
  EXPECT_NE(TradeLog().find(base::Utf8ToGbkLossy("159901, , 卖出, 指数监控, 3100.000, 委托价格错误, 1000, tester")),
            std::string::npos);
  EXPECT_EQ(host.started.size(), 1u);
  EXPECT_EQ(host.scriptsEnded, 1);
}

namespace {

// A report as the engine sends it: the security's name of today (GBK) and a
// quote time on the day of the fake clock (2012-05-18 10:31:07 local).
quotes::TQuoteReport Quote(const std::string& code, float price, const std::string& name, float prevClose,
                           float ask = 0, float bid = 0) {
  quotes::TQuoteReport r = Report(code, price);
  base::WriteFixedText(r.name, base::Utf8ToGbkLossy(name));
  r.prevClose = prevClose;
  r.quoteTime = 1337308267;
  r.askPrice[0] = ask;
  r.bidPrice[0] = bid;
  return r;
}

}  // namespace

// Prices the exchange takes: on the tick, inside the day's band of the
// security ordered; buys in whole lots, an older store's odd lot cut down.
TEST_F(LoopFixture, OrdersGoOutOnlyAtPricesAndLotsTheExchangeTakes) {
  host.now = base::EncodeDateTime(2012, 5, 18, 9, 26, 0);  // before continuous trading: no cage
  TPolicyRecord rebound = Monitor(1, kKindLimitDown, "600000", 11.0f, 0.05f);
  rebound.quantity = 150;
  rebound.optAmount = 5;  // 10.35 + 0.5 % = 10.40175, down to the tick 10.40
  Add(rebound);
  TPolicyRecord odd = Monitor(2, kKindLimitDown, "600000", 11.0f, 0.05f);
  odd.quantity = 50;
  Add(odd);
  TPolicyRecord stop = Monitor(3, kKindLossLimit, "600001", 10.0f, 0.5f);
  stop.optUnit = kOptUnitYuan;
  stop.optAmount = 2;  // 9.00 - 2 is past the limit-down of a close of 9.50
  Add(stop);
  loop.Run(Quote("600000", 9.9f, "浦发银行", 9.7f));
  const quotes::TQuoteReport up = Quote("600000", 10.35f, "浦发银行", 9.7f);  // limit-up 10.67
  loop.Run(up);
  TPolicyRecord again = Get(1);
  again.state = kStateRunning;
  again.fired = 0;
  again.optAmount = 50;  // 10.35 + 5 % is past the limit-up
  list.Replace(again);
  loop.Run(up);
  loop.Run(Quote("600001", 9.0f, "邯郸钢铁", 9.5f));  // limit-down 8.55
  ASSERT_EQ(host.orders.size(), 3u);
  EXPECT_EQ(host.orders[0].buyPrice, "10.400");
  EXPECT_EQ(host.orders[0].buyQuantity, "100");
  EXPECT_EQ(host.started[0].brokerText,
            "价格由 10.402 调为 10.400：按最小变动单位 0.01；买入数量150不是整手，按100股下单");
  EXPECT_EQ(host.orders[1].buyPrice, "10.670");
  EXPECT_EQ(host.started[1].brokerText,
            "价格由 10.868 调为 10.670：按最小变动单位 0.01，超出涨停价；买入数量150不是整手，按100股下单");
  EXPECT_EQ(host.orders[2].sellPrice, "8.550");
  EXPECT_EQ(host.started[2].brokerText, "价格由 7.000 调为 8.550：低于跌停价");
  ASSERT_EQ(host.notPlaced.size(), 1u);
  EXPECT_EQ(host.notPlaced[0].monitorId, 2);
  EXPECT_EQ(host.notPlaced[0].brokerText, "买入数量50不足一手");
}

// A price is never moved against the user: a sell set above limit-up or a
// buy set below limit-down is not sent and the outcome says why; a price
// moved in the user's favour is said in the outcome; the engine's own
// limits come before the table; a buy of no whole lot is never typed.
TEST_F(LoopFixture, AFireNeverSendsAPriceWorseThanTheUsersOwn) {
  const auto timed = [&](int32_t id, const std::string& code, uint8_t side, float setPrice, int32_t quantity) {
    TPolicyRecord m = Monitor(id, kKindTime, code, setPrice);
    m.orderTime = base::EncodeTime(10, 31, 0);
    m.tradeType = side;
    m.quantity = quantity;
    m.optUnit = kOptUnitYuan;
    m.optAmount = 0;
    return Add(m);
  };
  timed(1, "600000", kTradeSell, 12.0f, 1000);  // close 10.00: limit-up 11.00
  timed(2, "600000", kTradeBuy, 8.5f, 1000);    // below limit-down 9.00
  timed(3, "600000", kTradeBuy, 12.0f, 1000);   // lowered to 11.00
  timed(4, "600000", kTradeBuy, 10.5f, 0);      // no lot
  timed(5, "600016", kTradeBuy, 12.0f, 100);    // the engine's limits: 11.28
  timed(6, "688001", kTradeSell, 12.0f, 200);   // a listing's first day: no band
  host.limits["600016"] = {11.28, 9.22};
  loop.Run(Quote("600000", 10.5f, "浦发银行", 10.0f, 10.9f, 10.8f));
  loop.Run(Quote("600016", 10.5f, "民生银行", 10.0f, 11.2f, 11.1f));
  loop.Run(Quote("688001", 10.5f, "N华兴", 10.0f, 11.9f, 11.8f));

  ASSERT_EQ(host.orders.size(), 3u);
  EXPECT_EQ(host.orders[0].buyPrice, "11.000");
  EXPECT_EQ(host.orders[0].buyQuantity, "1000");
  EXPECT_EQ(host.started[0].brokerText, "价格由 12.000 调为 11.000：超出涨停价");
  EXPECT_EQ(host.orders[1].code, "600016");
  EXPECT_EQ(host.orders[1].buyPrice, "11.280");
  EXPECT_EQ(host.started[1].brokerText, "价格由 12.000 调为 11.280：超出涨停价");
  EXPECT_EQ(host.orders[2].sellPrice, "12.000") << "no band is guessed for a new listing";
  EXPECT_EQ(host.started[2].brokerText, "");
  ASSERT_EQ(host.notPlaced.size(), 3u);
  EXPECT_EQ(host.notPlaced[0].monitorId, 1);
  EXPECT_EQ(host.notPlaced[0].brokerText, "卖出价 12.000 高于涨停价 11.000");
  EXPECT_EQ(host.notPlaced[1].monitorId, 2);
  EXPECT_EQ(host.notPlaced[1].brokerText, "买入价 8.500 低于跌停价 9.000");
  EXPECT_EQ(host.notPlaced[2].monitorId, 4);
  EXPECT_EQ(host.notPlaced[2].brokerText, "买入数量0不足一手");
  for (const TOrderOutcome& o : host.notPlaced) EXPECT_EQ(o.result, OrderResult::NotPlaced);
  // The trade log lines keep their layout: the price meant, the quantity set.
  const std::string log = TradeLog();
  EXPECT_NE(log.find(base::Utf8ToGbkLossy("600000, 浦发银行, 卖出, 按时间监控, 10.500, 12.000, 1000, tester")),
            std::string::npos);
  EXPECT_NE(log.find(base::Utf8ToGbkLossy("600000, 浦发银行, 买入, 按时间监控, 10.500, 10.500, 0, tester")),
            std::string::npos);
}

// The base of a target's order is its last trade: a newest report without
// one (price 0) does not wipe the trade of a moment before, but a trade of
// an earlier day is no base.
TEST_F(LoopFixture, AnUntradedReportOfTheTargetKeepsItsLastTradeAsTheBase) {
  TPolicyRecord index = Monitor(1, kKindIndex, "000001", 3000.0f, 20.0f, kUnitPoint, kDirRise);
  SetTargetCode(index, "510050");
  SetTargetName(index, "50ETF");
  index.tradeType = kTradeSell;
  Add(index);
  TPolicyRecord price = Monitor(2, kKindPrice, "600000", 10.0f, 0.5f, kUnitYuan, kDirRise);
  price.targetFlag = 1;
  SetTargetCode(price, "510050");
  SetTargetName(price, "50ETF");
  price.tradeType = kTradeBuy;
  price.quantity = 100;
  Add(price);
  TPolicyRecord late = Monitor(3, kKindIndex, "399001", 9000.0f, 20.0f, kUnitPoint, kDirRise);
  SetTargetCode(late, "510300");
  late.tradeType = kTradeSell;
  Add(late);

  loop.Run(Quote("510050", 2.5f, "50ETF", 2.48f, 2.501f, 2.5f));  // traded
  host.reports["510050"] = Quote("510050", 0.0f, "50ETF", 2.48f, 2.502f, 2.499f);  // newest: no trade
  quotes::TQuoteReport yesterday = Quote("510300", 4.0f, "300ETF", 3.9f);
  yesterday.quoteTime -= 86400;
  loop.Run(yesterday);
  host.reports["510300"] = Quote("510300", 0.0f, "300ETF", 4.0f);
  loop.Run(Quote("000001", 3100.0f, "上证指数", 3000.0f));
  loop.Run(Quote("600000", 11.0f, "浦发银行", 10.5f));
  loop.Run(Quote("399001", 9100.0f, "深证成指", 9000.0f));

  ASSERT_EQ(host.orders.size(), 2u);
  EXPECT_EQ(host.orders[0].code, "510050");
  EXPECT_EQ(host.orders[0].sellPrice, "2.475") << "2.500 - 10 per mille";
  EXPECT_EQ(host.orders[1].buyPrice, "2.525");
  ASSERT_EQ(host.notPlaced.size(), 1u);
  EXPECT_EQ(host.notPlaced[0].monitorId, 3);
  EXPECT_EQ(host.notPlaced[0].brokerText, "目标证券没有成交价，委托价格错误");
}

TEST(OrderPrice, TheWorkedExamples) {
  EXPECT_EQ(base::FormatPrice(OrderPrice(2, 10.00f, 10.00f, kOptUnitPerMille, 10.0f)), "9.900");
  EXPECT_EQ(base::FormatPrice(OrderPrice(1, 7.71f, 7.71f, kOptUnitYuan, 0.02f)), "7.730");
  EXPECT_EQ(base::FormatPrice(OrderPrice(1, 20.00f, 21.00f, kOptUnitPerMille, 10.0f)), "20.210");
  EXPECT_EQ(OrderPrice(2, 0.05, 0.05, kOptUnitYuan, 0.1f), 0.0) << "never below 0";
  EXPECT_EQ(base::FormatPrice(OrderPrice(1, 0.0, 0.0, kOptUnitYuan, 0.1f)), "0.100");
  EXPECT_EQ(base::FormatPrice(OrderPrice(2, 10.0, 10.0, kOptUnitPerMille, -10.0f)), "9.900") << "absolute value";
}

namespace {

quotes::TQuoteReport Stamped(const std::string& code, float price, int year, int month, int day, int hour, int minute,
                             int second) {
  quotes::TQuoteReport r = testing_support::Report(code, price);
  r.prevClose = price > 0 ? price : 20.0f;  // the day's band holds the order price
  EXPECT_TRUE(quotes::LocalTimeToQuoteTime(year, month, day, hour, minute, second, r.quoteTime));
  return r;
}

}  // namespace

// Only a live trade fires: a report of today (Beijing, from the market
// clock, whatever the local one says), a weekday, no older than the last
// one of its security, stamped at a trading time.
TEST_F(LoopFixture, OnlyALiveTradeFires) {
  // A PC in New York: its local clock is still on Thursday evening.
  host.now = base::EncodeDateTime(2012, 5, 17, 22, 31, 7);
  host.market = base::EncodeDateTime(2012, 5, 18, 10, 31, 7);
  struct Case {
    const char* code;
    int day, hour, minute, second;
    bool fires;
  };
  const Case cases[] = {
      {"600001", 17, 10, 0, 0, false},   // yesterday's report (a start-up, a lagging source)
      {"600002", 18, 9, 24, 59, false},  // the opening auction's indicative price
      {"600003", 18, 9, 25, 0, true},    // the opening auction's result
      {"600004", 18, 11, 30, 0, true},   {"600005", 18, 11, 30, 1, false},
      {"600006", 18, 12, 59, 59, false}, {"600007", 18, 13, 0, 0, true},
      {"600008", 18, 15, 0, 0, true},    {"600009", 18, 15, 0, 1, false},
      {"600010", 19, 10, 0, 0, false},  // another day's, even a later one
  };
  int32_t id = 1;
  for (const Case& c : cases) Add(Monitor(id++, kKindLossLimit, c.code, 10.0f, 0.5f));
  for (const Case& c : cases) {
    host.orders.clear();
    loop.Run(Stamped(c.code, 9.0f, 2012, 5, c.day, c.hour, c.minute, c.second));
    EXPECT_EQ(host.orders.size(), c.fires ? 1u : 0u) << c.code;
  }

  // An older report after a newer one is not tested; one of the same second is.
  list.RemoveAll();
  host.orders.clear();
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  loop.Run(Stamped("600000", 10.2f, 2012, 5, 18, 10, 31, 0));
  loop.Run(Stamped("600000", 9.0f, 2012, 5, 18, 10, 30, 59));
  EXPECT_TRUE(host.orders.empty());
  EXPECT_EQ(Get(1).newestPrice, 10.2f) << "the older report is not even tracked";
  loop.Run(Stamped("600000", 9.0f, 2012, 5, 18, 10, 31, 0));
  EXPECT_EQ(host.orders.size(), 1u);

  // Saturday: the report of the day fires nothing, not even a time monitor.
  list.RemoveAll();
  host.orders.clear();
  host.now = host.market = base::EncodeDateTime(2012, 5, 19, 10, 0, 0);
  Add(Monitor(1, kKindLossLimit, "600000", 10.0f, 0.5f));
  TPolicyRecord time = Monitor(2, kKindTime, "600000", 20.0f);
  time.orderTime = base::EncodeTime(10, 0, 0);
  time.optUnit = kOptUnitYuan;
  Add(time);
  loop.Run(Stamped("600000", 9.0f, 2012, 5, 19, 10, 0, 0));
  EXPECT_TRUE(host.orders.empty());
  EXPECT_EQ(Get(2).state, kStateRunning);
}

// Inside the opening auction (9:15 to 9:25) only a time monitor set there
// that orders at its own price fires; there is no trade yet, so its price
// cannot come from the quote.
TEST_F(LoopFixture, TheOpeningAuctionFiresOnlyTimeMonitorsAtTheirOwnPrice) {
  host.now = host.market = base::EncodeDateTime(2012, 5, 18, 9, 20, 0);
  auto timeMonitor = [&](int32_t id, int hour, int minute) {
    TPolicyRecord m = Monitor(id, kKindTime, "600000", 20.0f);
    m.orderTime = base::EncodeTime(hour, minute, 0);
    m.tradeType = 1;
    m.optUnit = kOptUnitYuan;
    m.optAmount = 0.01f;
    return m;
  };
  Add(timeMonitor(1, 9, 20));  // the set price and a yuan adjustment
  TPolicyRecord tradePrice = timeMonitor(2, 9, 20);
  tradePrice.priceBasis = kBasisTradePrice;
  Add(tradePrice);
  TPolicyRecord perMille = timeMonitor(3, 9, 20);
  perMille.optUnit = kOptUnitPerMille;
  perMille.optAmount = 10.0f;
  Add(perMille);
  Add(Monitor(4, kKindPrice, "600000", 10.0f, 0.5f, kUnitYuan, kDirRise));
  loop.Run(Stamped("600000", 0.0f, 2012, 5, 18, 9, 20, 0));  // no trade yet
  loop.Run(Stamped("600000", 20.5f, 2012, 5, 18, 9, 20, 1));  // an indicative price
  ASSERT_EQ(host.orders.size(), 1u);
  EXPECT_EQ(host.orders[0].buyPrice, "20.010");
  EXPECT_EQ(Get(1).state, kStateTriggered);
  for (int32_t id : {2, 3, 4}) EXPECT_EQ(Get(id).state, kStateRunning) << id;

  // Before the auction nothing fires, whatever the price comes from.
  host.orders.clear();
  list.RemoveAll();
  host.now = host.market = base::EncodeDateTime(2012, 5, 18, 9, 10, 0);
  Add(timeMonitor(5, 9, 10));
  loop.Run(Stamped("600000", 0.0f, 2012, 5, 18, 9, 10, 0));
  EXPECT_TRUE(host.orders.empty());

  // From the auction's result on, a time monitor may order at the trade price.
  host.now = host.market = base::EncodeDateTime(2012, 5, 18, 9, 25, 0);
  tradePrice.id = 6;
  tradePrice.orderTime = base::EncodeTime(9, 25, 0);
  Add(tradePrice);
  loop.Run(Stamped("600000", 21.0f, 2012, 5, 18, 9, 25, 0));
  ASSERT_EQ(host.orders.size(), 1u);
  EXPECT_EQ(host.orders[0].buyPrice, "21.010");
}
