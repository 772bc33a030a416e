// The quote debug window (Tfrmdebug, "测试窗口"): every incoming report of
// the selected security with a counter, and two test orders that run the
// order script on a made-up request. Portable model; the view owns the
// controls and IFrmdebugHost is the rest of the program.
#pragma once

#include <functional>
#include <string>

#include "policy/trade_record.h"
#include "quotes/unt_frmstocktip.h"

namespace quotes {

inline constexpr char kDebugCaption[] = "测试窗口";

class IFrmdebugHost {
 public:
  virtual ~IFrmdebugHost() = default;
  virtual bool SoundOn() = 0;  // the sound switch of the options
  virtual void PlaySound(const std::string& path, bool wait) = 0;
  // The debug window's own enabled state, around the order script.
  virtual void EnableDebugWindow(bool enable) = 0;
  // The order script of the main window (it may let window messages run).
  virtual void PlaceOrder(policy::TTradeRecord order) = 0;
  // The main window's "刷新": rebuild, refresh and re-check the trading
  // window; it acts only while logged in and no order is in progress.
  virtual void RefreshMainWindow() = 0;
};

class Tfrmdebug {
 public:
  // `folder`: the application folder (the sound under res\); `formatTime`:
  // the system's short date and long time.
  Tfrmdebug(std::string applicationFolder, IFrmdebugHost& host,
            std::function<std::string(base::TDateTime)> formatTime);

  // The caption of a value label ("证券代码：", "证券名称：", "开盘价：", ...).
  static std::string Caption(QuoteField field);

  void Show() { visible_ = true; }
  bool Visible() const { return visible_; }
  // Fills the values (prices and volumes "0.000") and counts the report.
  void ShowReport(const TQuoteReport& report);

  // The buttons and keys.
  void ButtonBuyClick();   // "测试闪电下单买入"
  void ButtonSellClick();  // "测试闪电下单卖出"
  void ButtonRefreshClick() { host_.RefreshMainWindow(); }  // "刷新"
  void ButtonCloseClick() { visible_ = false; }            // "关闭" and Esc

  const std::string& Value(QuoteField field) const { return values_[field]; }
  const std::string& CountCaption() const { return count_; }  // LabelCount

 private:
  void TestOrder(uint8_t tradeType);

  std::string folder_;
  IFrmdebugHost& host_;
  std::function<std::string(base::TDateTime)> formatTime_;
  QuoteValues values_{};
  std::string count_ = "0";
  bool visible_ = false;
};

}  // namespace quotes
