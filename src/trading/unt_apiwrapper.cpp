#include "trading/unt_apiwrapper.h"

#include <algorithm>
#include <limits>

#include "trading/sndkey32.h"

namespace trading {

namespace {

struct SlotRule {
  int id;
  const char* className;
  TControlSlot first;
  int count;  // 1 or 2 consecutive slots
};

constexpr SlotRule kSlotRules[] = {
    {1000, "AfxWnd42", TControlSlot::F1PanelButton, 1},    {1001, "AfxWnd42", TControlSlot::F2PanelButton, 1},
    {1005, "AfxWnd42", TControlSlot::ThirdPanelButton, 1}, {1006, "Button", TControlSlot::BuyOrderButton, 2},
    {1007, "Button", TControlSlot::BuyFirstButton, 2},     {1018, "Edit", TControlSlot::FirstField1018, 2},
    {1032, "Edit", TControlSlot::BuyCode, 2},              {1033, "Edit", TControlSlot::BuyPrice, 2},
    {1034, "Edit", TControlSlot::BuyQuantity, 2},
};

// Class names are read through a 32-byte buffer: at most 31 characters.
constexpr size_t kClassNameLimit = 31;

uint32_t IntervalMs(int32_t seconds) {
  const int64_t ms = static_cast<int64_t>(std::max(seconds, 0)) * 1000;
  return static_cast<uint32_t>(std::min<int64_t>(ms, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

TTradingWindow::TTradingWindow(IDesktop& desktop, ITradingMainWindow& mainWindow, app::ProcessFlags& flags,
                               const settings::TTradingProfile& profile, const TTradingOptions& options)
    : desktop_(desktop),
      main_(mainWindow),
      flags_(flags),
      profile_(profile),
      options_(options),
      ownProcessId_(desktop.CurrentProcessId()),
      antiLockIntervalMs_(IntervalMs(options.antiLockSeconds)) {}

void TTradingWindow::PostKey(uint8_t code) {
  desktop_.Post(window_, kWmKeyDown, code, 0);
  desktop_.Post(window_, kWmKeyUp, code, 0);
}

bool TTradingWindow::IsTradingWindow(WindowHandle window) {
  const std::string& fragment = profile_.windowTitle;
  // Titles are compared as text (both UTF-8), so a Chinese fragment
  // matches whatever the system code page is.
  return !fragment.empty() && desktop_.WindowText(window).find(fragment) != std::string::npos &&
         desktop_.WindowProcessId(window) != ownProcessId_;
}

bool TTradingWindow::FindTradingWindow() {
  found_ = false;
  for (const WindowHandle window : desktop_.TopLevelWindows()) {
    if (!IsTradingWindow(window)) continue;
    window_ = window;
    found_ = true;
    // Both order panels must exist before the controls are collected.
    PostKey(kVkF1);
    desktop_.Sleep(300);
    PostKey(kVkF2);
    desktop_.Sleep(300);
    break;
  }
  return found_;
}

void TTradingWindow::CollectTradeControls() {
  // Handles of another window's controls (a trading program that was
  // closed and started again) are of no use: start afresh.
  if (slotsOwner_ != window_) {
    slots_.fill(kNoWindow);
    slotsOwner_ = window_;
  }
  if (window_ == kNoWindow) return;
  for (const WindowHandle child : desktop_.ChildWindows(window_)) {
    const int id = desktop_.ControlId(child);
    const SlotRule* rule = std::find_if(std::begin(kSlotRules), std::end(kSlotRules),
                                        [id](const SlotRule& r) { return r.id == id; });
    if (rule == std::end(kSlotRules)) continue;
    std::string className = desktop_.ClassName(child);
    if (className.size() > kClassNameLimit) className.resize(kClassNameLimit);
    if (className != rule->className) continue;
    for (int n = 0; n < rule->count; ++n) {
      WindowHandle& slot = slots_[static_cast<int>(rule->first) + n];
      if (slot == kNoWindow) {
        slot = child;
        break;
      }
      if (slot == child) break;  // already held from an earlier collection
    }
  }
}

void TTradingWindow::ClearTradingWindow() {
  window_ = kNoWindow;
  slots_.fill(kNoWindow);
  slotsOwner_ = kNoWindow;
}

void TTradingWindow::ShowAssociated() {
  main_.SetTitles(main_.ApplicationTitle() + kTitleJoiner + profile_.windowTitle);
  main_.SetAssociationPane(kAssociatedPane + profile_.windowTitle);
  main_.ShowAssociationWarning(false);
}

void TTradingWindow::ShowNotAssociated() {
  main_.SetTitles(main_.ApplicationTitle());
  main_.SetAssociationPane(kLostPane);
}

void TTradingWindow::AssociateTradingWindow() {
  main_.ShowProgress(kSearchingText);
  bool found;
  try {
    desktop_.Sleep(100);
    main_.StepProgress();
    found = FindTradingWindow();
  } catch (...) {
    main_.CloseProgress();
    throw;
  }
  main_.CloseProgress();

  if (!found) {
    main_.ShowInformation(kNotFoundText, main_.ApplicationTitle());
    if (!main_.LaunchOrderProgram()) main_.ShowProfileDownload();
    // The profile dialog may have applied a profile and associated by
    // itself meanwhile: then the warning stays hidden.
    if (!found_ || window_ == kNoWindow) main_.ShowAssociationWarning(true);
    return;
  }
  desktop_.SetOpacity(window_, static_cast<uint8_t>(std::clamp(options_.tradingWindowAlpha, 0, 255)));
  desktop_.SetWindowPos(window_, 0, 0, 670, 140, kSwpNoSize | kSwpShowWindow);
  const ScreenSize mainSize = main_.MainWindowSize();
  if (mainSize.width > 0 && mainSize.height > 0) {
    const ScreenSize screen = desktop_.Screen();
    main_.MoveMainWindow(screen.width - mainSize.width - 5, screen.height - mainSize.height - 35);
  }
  desktop_.ShowWindow(window_, kSwRestore);
  PostKey(kVkF1);
  CollectTradeControls();
  ShowAssociated();
}

void TTradingWindow::RecheckAssociation() {
  const WindowHandle held = window_;
  if (!FindTradingWindow()) {
    ClearTradingWindow();
    ShowNotAssociated();
    if (held != kNoWindow) {
      main_.WriteDailyLog(kLostLogLine);
      main_.ShowInformation(kLostBoxText, kLostBoxTitle);
    }
    main_.ShowAssociationWarning(true);
    return;
  }
  // A window found where none was held, or another window than the held
  // one (the program was closed and started again between two checks).
  if (window_ != held) {
    PostKey(kVkF1);
    CollectTradeControls();
    ShowAssociated();
  }
}

void TTradingWindow::RelinkAfterTitleChange() {
  if (FindTradingWindow()) {
    SendKeys(desktop_, "{F1}", true);
    CollectTradeControls();
    ShowAssociated();
  } else {
    ClearTradingWindow();
    ShowNotAssociated();
  }
}

void TTradingWindow::AntiLockRefresh() {
  if (flags_.orderInProgress) return;
  flags_.windowRefresh = true;
  // Without a trading window there is nothing to refresh (posting to no
  // window would put the key into this thread's own queue).
  if (window_ != kNoWindow) {
    PostKey(kVkF5);
    if (options_.minimiseAfterOrder) desktop_.ShowWindow(window_, kSwShowMinimized);
  }
  flags_.windowRefresh = false;
}

void TTradingWindow::AntiLockTick() {
  if (!flags_.loggedIn || flags_.orderInProgress) return;
  AntiLockRefresh();
  RecheckAssociation();
}

void TTradingWindow::RefreshCommand(TRefreshSource source) {
  if (!flags_.loggedIn) return;
  if (source != TRefreshSource::PopupMenuItem && flags_.orderInProgress) return;
  main_.RebuildMonitorList();
  AntiLockRefresh();
  RecheckAssociation();
}

}  // namespace trading
