// The association against the stand-in trading program in another process:
// finding it by a Chinese title fragment, collecting its controls, keeping
// away from this process's own windows, the anti-lock refresh, and finding
// it afresh after it was closed and started again.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/trading_fake_desktop.h"
#include "trading/desktop_win.h"
#include "trading/unt_apiwrapper.h"
#include "win/trading_sim_trader_win.h"

using namespace trading;
using testing::Contains;
using testing_support::FakeMainWindow;
using testing_support::PumpFor;
using testing_support::SimTrader;
using testing_support::TempDir;
using testing_support::WideText;

namespace {

const std::string kFragment = "网上股票交易系统";
const std::string kTraderTitle = "华泰证券" + kFragment + "5.0";

HWND H(WindowHandle window) { return reinterpret_cast<HWND>(window); }

class AssociationWin : public ::testing::Test {
 protected:
  AssociationWin() {
    profile_.windowTitle = kFragment;
    options_.tradingWindowAlpha = 230;
  }
  std::string Orders() const { return dir_.File("orders.txt"); }

  // Every slot holds a control of the given process with the slot's ID and
  // class; the buy and the sell fields sit on two different panels.
  void ExpectSlotsOf(const SimTrader& trader) {
    struct Expect {
      TControlSlot slot;
      int id;
      const wchar_t* className;
    };
    const Expect expected[] = {
        {TControlSlot::F1PanelButton, 1000, L"AfxWnd42"}, {TControlSlot::F2PanelButton, 1001, L"AfxWnd42"},
        {TControlSlot::ThirdPanelButton, 1005, L"AfxWnd42"}, {TControlSlot::BuyOrderButton, 1006, L"Button"},
        {TControlSlot::SellOrderButton, 1006, L"Button"},   {TControlSlot::BuyFirstButton, 1007, L"Button"},
        {TControlSlot::SellFirstButton, 1007, L"Button"},   {TControlSlot::FirstField1018, 1018, L"Edit"},
        {TControlSlot::SecondField1018, 1018, L"Edit"},     {TControlSlot::BuyCode, 1032, L"Edit"},
        {TControlSlot::SellCode, 1032, L"Edit"},            {TControlSlot::BuyPrice, 1033, L"Edit"},
        {TControlSlot::SellPrice, 1033, L"Edit"},           {TControlSlot::BuyQuantity, 1034, L"Edit"},
        {TControlSlot::SellQuantity, 1034, L"Edit"},
    };
    for (const Expect& e : expected) {
      HWND control = H(window_.Slot(e.slot));
      ASSERT_TRUE(IsWindow(control)) << "slot " << static_cast<int>(e.slot);
      DWORD pid = 0;
      GetWindowThreadProcessId(control, &pid);
      EXPECT_EQ(pid, trader.Pid());
      EXPECT_EQ(GetDlgCtrlID(control), e.id);
      wchar_t name[64];
      GetClassNameW(control, name, 64);
      EXPECT_STREQ(name, e.className);
    }
    HWND buyPanel = GetParent(H(window_.Slot(TControlSlot::BuyCode)));
    HWND sellPanel = GetParent(H(window_.Slot(TControlSlot::SellCode)));
    EXPECT_NE(buyPanel, sellPanel);
    for (TControlSlot s : {TControlSlot::BuyPrice, TControlSlot::BuyQuantity, TControlSlot::BuyOrderButton,
                           TControlSlot::BuyFirstButton})
      EXPECT_EQ(GetParent(H(window_.Slot(s))), buyPanel);
    for (TControlSlot s : {TControlSlot::SellPrice, TControlSlot::SellQuantity, TControlSlot::SellOrderButton,
                           TControlSlot::SellFirstButton})
      EXPECT_EQ(GetParent(H(window_.Slot(s))), sellPanel);
  }

  TempDir dir_;
  TWin32Desktop desktop_;
  FakeMainWindow main_;
  app::ProcessFlags flags_;
  settings::TTradingProfile profile_;
  TTradingOptions options_;
  TTradingWindow window_{desktop_, main_, flags_, profile_, options_};
};

}  // namespace

TEST_F(AssociationWin, AWindowOfThisProcessIsNeverTaken) {
  // The main window's caption holds the fragment once it is associated.
  HWND own = CreateWindowExW(0, L"Static", WideText("Tarvolen 关联 " + kFragment).c_str(),
                             WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 300, 100, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(own);
  PumpFor(100);
  EXPECT_FALSE(window_.FindTradingWindow());
  EXPECT_EQ(window_.Window(), kNoWindow);

  SimTrader trader(kTraderTitle, Orders());
  ASSERT_TRUE(trader.Running());
  SetWindowPos(own, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);  // first in the enumeration
  EXPECT_TRUE(window_.FindTradingWindow());
  EXPECT_EQ(H(window_.Window()), trader.Window());
  DestroyWindow(own);
}

TEST_F(AssociationWin, AssociationHoldsTheTradingProgramAndItsControls) {
  SimTrader trader(kTraderTitle, Orders());
  ASSERT_TRUE(trader.Running());
  window_.AssociateTradingWindow();
  ASSERT_EQ(H(window_.Window()), trader.Window());
  ExpectSlotsOf(trader);

  RECT rect;
  GetWindowRect(trader.Window(), &rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right - rect.left, 680) << "the size is kept";
  EXPECT_TRUE(GetWindowLongPtrW(trader.Window(), GWL_EXSTYLE) & WS_EX_LAYERED);
  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(trader.Window(), nullptr, &alpha, &flags));
  EXPECT_EQ(alpha, 230);
  EXPECT_EQ(main_.title, "Tarvolen 关联 " + kFragment);
  EXPECT_EQ(main_.pane, "和交易软件关联：" + kFragment);
  EXPECT_FALSE(main_.warningShown);
}

TEST_F(AssociationWin, NoTradingProgramLeavesTheWarningShown) {
  profile_.windowTitle = "没有这个交易软件";
  window_.AssociateTradingWindow();
  EXPECT_EQ(window_.Window(), kNoWindow);
  EXPECT_TRUE(main_.warningShown);
  EXPECT_THAT(main_.calls, Contains("download dialog"));
}

TEST_F(AssociationWin, ReassociationAfterARestartCollectsTheControlsAfresh) {
  auto first = std::make_unique<SimTrader>(kTraderTitle, Orders());
  ASSERT_TRUE(first->Running());
  window_.AssociateTradingWindow();
  ExpectSlotsOf(*first);

  first->Close();
  window_.RecheckAssociation();
  EXPECT_EQ(window_.Window(), kNoWindow);
  EXPECT_EQ(window_.Slot(TControlSlot::BuyCode), kNoWindow);
  EXPECT_THAT(main_.calls, Contains("daily 交易软件先退出造成刷新后和其失去关联！"));
  EXPECT_EQ(main_.pane, "和交易软件失去关联！");

  SimTrader second(kTraderTitle, Orders());
  ASSERT_TRUE(second.Running());
  window_.RecheckAssociation();
  EXPECT_EQ(H(window_.Window()), second.Window());
  ExpectSlotsOf(second);
  EXPECT_EQ(main_.pane, "和交易软件关联：" + kFragment);
}

TEST_F(AssociationWin, ARestartBetweenTwoChecksIsNoticed) {
  auto first = std::make_unique<SimTrader>(kTraderTitle, Orders());
  ASSERT_TRUE(first->Running());
  window_.AssociateTradingWindow();
  first->Close();
  SimTrader second(kTraderTitle, Orders());
  ASSERT_TRUE(second.Running());
  window_.RecheckAssociation();
  EXPECT_EQ(H(window_.Window()), second.Window());
  ExpectSlotsOf(second);
}

TEST_F(AssociationWin, AntiLockRefreshReachesTheTradingProgram) {
  SimTrader trader(kTraderTitle, Orders());
  ASSERT_TRUE(trader.Running());
  window_.AssociateTradingWindow();
  window_.AntiLockRefresh();
  PumpFor(300);
  EXPECT_EQ(trader.Refreshes(), 1);
  EXPECT_TRUE(IsIconic(trader.Window())) << "minimised after the refresh";

  flags_.loggedIn = true;
  window_.AntiLockTick();
  PumpFor(300);
  EXPECT_EQ(trader.Refreshes(), 2);
  EXPECT_EQ(H(window_.Window()), trader.Window()) << "the re-check keeps the association";

  flags_.orderInProgress = true;
  window_.AntiLockTick();
  PumpFor(300);
  EXPECT_EQ(trader.Refreshes(), 2) << "no refresh during an order";
}
