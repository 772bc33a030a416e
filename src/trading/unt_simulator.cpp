#include "trading/unt_simulator.h"

#include <algorithm>

#include "base/gbk.h"
#include "base/text.h"
#include "trading/sndkey32.h"

namespace trading {

namespace {

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// Steps are kept as UTF-8; the key notation reads the profile's GBK bytes.
std::string SendStepKeys(IDesktop& desktop, const std::string& step) {
  SendKeys(desktop, base::Utf8ToGbkLossy(step), true);
  return "keys";
}

std::string Trimmed(std::string_view text) { return std::string(base::Trim(text)); }

// The slot of a field for the order's side.
TControlSlot SideSlot(bool sell, TControlSlot buySlot) {
  return static_cast<TControlSlot>(static_cast<int>(buySlot) + (sell ? 1 : 0));
}

}  // namespace

TOrderPlacer::TOrderPlacer(IDesktop& desktop, ITradingMainWindow& mainWindow, const TTradingWindow& tradingWindow,
                           const settings::TTradingProfile& profile)
    : desktop_(desktop), main_(mainWindow), trading_(tradingWindow), profile_(profile) {}

void TOrderPlacer::Report(const std::string& step, const std::string& action) {
  if (onStep) onStep(step, action);
}

void TOrderPlacer::PlaceOrder(const policy::TTradeRecord& order) {
  const WindowHandle window = trading_.Window();
  if (window == kNoWindow) return;
  if (profile_.ControlLevelMode()) {
    PlaceOrderByControls(order);
    return;
  }

  ForceForeground(desktop_, window);
  desktop_.Sleep(200);
  desktop_.ProcessMessages();
  desktop_.SetWindowPos(window, 0, 0, 670, 140, kSwpNoSize | kSwpShowWindow);
  desktop_.SetActiveWindow(window);
  desktop_.UpdateWindow(window);

  // The steps run with this thread's input joined to the trading program's,
  // so that focus changes and key states apply to it. Messages run between
  // steps and may replace the profile: run a copy of the list.
  const uint32_t self = desktop_.CurrentThreadId();
  const uint32_t target = desktop_.WindowThreadId(window);
  desktop_.AttachThreadInput(self, target, true);
  struct Detach {
    IDesktop& desktop;
    uint32_t self, target;
    ~Detach() { desktop.AttachThreadInput(self, target, false); }
  } detach{desktop_, self, target};

  if (order.tradeType == policy::kTradeBuy) {
    RunStepList(settings::TStepList(profile_.buySteps), order);
  } else if (order.tradeType == policy::kTradeSell) {
    RunStepList(settings::TStepList(profile_.sellSteps), order);
  } else {
    main_.WriteOrderStepLog(kWarningCategory, kNoTradeTypeText);
  }
}

void TOrderPlacer::RunStepList(const settings::TStepList& steps, const policy::TTradeRecord& order) {
  for (const settings::TStep& step : steps) RunStep(step.text, order);
}

void TOrderPlacer::RunStep(const std::string& step, const policy::TTradeRecord& order) {
  if (base::Trim(step).empty()) return;
  BeforeInput();
  Report(step, RunStepAction(step, order));
  desktop_.ProcessMessages();
  desktop_.Sleep(100);
}

std::string TOrderPlacer::PressPanel(TControlSlot slot, const std::string& step) {
  const WindowHandle button = trading_.Slot(slot);
  if (button == kNoWindow) return SendStepKeys(desktop_, step);
  PressControl(button, false);
  return slot == TControlSlot::F1PanelButton ? "clicked the F1 panel button" : "clicked the F2 panel button";
}

// The step table: the first keyword found in the step decides.
std::string TOrderPlacer::RunStepAction(const std::string& step, const policy::TTradeRecord& order) {
  if (Contains(step, "ESC")) {
    // (The top window of no window would be some other program's.)
    if (const WindowHandle window = trading_.Window()) desktop_.SetActiveWindow(desktop_.TopChild(window));
    SendKeys(desktop_, "{ESC}", true);
    return "activated the top child, Escape";
  }
  for (const char* word : {"TAB", "ENTER", "INSERT", "DELETE"}) {
    if (Contains(step, word)) return SendStepKeys(desktop_, step);
  }
  if (Contains(step, "F1")) return PressPanel(TControlSlot::F1PanelButton, step);
  if (Contains(step, "F2")) return PressPanel(TControlSlot::F2PanelButton, step);
  for (const char* word : {"F3", "F4", "F5", "F6", "%", "^", "+"}) {
    if (Contains(step, word)) return SendStepKeys(desktop_, step);
  }
  const size_t blank = step.find(' ');
  const std::string argument = blank == std::string::npos ? "" : Trimmed(std::string_view(step).substr(blank + 1));
  if (Contains(step, "wait")) {
    if (blank == std::string::npos) return "nothing";
    // A negative pause would be an endless one.
    const uint32_t ms = static_cast<uint32_t>(std::max(StrToInt(argument), 0));
    desktop_.Sleep(ms);
    return "paused " + std::to_string(ms) + " ms";
  }
  if (Contains(step, "var")) return blank == std::string::npos ? "nothing" : TypeVariable(argument, order);
  if (Contains(step, "click")) return blank == std::string::npos ? "nothing" : Click(argument);
  return "nothing";
}

std::string TOrderPlacer::TypeVariable(const std::string& name, const policy::TTradeRecord& order) {
  const bool buy = order.tradeType == policy::kTradeBuy;
  if (!buy && order.tradeType != policy::kTradeSell) return "nothing (no trade type)";
  if (name == "ZQDM") {
    const WindowHandle field = trading_.Slot(SideSlot(!buy, TControlSlot::BuyCode));
    if (field != kNoWindow) desktop_.SetFocus(field);
    TypeValue(desktop_, order.code);
    return "typed the code " + order.code + (field != kNoWindow ? " into the code field" : "");
  }
  if (name == "CJJ") {
    const std::string& price = buy ? order.buyPrice : order.sellPrice;
    TypeValue(desktop_, price);
    return "typed the price " + price;
  }
  if (name == "SL") {
    const std::string& quantity = buy ? order.buyQuantity : order.sellQuantity;
    TypeValue(desktop_, quantity);
    return "typed the quantity " + quantity;
  }
  return "nothing (unknown name)";
}

std::string TOrderPlacer::Click(const std::string& argument) {
  const size_t comma = argument.find(',');
  if (comma == std::string::npos) throw EConvertError("'" + argument + "' is not a valid point");
  int x = StrToInt(Trimmed(std::string_view(argument).substr(0, comma)));
  int y = StrToInt(Trimmed(std::string_view(argument).substr(comma + 1)));
  desktop_.ClientToScreen(trading_.Window(), x, y);
  desktop_.ShowCursor(false);
  desktop_.SetCursorPos(x, y);
  desktop_.MouseEvent(kMouseEventLeftDown);
  desktop_.MouseEvent(kMouseEventLeftUp);
  desktop_.ShowCursor(true);
  return "clicked at " + std::to_string(x) + "," + std::to_string(y) + " on the screen";
}

// An empty slot gets nothing: a message posted to no window would land in
// this thread's own queue.
void TOrderPlacer::PressControl(WindowHandle control, bool post) {
  if (control == kNoWindow) return;
  if (post) {
    desktop_.Post(control, kWmLButtonDown, 0, 0);
    desktop_.Post(control, kWmLButtonUp, 0, 0);
  } else {
    desktop_.Send(control, kWmLButtonDown, 0, 0);
    desktop_.Send(control, kWmLButtonUp, 0, 0);
  }
}

void TOrderPlacer::SetField(WindowHandle field, const std::string& text) {
  if (field == kNoWindow) return;
  desktop_.SendText(field, text);
  desktop_.Send(field, kFieldCommitMessage, 0, 0);
}

void TOrderPlacer::PlaceOrderByControls(const policy::TTradeRecord& order) {
  const bool buy = order.tradeType == policy::kTradeBuy;
  if (!buy && order.tradeType != policy::kTradeSell) {
    main_.WriteOrderStepLog(kWarningCategory, kNoTradeTypeText);
    return;
  }
  const bool sell = !buy;
  const WindowHandle window = trading_.Window();
  const auto slot = [&](TControlSlot buySlot) { return trading_.Slot(SideSlot(sell, buySlot)); };
  const std::string side = buy ? "buy" : "sell";

  desktop_.SetForegroundWindow(window);
  const uint8_t panelKey = buy ? kVkF1 : kVkF2;
  desktop_.Post(window, kWmKeyDown, panelKey, 0);
  desktop_.Post(window, kWmKeyUp, panelKey, 0);
  Report("control", buy ? "F1 to the trading window" : "F2 to the trading window");
  desktop_.Sleep(100);

  PressControl(slot(TControlSlot::BuyFirstButton), false);
  Report("control", "pressed the " + side + " first button");
  desktop_.Sleep(100);

  SetField(slot(TControlSlot::BuyCode), order.code);
  Report("control", "code field " + order.code);
  desktop_.Sleep(500);

  const std::string& price = buy ? order.buyPrice : order.sellPrice;
  SetField(slot(TControlSlot::BuyPrice), price);
  Report("control", "price field " + price);
  desktop_.Sleep(200);

  const std::string& quantity = buy ? order.buyQuantity : order.sellQuantity;
  PressControl(slot(TControlSlot::BuyQuantity), false);
  SetField(slot(TControlSlot::BuyQuantity), quantity);
  Report("control", "quantity field " + quantity);
  desktop_.Sleep(200);

  BeforeInput();
  PressControl(slot(TControlSlot::BuyOrderButton), true);
  Report("control", "pressed the " + side + " order button");
  desktop_.Sleep(200);

  // Confirm the trading program's boxes, then close what is left.
  for (const uint32_t pause : {300u, 300u, 200u}) {
    BeforeInput();
    SendKeys(desktop_, "{ENTER}", true);
    desktop_.Sleep(pause);
  }
  BeforeInput();
  SendKeys(desktop_, "{ESC}", true);
  Report("control", "Enter, Enter, Enter, Escape");
}

}  // namespace trading
