// Whose answer a broker's box is: matched by what it says, never by which
// order script happened to run when it came.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/trading_fake_desktop.h"
#include "trading/unt_orderwatch.h"

using policy::OrderResult;
using testing_support::FakeDesktop;

namespace {

policy::TOrderOutcome Order(int32_t id, const std::string& code, const std::string& side, const std::string& price,
                            const std::string& quantity) {
  policy::TOrderOutcome o;
  o.monitorId = id;
  o.code = code;
  o.side = side;
  o.price = price;
  o.quantity = quantity;
  return o;
}

// A trading program whose boxes come and go as a test says.
struct Broker {
  FakeDesktop desk;
  const uint32_t pid = 9;
  trading::WindowHandle main = desk.AddTopLevel("网上股票交易系统", pid);
  int64_t clock = 0;
  trading::TOrderWatch watch{desk, [this] { return clock; }};
  std::vector<policy::TOrderOutcome> final;

  Broker() {
    watch.onFinal = [this](const policy::TOrderOutcome& o) { final.push_back(o); };
  }
  // A box with its text in a control of `kind` ("Static", "Edit", "RichEdit20W").
  trading::WindowHandle Box(const std::string& text, const std::string& kind = "Static") {
    const trading::WindowHandle box = desk.AddTopLevel("提示", pid);
    desk.windows[box].className = "#32770";
    desk.windows[desk.AddChild(box, kind, kind == "Static" ? 0xFFFF : 1001)].title = text;
    desk.windows[desk.AddChild(box, "Button", 1)].title = "确定";
    watch.Scan();
    return box;
  }
  void Answered(trading::WindowHandle box) {
    desk.Close(box);
    watch.Scan();
  }
  // An order script that shows the given boxes one after another, each
  // closed by the script's next key.
  void Script(const policy::TOrderOutcome& order, const std::vector<std::string>& boxes) {
    watch.Begin(order, main);
    for (const std::string& text : boxes) Answered(Box(text));
    watch.ScriptEnded();
  }
  void Wait(int64_t ms) {
    clock += ms;
    watch.Tick();
  }
  const policy::TOrderOutcome& Of(int32_t id) const {
    for (const auto& o : final) {
      if (o.monitorId == id) return o;
    }
    throw std::runtime_error("no outcome for #" + std::to_string(id));
  }
};

const std::string kConfirm = "买入 600000\n价格 10.100\n数量 100\n\n是否确认委托？";

}  // namespace

TEST(OrderAnswerMatching, WhatOneBoxSaysAndWhoseItIs) {
  const trading::OutcomeWords words = trading::OutcomeWords::Defaults();
  // A contract number outweighs a refusal word in the same box; zeros are no number.
  auto c = trading::ClassifyBox("委托已成功提交，合同编号：10001。提示：该股票当日买入，当日不能卖出", words);
  EXPECT_EQ(c.result, OrderResult::Accepted);
  EXPECT_EQ(c.orderNumber, "10001");
  EXPECT_EQ(trading::ClassifyBox("委托失败，委托编号0", words).result, OrderResult::Refused);
  // A fill or cancel notice answers nothing, though it carries a number.
  EXPECT_EQ(trading::ClassifyBox("您的委托编号 9001 已全部成交", words).result, OrderResult::Unknown);
  EXPECT_EQ(trading::ClassifyBox("委托编号 9002 撤单成功", words).result, OrderResult::Unknown);
  EXPECT_EQ(trading::ClassifyBox(kConfirm, words).result, OrderResult::Unknown);
  // Contradicting answers to one order decide nothing.
  EXPECT_EQ(trading::ClassifyBoxes({"合同编号：501", "合同编号：502"}, words).result, OrderResult::Unknown);
  EXPECT_EQ(trading::ClassifyBoxes({"可用资金不足", "合同编号：502"}, words).result, OrderResult::Unknown);
  c = trading::ClassifyBoxes({"委托已提交", "合同编号：502"}, words);
  EXPECT_EQ(c.result, OrderResult::Accepted);
  EXPECT_EQ(c.orderNumber, "502");

  const auto buy = Order(1, "600000", "买入", "10.100", "100");
  EXPECT_EQ(trading::NamesOrder(kConfirm, buy), 4);
  EXPECT_EQ(trading::NamesOrder("证券代码 600000 可用资金不足", buy), 1);
  EXPECT_EQ(trading::NamesOrder("买入 000001 可用资金不足", buy), -1);   // another code
  EXPECT_EQ(trading::NamesOrder("卖出委托失败：证券可用数量不足", buy), -1);  // the other side
  EXPECT_EQ(trading::NamesOrder("价格 10.1 超出涨跌停限制", buy), 1);
  // The contract number is no quantity or code, whatever its digits.
  EXPECT_EQ(trading::NamesOrder("委托已成功提交，合同编号：100", buy), 0);
  EXPECT_EQ(trading::NamesOrder("合同编号：600001", buy), 0);
  EXPECT_EQ(trading::NamesOrder("可用资金不足", buy), 0);
}

// The shapes the stand-in trading program shows too: slow answers that
// come during the next order's script, a fill notice, a hint, and answers
// written into an edit or rich-edit field.
TEST(OrderAnswerMatching, EachAnswerGoesToItsOwnOrderOrLeavesThemUnknown) {
  Broker b;
  const auto a = Order(1, "600000", "买入", "10.100", "100");
  const auto bb = Order(2, "000001", "卖出", "7.730", "200");
  // A's answer is slow: it comes during B's script, where B's follows.
  b.Script(a, {kConfirm});
  b.Wait(1000);
  b.Script(bb, {"卖出 000001\n价格 7.730\n数量 200\n\n是否确认委托？", "委托已成功提交，合同编号：501",
                "委托已成功提交，合同编号：502"});
  b.Wait(3000);
  ASSERT_EQ(b.final.size(), 2u);
  for (const int id : {1, 2}) {
    EXPECT_EQ(b.Of(id).result, OrderResult::Unknown) << id;
    EXPECT_EQ(b.Of(id).orderNumber, "") << id;
  }
  EXPECT_NE(b.Of(2).brokerText.find("合同编号：501"), std::string::npos);

  // A's refusal comes after A's watch ended, during C's script: C, which
  // the broker took, is not shown refused.
  b.Script(Order(3, "600036", "买入", "30.000", "300"), {});
  b.Wait(3000);
  b.Script(Order(4, "601318", "买入", "40.000", "400"), {"可用资金不足", "委托已成功提交，合同编号：503"});
  b.Wait(3000);
  ASSERT_EQ(b.final.size(), 4u);
  EXPECT_EQ(b.Of(3).result, OrderResult::Unknown);
  EXPECT_EQ(b.Of(4).result, OrderResult::Unknown);
  EXPECT_NE(b.Of(4).brokerText.find("可用资金不足"), std::string::npos);

  // A refusal that names its order goes to it, whichever script runs; a
  // fill notice of an earlier order is nobody's answer; an accepting box
  // with a hint is an acceptance; a box naming an order no longer watched
  // is nobody's.
  b.Script(Order(5, "600519", "买入", "1500.000", "100"), {});
  b.Script(Order(6, "000858", "卖出", "150.000", "200"),
           {"买入 600519 数量 100：可用资金不足", "您的委托编号 9001 已全部成交", "买入 600036 可用资金不足",
            "委托已成功提交，合同编号：10001。提示：该股票当日买入，当日不能卖出"});
  b.Wait(3000);
  ASSERT_EQ(b.final.size(), 6u);
  EXPECT_EQ(b.Of(5).result, OrderResult::Refused);
  EXPECT_EQ(b.Of(5).brokerText, "买入 600519 数量 100：可用资金不足");
  EXPECT_EQ(b.Of(6).result, OrderResult::Accepted);
  EXPECT_EQ(b.Of(6).orderNumber, "10001");

  // An answer in a rich-edit field, long, with its number at the end; then
  // a late box of the same contract number answers nothing more.
  const std::string longText = "委托已成功提交。" + std::string(400, '.') + "合同编号：10002";
  b.watch.Begin(Order(7, "600000", "卖出", "10.000", "100"), b.main);
  const auto box = b.Box(longText, "RichEdit20W");
  b.watch.ScriptEnded();
  b.Answered(box);
  b.Answered(b.Box("委托已成功提交，合同编号：10002"));
  b.Answered(b.Box("委托已成功提交，合同编号：10003", "Edit"));  // a second answer: contradicts the first
  b.Wait(3000);
  ASSERT_EQ(b.final.size(), 7u);
  EXPECT_EQ(b.Of(7).result, OrderResult::Unknown);
  EXPECT_NE(b.Of(7).brokerText.find(longText), std::string::npos);

  b.watch.Begin(Order(8, "600000", "卖出", "10.000", "100"), b.main);
  b.Answered(b.Box("提示：委托已成功提交", "Edit"));
  b.Answered(b.Box("合同编号：10004", "Edit"));
  b.watch.ScriptEnded();
  // Closing before its watch ends: told as such.
  b.watch.Begin(Order(9, "600000", "买入", "10.000", "100"), b.main);
  b.watch.FinishAll(OrderResult::UnknownAtExit);
  ASSERT_EQ(b.final.size(), 9u);
  EXPECT_EQ(b.Of(8).result, OrderResult::UnknownAtExit);
  EXPECT_EQ(b.Of(9).result, OrderResult::UnknownAtExit);
  EXPECT_STREQ(policy::OrderResultText(OrderResult::UnknownAtExit), "结果未知（程序退出）");
  EXPECT_FALSE(b.watch.Watching());
}
