// Entering an order into the trading program: keystroke mode runs the
// profile's buy or sell step list; control-level mode fills the trading
// window's fields with window messages and presses its order button.
#pragma once

#include <functional>
#include <string>

#include "policy/trade_record.h"
#include "settings/trading_profile.h"
#include "trading/desktop_port.h"
#include "trading/main_window_port.h"
#include "trading/unt_apiwrapper.h"

namespace trading {

// The trading program's own message, sent after each field's text.
constexpr uint32_t kFieldCommitMessage = 0xB012;

inline constexpr const char* kWarningCategory = "Warning";
inline constexpr const char* kNoTradeTypeText = "缺少交易类型！";

class TOrderPlacer {
 public:
  TOrderPlacer(IDesktop& desktop, ITradingMainWindow& mainWindow, const TTradingWindow& tradingWindow,
               const settings::TTradingProfile& profile);

  // Called for every step run (its text) and for every action of
  // control-level mode, with a description of what was done.
  std::function<void(const std::string& step, const std::string& action)> onStep;
  // Called before each step and each key or click of control-level mode,
  // so that the trading program's boxes are read before input closes them.
  std::function<void()> beforeInput;

  // Enters the order into the held trading window; nothing without one.
  // A step with a bad number raises EConvertError after the thread input
  // was detached again.
  void PlaceOrder(const policy::TTradeRecord& order);
  void RunStepList(const settings::TStepList& steps, const policy::TTradeRecord& order);
  void RunStep(const std::string& step, const policy::TTradeRecord& order);
  void PlaceOrderByControls(const policy::TTradeRecord& order);

 private:
  std::string RunStepAction(const std::string& step, const policy::TTradeRecord& order);
  std::string TypeVariable(const std::string& name, const policy::TTradeRecord& order);
  std::string Click(const std::string& argument);
  std::string PressPanel(TControlSlot slot, const std::string& step);
  void Report(const std::string& step, const std::string& action);
  void BeforeInput() {
    if (beforeInput) beforeInput();
  }
  void PressControl(WindowHandle control, bool post);
  void SetField(WindowHandle field, const std::string& text);

  IDesktop& desktop_;
  ITradingMainWindow& main_;
  const TTradingWindow& trading_;
  const settings::TTradingProfile& profile_;
};

}  // namespace trading
