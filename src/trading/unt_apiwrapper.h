// The trading window: finding the user's broker trading program by its
// title, holding it and the handles of its input fields and buttons, and
// keeping the association alive with the anti-lock refresh.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/process_flags.h"
#include "settings/trading_profile.h"
#include "trading/desktop_port.h"
#include "trading/main_window_port.h"

namespace trading {

// The setup.ini values the association uses.
struct TTradingOptions {
  int32_t antiLockSeconds = 300;     // "防止锁定刷新时间(秒)"
  int32_t tradingWindowAlpha = 255;  // "下单软件透明度", 0 to 255
  bool minimiseAfterOrder = true;    // "下单完成后是否最小化下单软件"
};

// The child controls of the trading window that the order scripts use,
// found by control ID and class. IDs with two slots fill the first slot
// with the first child found and the second with the next.
enum class TControlSlot : int {
  F1PanelButton,     // 1000 "AfxWnd42"
  F2PanelButton,     // 1001 "AfxWnd42"
  ThirdPanelButton,  // 1005 "AfxWnd42"
  BuyOrderButton,    // 1006 "Button"
  SellOrderButton,
  BuyFirstButton,  // 1007 "Button"
  SellFirstButton,
  FirstField1018,  // 1018 "Edit"
  SecondField1018,
  BuyCode,  // 1032 "Edit"
  SellCode,
  BuyPrice,  // 1033 "Edit"
  SellPrice,
  BuyQuantity,  // 1034 "Edit"
  SellQuantity,
};
constexpr int kControlSlotCount = 15;

// The main window's texts for the association.
inline constexpr const char* kSearchingText = "正在查找证券交易系统，请稍后...";
inline constexpr const char* kNotFoundText = "没有找到证券交易系统，请确认是否打开交易软件或者下载相关配置！";
inline constexpr const char* kAssociatedPane = "和交易软件关联：";
inline constexpr const char* kLostPane = "和交易软件失去关联！";
inline constexpr const char* kLostLogLine = "交易软件先退出造成刷新后和其失去关联！";
inline constexpr const char* kLostBoxText = "和交易软件失去关联";
inline constexpr const char* kLostBoxTitle = "提示";
inline constexpr const char* kTitleJoiner = " 关联 ";

// Where a refresh command comes from: the toolbar button and the quote
// debug window's button act only when logged in and no order is running;
// the list pop-up item whenever logged in.
enum class TRefreshSource { ToolbarButton, DebugWindowButton, PopupMenuItem };

class TTradingWindow {
 public:
  // The profile, options and flags are the caller's and may change between calls.
  TTradingWindow(IDesktop& desktop, ITradingMainWindow& mainWindow, app::ProcessFlags& flags,
                 const settings::TTradingProfile& profile, const TTradingOptions& options);

  WindowHandle Window() const { return window_; }
  bool Found() const { return found_; }
  WindowHandle Slot(TControlSlot slot) const { return slots_[static_cast<int>(slot)]; }
  uint32_t OwnProcessId() const { return ownProcessId_; }

  // Looks through the top-level windows for the first one, of another
  // process, whose title contains the profile's title fragment; sends it F1
  // and F2 so that both order panels exist. Returns the found flag.
  bool FindTradingWindow();
  // Fills the empty control slots from the trading window's children.
  void CollectTradeControls();
  // Forgets the trading window and every control slot.
  void ClearTradingWindow();

  // The full association after a login or after a profile was applied.
  void AssociateTradingWindow();
  // The periodic check: notices a trading program that went away or came back.
  void RecheckAssociation();
  // After the title fragment was changed with the caption tool.
  void RelinkAfterTitleChange();

  // Sends the refresh key so that the trading program does not lock itself.
  void AntiLockRefresh();
  // The anti-lock timer's event, and its interval (fixed at start-up).
  void AntiLockTick();
  uint32_t AntiLockIntervalMs() const { return antiLockIntervalMs_; }
  // The refresh commands of the main window and the quote debug window.
  void RefreshCommand(TRefreshSource source);

 private:
  bool IsTradingWindow(WindowHandle window);
  void PostKey(uint8_t code);
  void ShowAssociated();
  void ShowNotAssociated();

  IDesktop& desktop_;
  ITradingMainWindow& main_;
  app::ProcessFlags& flags_;
  const settings::TTradingProfile& profile_;
  const TTradingOptions& options_;
  const uint32_t ownProcessId_;
  const uint32_t antiLockIntervalMs_;

  WindowHandle window_ = kNoWindow;
  bool found_ = false;
  std::array<WindowHandle, kControlSlotCount> slots_{};
  // The window whose controls the slots hold.
  WindowHandle slotsOwner_ = kNoWindow;
};

}  // namespace trading
