#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/trading_fake_desktop.h"
#include "trading/unt_apiwrapper.h"

using namespace trading;
using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::Not;
using testing_support::AddTradingProgram;
using testing_support::FakeDesktop;
using testing_support::FakeMainWindow;
using testing_support::FakeTradingProgram;

namespace {

const std::string kFragment = "网上股票交易系统";

class TradingWindowTest : public ::testing::Test {
 protected:
  TradingWindowTest() { profile_.windowTitle = kFragment; }

  TTradingWindow& Window() {
    if (!window_) window_ = std::make_unique<TTradingWindow>(desk_, main_, flags_, profile_, options_);
    return *window_;
  }
  std::string Post(WindowHandle h, uint8_t key, bool down) const {
    char text[64];
    std::snprintf(text, sizeof text, "post %zu %04X %X 0", static_cast<size_t>(h), down ? kWmKeyDown : kWmKeyUp,
                  key);
    return text;
  }
  // The 15 slots in order.
  std::vector<WindowHandle> Slots() {
    std::vector<WindowHandle> out;
    for (int i = 0; i < kControlSlotCount; ++i) out.push_back(Window().Slot(static_cast<TControlSlot>(i)));
    return out;
  }
  static std::vector<WindowHandle> ExpectedSlots(const FakeTradingProgram& p) {
    return {p.f1,           p.f2,       p.third,     p.buy.order, p.sell.order,    p.buy.first,
            p.sell.first,   p.info1,    p.info2,     p.buy.code,  p.sell.code,     p.buy.price,
            p.sell.price,   p.buy.quantity, p.sell.quantity};
  }

  FakeDesktop desk_;
  FakeMainWindow main_;
  app::ProcessFlags flags_;
  settings::TTradingProfile profile_;
  TTradingOptions options_;
  std::unique_ptr<TTradingWindow> window_;
};

}  // namespace

TEST_F(TradingWindowTest, SearchTakesTheFirstMatchingWindowAndSendsBothPanelKeys) {
  desk_.AddTopLevel("记事本", 5);
  const auto first = AddTradingProgram(desk_, "华泰证券" + kFragment + "5.0", 6);
  AddTradingProgram(desk_, kFragment, 7);
  EXPECT_TRUE(Window().FindTradingWindow());
  EXPECT_EQ(Window().Window(), first.main);
  EXPECT_THAT(desk_.log, ElementsAre(Post(first.main, kVkF1, true), Post(first.main, kVkF1, false), "sleep 300",
                                     Post(first.main, kVkF2, true), Post(first.main, kVkF2, false), "sleep 300"));
}

TEST_F(TradingWindowTest, OwnProcessWindowIsNeverTaken) {
  desk_.AddTopLevel("Tarvolen 关联 " + kFragment, desk_.ownPid);
  EXPECT_FALSE(Window().FindTradingWindow());
  EXPECT_EQ(Window().Window(), kNoWindow);
  const auto other = AddTradingProgram(desk_, kFragment, 9);
  EXPECT_TRUE(Window().FindTradingWindow());
  EXPECT_EQ(Window().Window(), other.main);
}

TEST_F(TradingWindowTest, EmptyFragmentMatchesNothingAndCaseCounts) {
  profile_.windowTitle.clear();
  AddTradingProgram(desk_, kFragment, 9);
  EXPECT_FALSE(Window().FindTradingWindow());
  EXPECT_THAT(desk_.log, IsEmpty());
  profile_.windowTitle = "Trader";
  AddTradingProgram(desk_, "my TRADER", 10);
  EXPECT_FALSE(Window().FindTradingWindow());
}

TEST_F(TradingWindowTest, FailedSearchClearsTheFoundFlag) {
  AddTradingProgram(desk_, kFragment, 9);
  EXPECT_TRUE(Window().FindTradingWindow());
  profile_.windowTitle = "other";
  EXPECT_FALSE(Window().FindTradingWindow());
  EXPECT_FALSE(Window().Found());
}

TEST_F(TradingWindowTest, CollectFillsEachSlotByIdAndClass) {
  const auto p = AddTradingProgram(desk_, kFragment, 9);
  // Right ID, wrong class; and a third child of a two-slot ID.
  desk_.AddChild(p.main, "Static", 1032);
  desk_.AddChild(p.main, "Edit", 1000);
  desk_.AddChild(p.main, "Edit", 1034);
  ASSERT_TRUE(Window().FindTradingWindow());
  Window().CollectTradeControls();
  EXPECT_EQ(Slots(), ExpectedSlots(p));
}

TEST_F(TradingWindowTest, CollectingAgainKeepsFilledSlotsAndFillsTheRest) {
  const auto p = AddTradingProgram(desk_, kFragment, 9);
  ASSERT_TRUE(Window().FindTradingWindow());
  // The sell panel does not exist yet at the first collection.
  auto sellPanel = desk_.windows;
  for (WindowHandle h : {p.sell.code, p.sell.price, p.sell.quantity, p.sell.order, p.sell.first})
    desk_.windows.erase(h);
  Window().CollectTradeControls();
  EXPECT_EQ(Window().Slot(TControlSlot::BuyCode), p.buy.code);
  EXPECT_EQ(Window().Slot(TControlSlot::SellCode), kNoWindow);
  desk_.windows = sellPanel;
  Window().CollectTradeControls();
  EXPECT_EQ(Slots(), ExpectedSlots(p)) << "a held control is not taken a second time";
}

TEST_F(TradingWindowTest, ClearForgetsWindowAndSlots) {
  AddTradingProgram(desk_, kFragment, 9);
  ASSERT_TRUE(Window().FindTradingWindow());
  Window().CollectTradeControls();
  Window().ClearTradingWindow();
  EXPECT_EQ(Window().Window(), kNoWindow);
  EXPECT_EQ(Slots(), std::vector<WindowHandle>(kControlSlotCount, kNoWindow));
}

TEST_F(TradingWindowTest, AssociationPlacesBothWindowsAndShowsTheFragment) {
  const auto p = AddTradingProgram(desk_, kFragment + "5.0", 9);
  options_.tradingWindowAlpha = 200;
  Window().AssociateTradingWindow();
  EXPECT_EQ(Window().Window(), p.main);
  EXPECT_EQ(Slots(), ExpectedSlots(p));
  const std::string h = std::to_string(p.main);
  EXPECT_THAT(desk_.log, ElementsAre("sleep 100", Post(p.main, kVkF1, true), Post(p.main, kVkF1, false),
                                     "sleep 300", Post(p.main, kVkF2, true), Post(p.main, kVkF2, false), "sleep 300",
                                     "opacity " + h + " 200", "pos " + h + " 0,0 670x140 41", "show " + h + " 9",
                                     Post(p.main, kVkF1, true), Post(p.main, kVkF1, false)));
  EXPECT_THAT(main_.calls,
              ElementsAre("progress 正在查找证券交易系统，请稍后...", "progress step", "progress closed",
                          "move main 975,789", "title Tarvolen 关联 " + kFragment,
                          "pane 和交易软件关联：" + kFragment, "warning off"));
}

TEST_F(TradingWindowTest, OpacityIsKeptInItsRange) {
  const auto p = AddTradingProgram(desk_, kFragment, 9);
  options_.tradingWindowAlpha = 999;
  Window().AssociateTradingWindow();
  EXPECT_THAT(desk_.log, Contains("opacity " + std::to_string(p.main) + " 255"));
}

TEST_F(TradingWindowTest, AssociationWithoutATradingProgramWarnsAndOffersTheDialogs) {
  Window().AssociateTradingWindow();
  EXPECT_THAT(main_.calls, ElementsAre("progress 正在查找证券交易系统，请稍后...", "progress step", "progress closed",
                                       "box Tarvolen: 没有找到证券交易系统，请确认是否打开交易软件或者下载相关配置！",
                                       "launch", "download dialog", "warning on"));
  main_.calls.clear();
  main_.launcherStarts = true;
  Window().AssociateTradingWindow();
  EXPECT_THAT(main_.calls, Not(Contains("download dialog"))) << "a started trading program needs no dialog";
}

TEST_F(TradingWindowTest, NoWarningWhenTheProfileDialogAssociatedMeanwhile) {
  // The user starts the trading program and applies its profile in the
  // dialog, which associates by itself before the first search returns.
  main_.onProfileDownload = [&] {
    AddTradingProgram(desk_, kFragment, 9);
    Window().ClearTradingWindow();
    Window().AssociateTradingWindow();
  };
  Window().AssociateTradingWindow();
  EXPECT_TRUE(Window().Found());
  EXPECT_FALSE(main_.warningShown);
  EXPECT_EQ(main_.calls.back(), "warning off") << "the dialog's association is the last word";
}

TEST_F(TradingWindowTest, ProgressWindowClosesWhenTheSearchFails) {
  desk_.failEnumeration = true;
  EXPECT_THROW(Window().AssociateTradingWindow(), std::runtime_error);
  EXPECT_EQ(main_.calls.back(), "progress closed");
}

TEST_F(TradingWindowTest, RecheckNoticesALostProgramOnce) {
  auto p = AddTradingProgram(desk_, kFragment, 9);
  Window().AssociateTradingWindow();
  desk_.Close(p.main);
  main_.calls.clear();
  Window().RecheckAssociation();
  EXPECT_EQ(Window().Window(), kNoWindow);
  EXPECT_EQ(Window().Slot(TControlSlot::BuyCode), kNoWindow);
  EXPECT_THAT(main_.calls, ElementsAre("title Tarvolen", "pane 和交易软件失去关联！",
                                       "daily 交易软件先退出造成刷新后和其失去关联！", "box 提示: 和交易软件失去关联",
                                       "warning on"));
  main_.calls.clear();
  Window().RecheckAssociation();
  EXPECT_THAT(main_.calls, ElementsAre("title Tarvolen", "pane 和交易软件失去关联！", "warning on"))
      << "the loss is logged and reported only once";
}

TEST_F(TradingWindowTest, RecheckCollectsAfreshWhenTheProgramComesBack) {
  auto first = AddTradingProgram(desk_, kFragment, 9);
  Window().AssociateTradingWindow();
  desk_.Close(first.main);
  Window().RecheckAssociation();
  const auto second = AddTradingProgram(desk_, kFragment, 10);
  desk_.ClearRecords();
  main_.calls.clear();
  Window().RecheckAssociation();
  EXPECT_EQ(Window().Window(), second.main);
  EXPECT_EQ(Slots(), ExpectedSlots(second));
  EXPECT_EQ(desk_.log.back(), Post(second.main, kVkF1, false));
  EXPECT_THAT(main_.calls, ElementsAre("title Tarvolen 关联 " + kFragment, "pane 和交易软件关联：" + kFragment,
                                       "warning off"));
}

TEST_F(TradingWindowTest, RecheckOfAHeldWindowOnlyRefreshesTheHandle) {
  const auto p = AddTradingProgram(desk_, kFragment, 9);
  Window().AssociateTradingWindow();
  desk_.ClearRecords();
  main_.calls.clear();
  Window().RecheckAssociation();
  EXPECT_EQ(desk_.log.size(), 6u) << "only the search's F1 and F2 with their pauses";
  EXPECT_THAT(main_.calls, IsEmpty());
  EXPECT_EQ(Slots(), ExpectedSlots(p));
}

TEST_F(TradingWindowTest, RecheckCollectsAfreshWhenTheProgramWasRestartedBetweenChecks) {
  const auto first = AddTradingProgram(desk_, kFragment, 9);
  Window().AssociateTradingWindow();
  desk_.Close(first.main);
  const auto second = AddTradingProgram(desk_, kFragment, 10);
  Window().RecheckAssociation();
  EXPECT_EQ(Window().Window(), second.main);
  EXPECT_EQ(Slots(), ExpectedSlots(second)) << "no handle of the closed program is kept";
}

TEST_F(TradingWindowTest, RelinkTypesF1AndCollects) {
  const auto p = AddTradingProgram(desk_, kFragment, 9);
  Window().RelinkAfterTitleChange();
  EXPECT_EQ(Slots(), ExpectedSlots(p));
  EXPECT_THAT(desk_.keys, ElementsAre(testing_support::Down(kVkF1), testing_support::Up(kVkF1)));
  EXPECT_EQ(main_.title, "Tarvolen 关联 " + kFragment);
  profile_.windowTitle = "gone";
  Window().RelinkAfterTitleChange();
  EXPECT_EQ(Window().Window(), kNoWindow);
  EXPECT_EQ(main_.title, "Tarvolen");
  EXPECT_EQ(main_.pane, "和交易软件失去关联！");
}

TEST_F(TradingWindowTest, AntiLockRefreshSendsF5AndMinimisesUnderTheRefreshFlag) {
  const auto p = AddTradingProgram(desk_, kFragment, 9);
  Window().AssociateTradingWindow();
  desk_.ClearRecords();
  std::vector<bool> flagDuringPost;
  desk_.onPost = [&] { flagDuringPost.push_back(flags_.windowRefresh); };
  Window().AntiLockRefresh();
  EXPECT_THAT(desk_.log, ElementsAre(Post(p.main, kVkF5, true), Post(p.main, kVkF5, false),
                                     "show " + std::to_string(p.main) + " 2"));
  EXPECT_THAT(flagDuringPost, ElementsAre(true, true));
  EXPECT_FALSE(flags_.windowRefresh);

  options_.minimiseAfterOrder = false;
  desk_.ClearRecords();
  Window().AntiLockRefresh();
  EXPECT_EQ(desk_.log.size(), 2u);
}

TEST_F(TradingWindowTest, AntiLockRefreshStaysAwayFromAnOrderAndFromNoWindow) {
  AddTradingProgram(desk_, kFragment, 9);
  Window().AntiLockRefresh();
  EXPECT_THAT(desk_.log, IsEmpty()) << "nothing is held yet";
  Window().AssociateTradingWindow();
  desk_.ClearRecords();
  flags_.orderInProgress = true;
  Window().AntiLockRefresh();
  EXPECT_THAT(desk_.log, IsEmpty());
}

TEST_F(TradingWindowTest, AntiLockTickRunsOnlyWhileLoggedInAndIdle) {
  const auto p = AddTradingProgram(desk_, kFragment, 9);
  Window().AssociateTradingWindow();
  desk_.ClearRecords();
  Window().AntiLockTick();
  EXPECT_THAT(desk_.log, IsEmpty());
  flags_.loggedIn = true;
  flags_.orderInProgress = true;
  Window().AntiLockTick();
  EXPECT_THAT(desk_.log, IsEmpty());
  flags_.orderInProgress = false;
  Window().AntiLockTick();
  EXPECT_THAT(desk_.log, Contains(Post(p.main, kVkF5, true)));
  EXPECT_THAT(desk_.log, Contains(Post(p.main, kVkF2, true))) << "the refresh is followed by a re-check";
}

TEST_F(TradingWindowTest, RefreshCommandsAreGatedBySource) {
  AddTradingProgram(desk_, kFragment, 9);
  Window().RefreshCommand(TRefreshSource::PopupMenuItem);
  EXPECT_THAT(main_.calls, IsEmpty()) << "not logged in";
  flags_.loggedIn = true;
  flags_.orderInProgress = true;
  Window().RefreshCommand(TRefreshSource::ToolbarButton);
  Window().RefreshCommand(TRefreshSource::DebugWindowButton);
  EXPECT_THAT(main_.calls, IsEmpty());
  Window().RefreshCommand(TRefreshSource::PopupMenuItem);
  EXPECT_EQ(main_.calls.front(), "rebuild list");
  EXPECT_EQ(main_.calls.back(), "warning off") << "the re-check associated the program";
}

TEST(TradingWindowInterval, FixedAtStartUpAndNeverNegative) {
  FakeDesktop desk;
  FakeMainWindow main;
  app::ProcessFlags flags;
  settings::TTradingProfile profile;
  TTradingOptions options;
  options.antiLockSeconds = 120;
  TTradingWindow window(desk, main, flags, profile, options);
  options.antiLockSeconds = 5;
  EXPECT_EQ(window.AntiLockIntervalMs(), 120000u);
  options.antiLockSeconds = -1;
  EXPECT_EQ(TTradingWindow(desk, main, flags, profile, options).AntiLockIntervalMs(), 0u);
  options.antiLockSeconds = 2147483647;
  EXPECT_EQ(TTradingWindow(desk, main, flags, profile, options).AntiLockIntervalMs(), 0xFFFFFFFFu);
}
