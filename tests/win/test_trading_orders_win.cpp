// Orders entered into the stand-in trading program in another process, in
// keystroke mode (system-wide keys, a mouse click) and in control-level
// mode (window messages); the program's orders file must hold exactly the
// code, price and quantity asked for.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/trading_fake_desktop.h"
#include "trading/desktop_win.h"
#include "trading/sndkey32.h"
#include "trading/unt_simulator.h"
#include "win/trading_sim_trader_win.h"

using namespace trading;
using testing::ElementsAre;
using testing::IsEmpty;
using testing_support::FakeMainWindow;
using testing_support::StepList;
using testing_support::PumpFor;
using testing_support::SimTrader;
using testing_support::TempDir;

namespace {

const std::string kFragment = "网上股票交易系统";

policy::TTradeRecord Order(uint8_t type, const char* code, const char* price, const char* quantity) {
  policy::TTradeRecord r;
  r.tradeType = type;
  r.code = code;
  (type == policy::kTradeBuy ? r.buyPrice : r.sellPrice) = price;
  (type == policy::kTradeBuy ? r.buyQuantity : r.sellQuantity) = quantity;
  return r;
}

class OrdersWin : public ::testing::Test {
 protected:
  OrdersWin() : trader_(kFragment + "5.0", dir_.File("orders.txt")) {
    profile_.windowTitle = kFragment;
    // Tab walks code, price, quantity and the order button; Enter on the
    // button asks for confirmation and the next Enter accepts.
    // As the sample profile: the last two steps close the broker's result box.
    profile_.buySteps = StepList({"{F1}", "wait 300", "var ZQDM", "{TAB}", "var CJJ", "{TAB}", "var SL", "{TAB}",
                                  "{ENTER}", "wait 300", "{ENTER}", "wait 500", "{ENTER}"});
    profile_.sellSteps = StepList({"{F2}", "wait 300", "var ZQDM", "{TAB}", "var CJJ", "{TAB}", "var SL", "{TAB}",
                                   "{ENTER}", "wait 300", "{ENTER}", "wait 500", "{ENTER}"});
  }
  void SetUp() override {
    ASSERT_TRUE(trader_.Running());
    window_.AssociateTradingWindow();
    ASSERT_EQ(reinterpret_cast<HWND>(window_.Window()), trader_.Window());
  }
  // The orders file once it holds `count` lines (or after five seconds:
  // Wine takes about two to close a box on a display without a window manager).
  std::vector<std::string> OrdersAfter(size_t count) {
    for (int i = 0; i < 50 && trader_.Orders().size() < count; ++i) PumpFor(100);
    PumpFor(300);  // nothing more may follow
    return trader_.Orders();
  }

  TempDir dir_;
  SimTrader trader_;
  TWin32Desktop desktop_;
  FakeMainWindow main_;
  app::ProcessFlags flags_;
  settings::TTradingProfile profile_;
  TTradingOptions options_;
  TTradingWindow window_{desktop_, main_, flags_, profile_, options_};
  TOrderPlacer placer_{desktop_, main_, window_, profile_};
};

}  // namespace

TEST_F(OrdersWin, KeystrokeModeTypesABuyAndASell) {
  placer_.PlaceOrder(Order(policy::kTradeBuy, "600000", "12.340", "100"));
  EXPECT_THAT(OrdersAfter(1), ElementsAre("buy,600000,12.340,100"));
  placer_.PlaceOrder(Order(policy::kTradeSell, "000001", "9.800", "3000"));
  EXPECT_THAT(OrdersAfter(2), ElementsAre("buy,600000,12.340,100", "sell,000001,9.800,3000"));
  EXPECT_EQ(trader_.OpenBox(), nullptr) << "no box of the trading program is left open";
  EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0);
}

TEST_F(OrdersWin, KeystrokeModeWorksWithoutThePanelButtons) {
  // Without the slots the F1/F2 steps press the keys, which the program
  // handles itself, and the code is typed where the focus is.
  window_.ClearTradingWindow();
  ASSERT_TRUE(window_.FindTradingWindow());
  placer_.PlaceOrder(Order(policy::kTradeSell, "300750", "201.500", "200"));
  EXPECT_THAT(OrdersAfter(1), ElementsAre("sell,300750,201.500,200"));
}

TEST_F(OrdersWin, EnterOnTheQuantityFieldOrders) {
  profile_.buySteps = StepList({"{F1}", "var ZQDM", "{TAB}", "var CJJ", "{TAB}", "var SL", "{ENTER}", "wait 300",
                             "{ENTER}", "{ENTER}"});
  placer_.PlaceOrder(Order(policy::kTradeBuy, "600000", "12.340", "100"));
  EXPECT_THAT(OrdersAfter(1), ElementsAre("buy,600000,12.340,100")) << "a further Enter orders nothing";
}

TEST_F(OrdersWin, AnEscapeStepCancelsTheConfirmation) {
  profile_.buySteps = StepList({"{F1}", "var ZQDM", "{TAB}", "var CJJ", "{TAB}", "var SL", "{ENTER}", "wait 300",
                             "{ESC}"});
  placer_.PlaceOrder(Order(policy::kTradeBuy, "600000", "12.340", "100"));
  EXPECT_THAT(OrdersAfter(1), IsEmpty());
  EXPECT_EQ(trader_.OpenBox(), nullptr);
}

TEST_F(OrdersWin, ClickStepPressesTheOrderButton) {
  // The buy panel sits at (120, 10) in the program's client area and its
  // order button at (90, 134) in the panel: click the button's middle.
  profile_.buySteps = StepList({"{F1}", "var ZQDM", "{TAB}", "var CJJ", "{TAB}", "var SL", "click 245, 157",
                             "wait 300", "{ENTER}"});
  placer_.PlaceOrder(Order(policy::kTradeBuy, "601318", "45.670", "500"));
  EXPECT_THAT(OrdersAfter(1), ElementsAre("buy,601318,45.670,500"));
}

TEST_F(OrdersWin, ControlLevelModeFillsTheFieldsOfBothPanels) {
  profile_.binding = 1;
  placer_.PlaceOrder(Order(policy::kTradeBuy, "600036", "33.210", "1000"));
  EXPECT_THAT(OrdersAfter(1), ElementsAre("buy,600036,33.210,1000"));
  placer_.PlaceOrder(Order(policy::kTradeSell, "000858", "150.000", "100"));
  EXPECT_THAT(OrdersAfter(2), ElementsAre("buy,600036,33.210,1000", "sell,000858,150.000,100"));
  EXPECT_EQ(trader_.OpenBox(), nullptr);
}

TEST_F(OrdersWin, AStepWithABadNumberLeavesTheInputDetached) {
  profile_.buySteps = StepList({"{F1}", "wait later"});
  EXPECT_THROW(placer_.PlaceOrder(Order(policy::kTradeBuy, "600000", "1.000", "100")), EConvertError);
  // Attached input would share the trading program's focus with this thread.
  HWND own = CreateWindowExW(0, L"Edit", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 100, 40, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(own);
  SetFocus(own);
  PumpFor(100);
  EXPECT_EQ(GetFocus(), own);
  EXPECT_FALSE(AttachThreadInput(GetCurrentThreadId(), GetWindowThreadProcessId(trader_.Window(), nullptr), FALSE))
      << "nothing was left attached to detach";
  DestroyWindow(own);
}
