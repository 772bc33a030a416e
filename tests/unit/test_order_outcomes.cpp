// Orders the exchange accepts (tick, daily band, lots, no price from
// nothing) and the broker's answer read from the trading program's boxes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/ini_file.h"
#include "base/text.h"
#include "policy/unt_orderrules.h"
#include "support/temp_dir.h"
#include "support/trading_fake_desktop.h"
#include "trading/unt_orderwatch.h"
#include "trading/unt_simulator.h"

using namespace policy;
using testing_support::FakeDesktop;

namespace {

std::string Valid(uint8_t side, double price, const std::string& code, const std::string& name = "浦发银行",
                  double prevClose = 0) {
  const SecurityRules rules = RulesOf(code, name);
  return base::FormatPrice(ValidOrderPrice(side, price, rules, DailyBand(rules, prevClose)));
}

}  // namespace

TEST(OrderRules, PricesGoOntoTheTickUpForABuyDownForASell) {
  // Shares in 0.01 steps, also for prices whose binary form lies just off a step.
  EXPECT_EQ(Valid(kTradeBuy, 10.098, "600000"), "10.100");
  EXPECT_EQ(Valid(kTradeSell, 10.098, "600000"), "10.090");
  EXPECT_EQ(Valid(kTradeBuy, 10.0 + 0.1, "000001"), "10.100");
  EXPECT_EQ(Valid(kTradeSell, 7.71 + 0.02, "000001"), "7.730");
  EXPECT_EQ(Valid(kTradeSell, 9.9, "600000"), "9.900");
  // Funds and ETFs: 5xxxxx on Shanghai, 1xxxxx on Shenzhen, in 0.001 steps.
  EXPECT_EQ(Valid(kTradeBuy, 3.2114, "510300"), "3.211");
  EXPECT_EQ(Valid(kTradeSell, 3.2116, "159915"), "3.212");
  EXPECT_EQ(Valid(kTradeBuy, 3.2114, "600000"), "3.220");
  EXPECT_EQ(Valid(kTradeBuy, 0, "600000"), "0.000");
}

TEST(OrderRules, DailyBandPerBoardAndSpecialTreatment) {
  const auto band = [](const std::string& code, const std::string& name, double close) {
    const PriceBand b = DailyBand(RulesOf(code, name), close);
    return base::FormatPrice(b.down) + " " + base::FormatPrice(b.up);
  };
  EXPECT_EQ(band("600000", "浦发银行", 10.00), "9.000 11.000");
  EXPECT_EQ(band("000001", "平安银行", 10.05), "9.050 11.060");  // 11.055 rounds half up
  EXPECT_EQ(band("300750", "宁德时代", 200.01), "160.010 240.010");
  EXPECT_EQ(band("301001", "凯淳股份", 33.33), "26.660 40.000");
  EXPECT_EQ(band("688981", "中芯国际", 55.55), "44.440 66.660");
  EXPECT_EQ(band("830799", "艾融软件", 20.00), "14.000 26.000");
  EXPECT_EQ(band("920002", "万达轴承", 20.00), "14.000 26.000");
  EXPECT_EQ(band("600234", "*ST科新", 3.33), "3.160 3.500");
  EXPECT_EQ(band("000004", "ST国华", 10.01), "9.510 10.510");
  // The growth boards keep 20 % for special treatment.
  EXPECT_EQ(band("300117", "ST嘉寓", 2.00), "1.600 2.400");
  EXPECT_EQ(band("510300", "沪深300ETF", 4.000), "3.600 4.400");
  EXPECT_FALSE(DailyBand(RulesOf("600000", ""), 0).known);

  // A buy is held at limit-up, a sell at limit-down.
  EXPECT_EQ(Valid(kTradeBuy, 11.2, "600000", "浦发银行", 10.0), "11.000");
  EXPECT_EQ(Valid(kTradeSell, 8.5, "600000", "浦发银行", 10.0), "9.000");
  EXPECT_EQ(Valid(kTradeSell, 3.0, "600234", "*ST科新", 3.33), "3.160");
  EXPECT_EQ(Valid(kTradeBuy, 10.5, "600000", "浦发银行", 10.0), "10.500");
}

TEST(OrderRules, BuysInWholeLots) {
  EXPECT_EQ(WholeLots(RulesOf("600000", ""), 150), 100);
  EXPECT_EQ(WholeLots(RulesOf("600000", ""), 99), 0);
  EXPECT_EQ(WholeLots(RulesOf("688981", ""), 199), 0);
  EXPECT_EQ(WholeLots(RulesOf("688981", ""), 201), 201);
  EXPECT_EQ(WholeLots(RulesOf("830799", ""), 150), 150);
  EXPECT_EQ(BuyLotError("600000", 1000), "");
  EXPECT_EQ(BuyLotError("600000", 150), "买入数量必须为100的整数倍！");
  EXPECT_EQ(BuyLotError("688981", 100), "买入数量至少为200股！");
  EXPECT_EQ(BuyLotError("688981", 250), "");
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
