// Orders the exchange accepts (tick, daily band, lots, no price from
// nothing) and the broker's answer read from the trading program's boxes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/files.h"
#include "base/ini_file.h"
#include "base/text.h"
#include "policy/unt_orderrules.h"
#include "support/source_dir.h"
#include "support/temp_dir.h"
#include "support/trading_fake_desktop.h"
#include "trading/unt_orderwatch.h"
#include "trading/unt_simulator.h"

using namespace policy;
using testing_support::FakeDesktop;

namespace {

// What the exchanges' rules say of one security, written from the rules
// (the sources and dates are in dist/traderules.ini), not from the code.
struct RuleCase {
  const char* code;
  const char* name;  // as today's quote shows it
  double prevClose;
  const char* band;  // "down up", or "" when no band applies or none is known
  const char* step;
  int32_t minBuy, buyStep;
  int cagePercent, cageTicks;
};

std::string BandText(const SecurityRules& r, double close) {
  const PriceBand b = DailyBand(r, close);
  return b.known ? base::FormatPrice(b.down) + " " + base::FormatPrice(b.up) : "";
}

std::string Step(const SecurityRules& r) { return base::FormatPrice(1.0 / static_cast<double>(r.ticksPerYuan)); }

}  // namespace

TEST(OrderRules, BoardsStepsLotsBandsAndCagesAsTheExchangesSetThem) {
  const RuleCase cases[] = {
      // Main boards: 10 %, half up to 0.01; 100-share lots; cage 2 % or ten ticks.
      {"600000", "浦发银行", 10.00, "9.000 11.000", "0.010", 100, 100, 2, 10},
      {"000001", "平安银行", 10.05, "9.050 11.060", "0.010", 100, 100, 2, 10},  // 11.055 half up
      {"605599", "菜百股份", 12.34, "11.110 13.570", "0.010", 100, 100, 2, 10},  // 11.106, 13.574
      // Special treatment on the main boards: 10 % since July 2025 (it was 5 %).
      {"600234", "*ST科新", 3.33, "3.000 3.660", "0.010", 100, 100, 2, 10},
      {"000004", "ST国华", 10.01, "9.010 11.010", "0.010", 100, 100, 2, 10},
      // ChiNext: 20 %, special treatment too; lots of 100.
      {"300750", "宁德时代", 200.01, "160.010 240.010", "0.010", 100, 100, 2, 10},
      {"300117", "ST嘉寓", 2.00, "1.600 2.400", "0.010", 100, 100, 2, 10},
      // STAR: 20 %, 200 shares at least then any number; cage 2 % only.
      {"688981", "中芯国际", 55.55, "44.440 66.660", "0.010", 200, 1, 2, 0},
      // Beijing: 30 %, 100 at least then any number; cage 5 % or ten ticks.
      {"830799", "艾融软件", 20.00, "14.000 26.000", "0.010", 100, 1, 5, 10},
      {"920002", "万达轴承", 20.00, "14.000 26.000", "0.010", 100, 1, 5, 10},
      // B shares: Shanghai in 0.001 dollars and lots of 1000, Shenzhen in 0.01 HK dollars.
      {"900901", "云赛B股", 0.500, "0.450 0.550", "0.001", 1000, 1000, 0, 0},
      {"200002", "万科B", 5.00, "4.500 5.500", "0.010", 100, 100, 0, 0},
      // Funds in 0.001; STAR and ChiNext ETFs 20 %; a Shenzhen fund whose
      // index the code does not tell has no band we could know.
      {"510300", "沪深300ETF", 4.000, "3.600 4.400", "0.001", 100, 100, 0, 0},
      {"588000", "科创50ETF", 1.000, "0.800 1.200", "0.001", 100, 100, 0, 0},
      {"159915", "创业板ETF", 2.000, "1.600 2.400", "0.001", 100, 100, 0, 0},
      {"159919", "沪深300ETF", 4.000, "", "0.001", 100, 100, 0, 0},
      // Convertible bonds (2022 rules): 20 %, 0.001, lots of 10 bonds.
      {"113050", "南银转债", 120.000, "96.000 144.000", "0.001", 10, 10, 0, 0},
      {"123107", "温氏转债", 130.000, "104.000 156.000", "0.001", 10, 10, 0, 0},
      // No band on a listing's first days ("N" first day, "C" days 2 to 5),
      // on a delisting period's first day, or without today's name.
      {"688001", "N华兴", 40.00, "", "0.010", 200, 1, 2, 0},
      {"301999", "C新材", 40.00, "", "0.010", 100, 100, 2, 10},
      {"600087", "退市长油", 1.00, "", "0.010", 100, 100, 2, 10},
      {"600000", "", 10.00, "", "0.010", 100, 100, 2, 10},
      // A code no class covers: nothing is known, nothing is changed.
      {"999999", "某证券", 10.00, "", "0.001", 1, 1, 0, 0},
  };
  for (const RuleCase& c : cases) {
    const SecurityRules r = RulesOf(c.code, c.name);
    SCOPED_TRACE(std::string(c.code) + " " + c.name);
    EXPECT_EQ(BandText(r, c.prevClose), c.band);
    EXPECT_EQ(Step(r), c.step);
    EXPECT_EQ(r.minBuy, c.minBuy);
    EXPECT_EQ(r.buyStep, c.buyStep);
    EXPECT_EQ(r.cagePercent, c.cagePercent);
    EXPECT_EQ(r.cageTicks, c.cageTicks);
  }
  EXPECT_FALSE(DailyBand(RulesOf("600000", "浦发银行"), 0).known);

  // Whole lots and the editors' refusal of a buy that is none.
  EXPECT_EQ(WholeLots(RulesOf("600000", ""), 150), 100);
  EXPECT_EQ(WholeLots(RulesOf("600000", ""), 99), 0);
  EXPECT_EQ(WholeLots(RulesOf("600000", ""), 0), 0);
  EXPECT_EQ(WholeLots(RulesOf("688981", ""), 199), 0);
  EXPECT_EQ(WholeLots(RulesOf("688981", ""), 201), 201);
  EXPECT_EQ(WholeLots(RulesOf("830799", ""), 150), 150);
  EXPECT_EQ(WholeLots(RulesOf("113050", ""), 25), 20);
  EXPECT_EQ(WholeLots(RulesOf("900901", ""), 1500), 1000);
  EXPECT_EQ(BuyLotError("600000", 1000), "");
  EXPECT_EQ(BuyLotError("600000", 150), "买入数量必须为100的整数倍！");
  EXPECT_EQ(BuyLotError("688981", 100), "买入数量至少为200股！");
  EXPECT_EQ(BuyLotError("688981", 250), "");
  EXPECT_EQ(BuyLotError("113050", 30), "");
  EXPECT_EQ(BuyLotError("113050", 15), "买入数量必须为10的整数倍！");
  EXPECT_EQ(BuyLotError("900901", 500), "买入数量必须为1000的整数倍！");
}

TEST(OrderRules, APriceMovesOnlyInTheUsersFavourOrNothingIsSent) {
  const SecurityRules main = RulesOf("600000", "浦发银行");
  const PriceBand band = DailyBand(main, 10.00);  // 9.00 to 11.00
  const auto decide = [&](uint8_t side, double price, const SecurityRules& r = RulesOf("600000", "浦发银行"),
                          PriceBand b = DailyBand(RulesOf("600000", "浦发银行"), 10.00), CageReference c = {}) {
    const PriceDecision d = DecideOrderPrice(side, price, r, b, c);
    return base::FormatPrice(d.price) + "|" + d.note + "|" + d.refused;
  };
  // A buy above limit-up is lowered, a sell below limit-down raised: both
  // better for the user, both said.
  EXPECT_EQ(decide(kTradeBuy, 12.0), "11.000|价格由 12.000 调为 11.000：超出涨停价|");
  EXPECT_EQ(decide(kTradeSell, 8.5), "9.000|价格由 8.500 调为 9.000：低于跌停价|");
  // The other way would be worse than the user's own limit: nothing goes.
  EXPECT_EQ(decide(kTradeSell, 12.0), "0.000||卖出价 12.000 高于涨停价 11.000");
  EXPECT_EQ(decide(kTradeBuy, 8.5), "0.000||买入价 8.500 低于跌停价 9.000");
  EXPECT_EQ(decide(kTradeBuy, 11.0), "11.000||");
  EXPECT_EQ(decide(kTradeSell, 9.0), "9.000||");
  // Onto the tick: a buy down, a sell up; float sums that show a step are one.
  EXPECT_EQ(decide(kTradeBuy, 10.005), "10.000|价格由 10.005 调为 10.000：按最小变动单位 0.01|");
  EXPECT_EQ(decide(kTradeSell, 10.005), "10.010|价格由 10.005 调为 10.010：按最小变动单位 0.01|");
  EXPECT_EQ(decide(kTradeSell, 7.71 + 0.02, main, {}), "7.730||");
  EXPECT_EQ(decide(kTradeBuy, 3.2114, RulesOf("510300", "沪深300ETF"), {}), "3.211||");
  EXPECT_EQ(decide(kTradeBuy, 0.004), "0.000||委托价格错误");
  EXPECT_EQ(decide(kTradeBuy, 0), "0.000||委托价格错误");
  // No band known: the user's price goes as it is.
  EXPECT_EQ(decide(kTradeBuy, 8.5, RulesOf("600000", "N浦发"), {}), "8.500||");

  // The cage of continuous trading, from the best ask for a buy and the
  // best bid for a sell: 2 % or ten ticks, whichever is wider.
  const CageReference at10{true, 10.00, 10.00};
  EXPECT_EQ(decide(kTradeBuy, 10.50, main, band, at10), "10.200|价格由 10.500 调为 10.200：超出价格笼子上限|");
  EXPECT_EQ(decide(kTradeSell, 9.50, main, band, at10), "9.800|价格由 9.500 调为 9.800：低于价格笼子下限|");
  EXPECT_EQ(decide(kTradeBuy, 10.20, main, band, at10), "10.200||");
  const CageReference at2{true, 2.00, 2.00};
  const PriceBand band2 = DailyBand(main, 2.00);
  EXPECT_EQ(decide(kTradeBuy, 2.20, main, band2, at2), "2.100|价格由 2.200 调为 2.100：超出价格笼子上限|");
  EXPECT_EQ(decide(kTradeSell, 1.80, main, band2, at2), "1.900|价格由 1.800 调为 1.900：低于价格笼子下限|");
  const SecurityRules star = RulesOf("688981", "中芯国际");
  EXPECT_EQ(decide(kTradeBuy, 2.20, star, DailyBand(star, 2.00), at2),
            "2.040|价格由 2.200 调为 2.040：超出价格笼子上限|");
  const SecurityRules bj = RulesOf("830799", "艾融软件");
  EXPECT_EQ(decide(kTradeBuy, 11.0, bj, DailyBand(bj, 10.00), at10),
            "10.500|价格由 11.000 调为 10.500：超出价格笼子上限|");
  // Band and cage together, in one note; outside continuous trading no cage.
  EXPECT_EQ(decide(kTradeBuy, 12.004, main, band, CageReference{true, 10.90, 10.80}),
            "11.000|价格由 12.004 调为 11.000：按最小变动单位 0.01，超出涨停价|");
  EXPECT_EQ(decide(kTradeBuy, 11.0, main, band, CageReference{true, 10.50, 10.40}),
            "10.710|价格由 11.000 调为 10.710：超出价格笼子上限|");
  EXPECT_EQ(decide(kTradeBuy, 10.50, main, band, CageReference{false, 10.00, 10.00}), "10.500||");
}

// The rules table ships as a file: the built-in table is the same, a missing
// file falls back to it, and a changed rule is a file edit.
TEST(OrderRules, TheShippedTableIsTheBuiltInOneAndAnEditChangesTheRules) {
  bool fromFile = false;
  const TTradeRules shipped =
      TTradeRules::Load(std::string(QvSourceDir()) + "/dist/" + kTradeRulesFile, &fromFile);
  EXPECT_TRUE(fromFile);
  const TTradeRules builtIn = TTradeRules::Defaults();
  ASSERT_EQ(shipped.classes.size(), builtIn.classes.size());
  for (size_t i = 0; i < builtIn.classes.size(); ++i) EXPECT_EQ(shipped.classes[i], builtIn.classes[i]) << builtIn.classes[i].name;
  EXPECT_EQ(shipped, builtIn);

  testing_support::TempDir dir;
  EXPECT_EQ(TTradeRules::Load(dir.File("traderules.ini"), &fromFile), builtIn);
  EXPECT_FALSE(fromFile);
  std::string bytes = *base::ReadFileBytes(std::string(QvSourceDir()) + "/dist/" + kTradeRulesFile);
  base::AtomicReplace(dir.File("traderules.ini"), bytes);
  base::IniFile edited(dir.File("traderules.ini"));
  edited.WriteString("沪市主板", "风险警示涨跌幅", "5");
  edited.WriteString("北交所", "笼子比例", "");
  const TTradeRules mine = TTradeRules::Load(dir.File("traderules.ini"), &fromFile);
  EXPECT_TRUE(fromFile);
  EXPECT_EQ(mine.Of("600234", "*ST科新").bandPercent, 5);
  EXPECT_EQ(mine.Of("600000", "浦发银行").bandPercent, 10);
  EXPECT_EQ(mine.Of("830799", "艾融软件").cagePercent, 0);
  // Installed as the program's rules, the editors' and the orders' checks follow.
  SetCurrentTradeRules(mine);
  EXPECT_EQ(BandText(RulesOf("600234", "*ST科新"), 3.33), "3.160 3.500");
  LoadTradeRules(base::PathToUtf8(dir.path()) + "/");
  EXPECT_EQ(RulesOf("600234", "*ST科新").bandPercent, 5);
  SetCurrentTradeRules(TTradeRules::Defaults());
  // A file with no class at all is no table.
  base::AtomicReplace(dir.File("traderules.ini"), "[通用]\r\n");
  EXPECT_EQ(TTradeRules::Load(dir.File("traderules.ini"), &fromFile), builtIn);
  EXPECT_FALSE(fromFile);
}

TEST(OrderAnswer, ClassifiesTheBrokersWording) {
  const trading::OutcomeWords words = trading::OutcomeWords::Defaults();
  const auto classify = [&](std::vector<std::string> boxes) { return trading::ClassifyBoxes(boxes, words); };
  const std::string confirm = "买入 600000 价格 10.100 数量 100 是否确认委托？";

  auto c = classify({confirm, "委托已成功提交，合同编号：10001"});
  EXPECT_EQ(c.result, OrderResult::Accepted);
  EXPECT_EQ(c.orderNumber, "10001");
  // Other brokers' usual answers.
  c = classify({"您的买入委托已成功提交，委托编号为 A3052"});
  EXPECT_EQ(c.result, OrderResult::Accepted);
  EXPECT_EQ(c.orderNumber, "A3052");
  c = classify({"委托成功！合同号: 88"});
  EXPECT_EQ(c.orderNumber, "88");
  c = classify({"下单成功 申请编号【20231201】"});
  EXPECT_EQ(c.result, OrderResult::Accepted);
  EXPECT_EQ(c.orderNumber, "20231201");
  EXPECT_EQ(classify({"委托已提交"}).result, OrderResult::Accepted);

  for (const char* refusal : {"可用资金不足", "委托价格超出涨跌停限制", "委托数量必须为100的整数倍",
                              "[251005][证券可用数量不足]", "下单失败：该股票停牌，不允许交易",
                              "交易所拒绝：非交易时间", "价格无效", "委托失败，委托编号0"}) {
    c = classify({confirm, refusal});
    EXPECT_EQ(c.result, OrderResult::Refused) << refusal;
    EXPECT_EQ(c.text, refusal);
    EXPECT_EQ(c.orderNumber, "");
  }
  c = classify({confirm, "请稍候"});
  EXPECT_EQ(c.result, OrderResult::Unknown);
  EXPECT_EQ(c.text, confirm + " / 请稍候");
  EXPECT_EQ(classify({}).result, OrderResult::Unknown);

  // A user's own words, from orderwords.ini.
  testing_support::TempDir dir;
  const std::string ini = dir.File("orderwords.ini");
  base::IniFile(ini).WriteString("委托结果", "失败", "废单|作废");
  base::IniFile(ini).WriteInteger("委托结果", "观察毫秒", 5000);
  const trading::OutcomeWords mine = trading::OutcomeWords::Load(ini);
  EXPECT_EQ(trading::ClassifyBoxes({"该笔委托已成废单"}, mine).result, OrderResult::Refused);
  EXPECT_EQ(trading::ClassifyBoxes({"可用资金不足"}, mine).result, OrderResult::Unknown);
  EXPECT_EQ(mine.accepted, words.accepted);
  EXPECT_EQ(mine.watchMs, 5000u);
  EXPECT_EQ(trading::OutcomeWords::Load(dir.File("missing.ini")).refused, words.refused);
}

namespace {

// A trading program that answers like a broker: the order button asks for
// confirmation, Enter closes the box in front and shows the next answer.
class BrokerDesktop : public FakeDesktop {
 public:
  uint32_t pid = 9;
  std::vector<std::string> answers;  // shown one after another, each after an Enter
  std::vector<trading::WindowHandle> boxes;

  trading::WindowHandle OpenBox(const std::string& text) {
    const trading::WindowHandle box = AddTopLevel("提示", pid);
    windows[box].className = "#32770";
    windows[AddChild(box, "Static", 0xFFFF)].title = text;
    windows[AddChild(box, "Button", 1)].title = "确定";
    boxes.push_back(box);
    return box;
  }
  void KeybdEvent(uint8_t code, uint8_t scan, uint32_t flags) override {
    FakeDesktop::KeybdEvent(code, scan, flags);
    if (code != trading::kVkReturn || (flags & trading::kKeyEventKeyUp) || boxes.empty()) return;
    Close(boxes.back());
    boxes.pop_back();
    if (!answers.empty()) {
      OpenBox(answers.front());
      answers.erase(answers.begin());
    }
  }
};

policy::TOrderOutcome Pending(int32_t id) {
  policy::TOrderOutcome o;
  o.monitorId = id;
  o.code = "600000";
  o.side = "买入";
  return o;
}

}  // namespace

// The control-level script presses the order button and then Enter three
// times: the broker's answer box is gone before the script ends, so it must
// be read before each key.
TEST(OrderAnswer, TheBrokersBoxIsReadBeforeTheScriptClosesIt) {
  for (const bool readBeforeKeys : {true, false}) {
    BrokerDesktop desk;
    testing_support::FakeMainWindow main;
    app::ProcessFlags flags;
    settings::TTradingProfile profile;
    profile.windowTitle = "网上股票交易系统";
    profile.binding = 1;
    trading::TTradingOptions options;
    trading::TTradingWindow window(desk, main, flags, profile, options);
    const auto program = testing_support::AddTradingProgram(desk, profile.windowTitle, desk.pid);
    window.AssociateTradingWindow();
    desk.onPost = [&] {
      if (desk.log.back().starts_with("post " + std::to_string(program.buy.order) + " 0202")) {
        desk.OpenBox("买入 600000 价格 10.100 数量 100 是否确认委托？");
        desk.answers = {"可用资金不足"};
      }
    };
    int64_t clock = 0;
    trading::TOrderWatch watch(desk, [&] { return clock; });
    std::vector<policy::TOrderOutcome> final;
    watch.onFinal = [&](const policy::TOrderOutcome& o) { final.push_back(o); };
    trading::TOrderPlacer placer(desk, main, window, profile);
    if (readBeforeKeys) placer.beforeInput = [&] { watch.Scan(); };

    policy::TTradeRecord order;
    order.tradeType = kTradeBuy;
    order.code = "600000";
    order.buyPrice = "10.100";
    order.buyQuantity = "100";
    watch.Begin(Pending(4), window.Window());
    placer.PlaceOrder(order);
    watch.ScriptEnded();
    EXPECT_TRUE(desk.boxes.empty());
    clock += 2999;
    watch.Tick();
    EXPECT_TRUE(final.empty());
    clock += 1;
    watch.Tick();
    ASSERT_EQ(final.size(), 1u);
    EXPECT_FALSE(watch.Watching());
    if (readBeforeKeys) {
      EXPECT_EQ(final[0].result, OrderResult::Refused);
      EXPECT_EQ(final[0].brokerText, "可用资金不足");
    } else {
      EXPECT_EQ(final[0].result, OrderResult::Unknown);  // what an after-only watch would see
    }
  }
}

// A box that names no order goes to the one still waiting for its answer,
// also after its script; boxes that stood before the first order, or of
// other programs, belong to none.
TEST(OrderAnswer, BoxesAreMatchedToTheirOrders) {
  BrokerDesktop desk;
  const trading::WindowHandle trader = desk.AddTopLevel("网上股票交易系统", desk.pid);
  desk.OpenBox("早先的提示：系统错误");
  int64_t clock = 0;
  trading::TOrderWatch watch(desk, [&] { return clock; });
  std::vector<policy::TOrderOutcome> final;
  watch.onFinal = [&](const policy::TOrderOutcome& o) { final.push_back(o); };

  policy::TOrderOutcome first = Pending(1);
  first.brokerText = "买入数量150不是整手，按100股下单";
  watch.Begin(first, trader);
  desk.OpenBox("委托已成功提交，合同编号：501");
  watch.ScriptEnded();  // read when the script ends, then closed by the user
  desk.Close(desk.boxes.back());
  desk.boxes.pop_back();
  clock = 1000;
  const trading::WindowHandle late = desk.OpenBox("补充提示");  // after the script: still the first order's
  watch.Tick();
  desk.Close(late);
  desk.boxes.pop_back();

  watch.Begin(Pending(2), trader);
  const trading::WindowHandle other = desk.AddTopLevel("别的程序", 77);
  desk.windows[other].className = "#32770";
  desk.OpenBox("可用资金不足");  // during the second script
  clock = 2000;
  watch.Tick();
  EXPECT_TRUE(final.empty());  // the first one's time is not up
  watch.ScriptEnded();
  clock = 3000;
  watch.Tick();
  ASSERT_EQ(final.size(), 1u);
  EXPECT_EQ(final[0].monitorId, 1);
  EXPECT_EQ(final[0].result, OrderResult::Accepted);
  EXPECT_EQ(final[0].orderNumber, "501");
  EXPECT_EQ(final[0].brokerText, "买入数量150不是整手，按100股下单；委托已成功提交，合同编号：501");
  clock = 4999;
  watch.Tick();
  EXPECT_EQ(final.size(), 1u);
  clock = 5000;
  watch.Tick();
  ASSERT_EQ(final.size(), 2u);
  EXPECT_EQ(final[1].monitorId, 2);
  EXPECT_EQ(final[1].result, OrderResult::Refused);
  EXPECT_EQ(final[1].brokerText, "可用资金不足");
}
