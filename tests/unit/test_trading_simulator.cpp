#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/trading_fake_desktop.h"
#include "trading/sndkey32.h"
#include "trading/unt_simulator.h"

using namespace trading;
using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::Not;
using testing_support::AddTradingProgram;
using testing_support::Down;
using testing_support::FakeDesktop;
using testing_support::FakeMainWindow;
using testing_support::StepList;
using testing_support::FakeTradingProgram;
using testing_support::Up;

namespace {

const std::string kFragment = "网上股票交易系统";

policy::TTradeRecord Buy() {
  policy::TTradeRecord r;
  r.tradeType = policy::kTradeBuy;
  r.code = "600000";
  r.buyPrice = "12.340";
  r.buyQuantity = "100";
  return r;
}

policy::TTradeRecord Sell() {
  policy::TTradeRecord r;
  r.tradeType = policy::kTradeSell;
  r.code = "000001";
  r.sellPrice = "9.800";
  r.sellQuantity = "300";
  return r;
}

class OrderTest : public ::testing::Test {
 protected:
  OrderTest() {
    profile_.windowTitle = kFragment;
    program_ = AddTradingProgram(desk_, kFragment, 9);
    window_.AssociateTradingWindow();
    desk_.ClearRecords();
    main_.calls.clear();
    desk_.foreground = program_.main;
  }
  void Step(const std::string& step, const policy::TTradeRecord& order = Buy()) { placer_.RunStep(step, order); }
  std::string H(WindowHandle h) const { return std::to_string(h); }
  std::string Msg(const char* kind, WindowHandle h, uint32_t message, unsigned w = 0) const {
    char text[64];
    std::snprintf(text, sizeof text, "%s %zu %04X %X 0", kind, static_cast<size_t>(h), message, w);
    return text;
  }

  FakeDesktop desk_;
  FakeMainWindow main_;
  app::ProcessFlags flags_;
  settings::TTradingProfile profile_;
  TTradingOptions options_;
  TTradingWindow window_{desk_, main_, flags_, profile_, options_};
  TOrderPlacer placer_{desk_, main_, window_, profile_};
  FakeTradingProgram program_;
};

}  // namespace

TEST_F(OrderTest, EveryStepLetsMessagesRunThenPauses) {
  Step("hello");
  EXPECT_THAT(desk_.log, ElementsAre("messages", "sleep 100"));
}

TEST_F(OrderTest, BlankStepCostsNothing) {
  Step("   ");
  Step("");
  EXPECT_THAT(desk_.log, IsEmpty());
}

TEST_F(OrderTest, EscapeActivatesTheTopChildAndSendsAPlainEscape) {
  Step("{ESCAPE}");
  EXPECT_THAT(desk_.log, ElementsAre("active " + H(program_.f1), Down(0x1B), "pump", Up(0x1B), "pump", "messages",
                                     "sleep 100"));
}

TEST_F(OrderTest, EscapeWithoutATradingWindowActivatesNothing) {
  window_.ClearTradingWindow();
  Step("{ESC}");
  EXPECT_THAT(desk_.log, Not(Contains(testing::StartsWith("active"))));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x1B), Up(0x1B)));
}

TEST_F(OrderTest, KeyStepsAreTypedWithWait) {
  Step("{TAB}");
  EXPECT_THAT(desk_.log, ElementsAre(Down(9), "pump", Up(9), "pump", "messages", "sleep 100"));
}

TEST_F(OrderTest, F1ClicksTheKnownPanelButtonInsteadOfTheKey) {
  Step("{F1}");
  EXPECT_THAT(desk_.keys, IsEmpty());
  EXPECT_THAT(desk_.MessagesTo(program_.f1), ElementsAre("send 0201 0 0", "send 0202 0 0"));
  Step("{F2}");
  EXPECT_THAT(desk_.MessagesTo(program_.f2), ElementsAre("send 0201 0 0", "send 0202 0 0"));
}

TEST_F(OrderTest, F1SendsTheKeyWhenThePanelButtonIsUnknown) {
  window_.ClearTradingWindow();
  Step("{F1}");
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x70), Up(0x70)));
}

TEST_F(OrderTest, F10IsTakenForF1) {
  Step("{F10}");
  EXPECT_THAT(desk_.keys, IsEmpty());
  EXPECT_THAT(desk_.MessagesTo(program_.f1), ElementsAre("send 0201 0 0", "send 0202 0 0"));
}

TEST_F(OrderTest, EarlierKeywordsWin) {
  Step("{F1}{ENTER}");
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x70), Up(0x70), Down(0x0D), Up(0x0D))) << "ENTER comes before F1";
  EXPECT_THROW(Step("wait var ZQDM"), EConvertError) << "\"wait\" comes before \"var\"";
}

TEST_F(OrderTest, ModifierStepsAreKeyStrings) {
  Step("%{F4}");
  Step("^a");
  Step("+{TAB}");
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x12), Down(0x73), Up(0x73), Up(0x12), Down(0x11), Down(0x41), Up(0x41),
                                      Up(0x11), Down(0x10), Down(9), Up(9), Up(0x10)));
}

TEST_F(OrderTest, WaitPausesForItsArgument) {
  Step("wait 500");
  EXPECT_EQ(desk_.sleptMs, 600u);
  desk_.ClearRecords();
  Step("wait");
  EXPECT_EQ(desk_.sleptMs, 100u) << "no blank, no pause of its own";
  desk_.ClearRecords();
  Step("wait   250  ");
  EXPECT_EQ(desk_.sleptMs, 350u);
}

TEST_F(OrderTest, NegativeWaitDoesNotPause) {
  Step("wait -1");
  EXPECT_EQ(desk_.sleptMs, 100u);
}

TEST_F(OrderTest, NonNumericArgumentsAreConversionErrors) {
  EXPECT_THROW(Step("wait abc"), EConvertError);
  EXPECT_THROW(Step("click 10"), EConvertError);
  EXPECT_THROW(Step("click a,5"), EConvertError);
  EXPECT_THAT(desk_.log, Not(Contains("cursor hidden")));
}

TEST_F(OrderTest, VarTypesTheOrderValuesOfTheSide) {
  Step("var ZQDM");
  Step("var CJJ");
  Step("var SL");
  EXPECT_THAT(desk_.log, Contains("focus " + H(program_.buy.code)));
  EXPECT_THAT(desk_.keys, ElementsAre(Down('6'), Up('6'), Down('0'), Up('0'), Down('0'), Up('0'), Down('0'), Up('0'),
                                      Down('0'), Up('0'), Down('0'), Up('0'), Down('1'), Up('1'), Down('2'), Up('2'),
                                      Down(kVkDecimal), Up(kVkDecimal), Down('3'), Up('3'), Down('4'), Up('4'),
                                      Down('0'), Up('0'), Down('1'), Up('1'), Down('0'), Up('0'), Down('0'), Up('0')));
  desk_.ClearRecords();
  Step("var ZQDM", Sell());
  Step("var CJJ", Sell());
  Step("var SL", Sell());
  EXPECT_THAT(desk_.log, Contains("focus " + H(program_.sell.code)));
  EXPECT_EQ(desk_.keys.size(), 2u * (6 + 5 + 3));
}

TEST_F(OrderTest, VarWithoutFieldSlotStillTypes) {
  window_.ClearTradingWindow();
  Step("var ZQDM");
  EXPECT_THAT(desk_.log, Not(Contains(testing::StartsWith("focus"))));
  EXPECT_EQ(desk_.keys.size(), 12u);
}

TEST_F(OrderTest, VarTypesNothingForUnknownNamesOrTradeTypes) {
  Step("var XYZ");
  policy::TTradeRecord other = Buy();
  other.tradeType = 3;
  Step("var ZQDM", other);
  Step("var");
  EXPECT_THAT(desk_.keys, IsEmpty());
}

TEST_F(OrderTest, ClickHidesTheCursorAndClicksAtTheClientPoint) {
  Step("click  10 , 20 ");
  EXPECT_THAT(desk_.log, ElementsAre("cursor hidden", "cursor 110,70", "mouse 2", "mouse 4", "cursor shown",
                                     "messages", "sleep 100"));
}

TEST_F(OrderTest, NothingHappensWithoutATradingWindow) {
  window_.ClearTradingWindow();
  profile_.buySteps = StepList({"{F1}", "var ZQDM"});
  placer_.PlaceOrder(Buy());
  EXPECT_THAT(desk_.log, IsEmpty());
  EXPECT_THAT(main_.calls, IsEmpty());
}

TEST_F(OrderTest, KeystrokeModeBringsTheWindowUpAndRunsTheBuyStepsAttached) {
  desk_.foreground = 0;
  profile_.buySteps = StepList({"{F1}", "var ZQDM"});
  profile_.sellSteps = StepList({"{F2}"});
  std::vector<std::string> ran;
  placer_.onStep = [&](const std::string& step, const std::string&) { ran.push_back(step); };
  placer_.PlaceOrder(Buy());
  EXPECT_THAT(ran, ElementsAre("{F1}", "var ZQDM"));
  const std::string h = H(program_.main);
  const auto& log = desk_.log;
  const auto at = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
  EXPECT_LT(at("foreground " + h), at("sleep 200"));
  EXPECT_LT(at("sleep 200"), at("pos " + h + " 0,0 670x140 41"));
  EXPECT_LT(at("pos " + h + " 0,0 670x140 41"), at("active " + h));
  EXPECT_LT(at("active " + h), at("update " + h));
  EXPECT_LT(at("update " + h), at("attach 1 90"));
  EXPECT_LT(at("attach 1 90"), at("focus " + H(program_.buy.code)));
  EXPECT_EQ(log.back(), "detach 1 90");
  EXPECT_EQ(desk_.attachDepth, 0);
}

TEST_F(OrderTest, KeystrokeModeRunsTheSellStepsForASell) {
  profile_.buySteps = StepList({"{F1}"});
  profile_.sellSteps = StepList({"{F2}", "var SL"});
  placer_.PlaceOrder(Sell());
  EXPECT_THAT(desk_.MessagesTo(program_.f1), IsEmpty());
  EXPECT_THAT(desk_.MessagesTo(program_.f2), ElementsAre("send 0201 0 0", "send 0202 0 0"));
  EXPECT_EQ(desk_.keys.size(), 6u);
}

TEST_F(OrderTest, UnknownTradeTypeIsLoggedAndTypesNothing) {
  profile_.buySteps = StepList({"{F1}"});
  policy::TTradeRecord order = Buy();
  order.tradeType = 0;
  placer_.PlaceOrder(order);
  EXPECT_THAT(main_.calls, ElementsAre("steplog Warning 缺少交易类型！"));
  EXPECT_THAT(desk_.keys, IsEmpty());
  EXPECT_EQ(desk_.attachDepth, 0);
}

TEST_F(OrderTest, AFailingStepStopsTheListAndStillDetaches) {
  profile_.buySteps = StepList({"{F1}", "wait soon", "var ZQDM"});
  EXPECT_THROW(placer_.PlaceOrder(Buy()), EConvertError);
  EXPECT_EQ(desk_.log.back(), "detach 1 90");
  EXPECT_EQ(desk_.attachDepth, 0);
  EXPECT_THAT(desk_.keys, IsEmpty()) << "the step after the failing one did not run";
}

TEST_F(OrderTest, AProfileReplacedDuringTheScriptDoesNotDisturbIt) {
  profile_.buySteps = StepList({"{TAB}", "{TAB}", "{TAB}"});
  int pumps = 0;
  // The first pump comes before the steps, the second after the first step.
  desk_.onProcessMessages = [&] {
    if (++pumps == 2) profile_.buySteps.clear();
  };
  placer_.PlaceOrder(Buy());
  EXPECT_EQ(desk_.keys.size(), 6u) << "the list that started runs to its end";
}

TEST_F(OrderTest, ControlLevelBuySendsTheFieldsAndConfirms) {
  profile_.binding = 1;
  placer_.PlaceOrder(Buy());
  const auto& b = program_.buy;
  std::vector<std::string> expected = {
      "foreground " + H(program_.main),
      Msg("post", program_.main, kWmKeyDown, 0x70),
      Msg("post", program_.main, kWmKeyUp, 0x70),
      "sleep 100",
      Msg("send", b.first, kWmLButtonDown),
      Msg("send", b.first, kWmLButtonUp),
      "sleep 100",
      "send " + H(b.code) + " settext 600000",
      Msg("send", b.code, 0xB012),
      "sleep 500",
      "send " + H(b.price) + " settext 12.340",
      Msg("send", b.price, 0xB012),
      "sleep 200",
      Msg("send", b.quantity, kWmLButtonDown),
      Msg("send", b.quantity, kWmLButtonUp),
      "send " + H(b.quantity) + " settext 100",
      Msg("send", b.quantity, 0xB012),
      "sleep 200",
      Msg("post", b.order, kWmLButtonDown),
      Msg("post", b.order, kWmLButtonUp),
      "sleep 200",
      Down(0x0D), "pump", Up(0x0D), "pump", "sleep 300",
      Down(0x0D), "pump", Up(0x0D), "pump", "sleep 300",
      Down(0x0D), "pump", Up(0x0D), "pump", "sleep 200",
      Down(0x1B), "pump", Up(0x1B), "pump",
  };
  EXPECT_EQ(desk_.log, expected);
}

TEST_F(OrderTest, ControlLevelSellUsesTheSellPanel) {
  profile_.binding = 1;
  placer_.PlaceOrder(Sell());
  const auto& s = program_.sell;
  EXPECT_THAT(desk_.log, Contains(Msg("post", program_.main, kWmKeyDown, 0x71)));
  EXPECT_THAT(desk_.MessagesTo(s.code), ElementsAre("send settext 000001", "send B012 0 0"));
  EXPECT_THAT(desk_.MessagesTo(s.price), ElementsAre("send settext 9.800", "send B012 0 0"));
  EXPECT_THAT(desk_.MessagesTo(s.quantity),
              ElementsAre("send 0201 0 0", "send 0202 0 0", "send settext 300", "send B012 0 0"));
  EXPECT_THAT(desk_.MessagesTo(s.order), ElementsAre("post 0201 0 0", "post 0202 0 0"));
  EXPECT_THAT(desk_.MessagesTo(program_.buy.code), IsEmpty());
  EXPECT_THAT(desk_.log, Not(Contains(testing::StartsWith("attach"))));
}

TEST_F(OrderTest, ControlLevelOnlyAcceptsBuyOrSell) {
  profile_.binding = 1;
  policy::TTradeRecord order = Sell();
  order.tradeType = 7;
  placer_.PlaceOrder(order);
  EXPECT_THAT(main_.calls, ElementsAre("steplog Warning 缺少交易类型！"));
  EXPECT_THAT(desk_.log, IsEmpty());
}

TEST_F(OrderTest, OnlyBindingOneSelectsControlLevelMode) {
  profile_.binding = 2;
  profile_.buySteps = StepList({"{TAB}"});
  placer_.PlaceOrder(Buy());
  EXPECT_THAT(desk_.MessagesTo(program_.buy.code), IsEmpty());
  EXPECT_THAT(desk_.keys, ElementsAre(Down(9), Up(9)));
}

TEST_F(OrderTest, ControlLevelSendsNothingToEmptySlots) {
  profile_.binding = 1;
  // A trading program without the fields: only the window and the keys get anything.
  desk_.windows.clear();
  desk_.topLevelOrder.clear();
  const auto bare = desk_.AddTopLevel(kFragment, 9);
  window_.ClearTradingWindow();
  ASSERT_TRUE(window_.FindTradingWindow());
  window_.CollectTradeControls();
  desk_.ClearRecords();
  placer_.PlaceOrder(Buy());
  for (const auto& line : desk_.log) {
    if (line.rfind("post ", 0) == 0 || line.rfind("send ", 0) == 0) {
      EXPECT_EQ(line.substr(5, H(bare).size() + 1), H(bare) + " ") << line;
    }
  }
  EXPECT_THAT(desk_.log, Not(Contains(testing::StartsWith("post 0 "))));
  EXPECT_THAT(desk_.log, Not(Contains(testing::StartsWith("send 0 "))));
}
