// The quote windows' shared value labels, and the quote tip window
// (Tfrmstocktip): the full quote of the monitor under the mouse in the main
// list. The models hold what the windows show; their views bind the labels.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/datetime.h"
#include "quotes/Ustockdrv.h"

namespace quotes {

// The value labels of a quote, in the order of the windows' tables.
enum QuoteField : int {
  kFieldCode, kFieldName, kFieldOpen, kFieldClose, kFieldNow, kFieldVolume, kFieldHigh, kFieldLow,
  kFieldBuyPrice1, kFieldBuyPrice5 = kFieldBuyPrice1 + 4,
  kFieldBuyVol1, kFieldBuyVol5 = kFieldBuyVol1 + 4,
  kFieldSellPrice1, kFieldSellPrice5 = kFieldSellPrice1 + 4,
  kFieldSellVol1, kFieldSellVol5 = kFieldSellVol1 + 4,
  kFieldTime,
  kQuoteFieldCount
};
using QuoteValues = std::array<std::string, kQuoteFieldCount>;

// The control name of a value label ("Labeldm", "LabelBuyPrice3", ...).
std::string QuoteFieldName(QuoteField field);
// The caption beside a value label: "开盘价：", "买③：", ... The security
// code and name are captioned by each window itself; so is the time.
std::string QuoteFieldCaption(QuoteField field);

// Bid and ask level i (0..4) of a report.
float BidPrice(const TQuoteReport& r, int i);
float BidVolume(const TQuoteReport& r, int i);
float AskPrice(const TQuoteReport& r, int i);
float AskVolume(const TQuoteReport& r, int i);

// Fills the values from a report: prices "0.000", volumes with
// `volumeDecimals` decimals, the time through `formatTime`.
void FillQuoteValues(const TQuoteReport& report, int volumeDecimals,
                     const std::function<std::string(base::TDateTime)>& formatTime, QuoteValues& out);

inline constexpr int kStockTipWidth = 268;
inline constexpr int kStockTipHeight = 206;
inline constexpr uint8_t kStockTipAlpha = 230;
inline constexpr char kStockTipFont[] = "宋体";

class Tfrmstocktip {
 public:
  // The caption of a label of this window ("代码：", "名称：", ... "时间：").
  static std::string Caption(QuoteField field);

  // Show for monitor: all values cleared, the monitor's code remembered,
  // the window shown.
  void ShowFor(std::string_view code);
  // Whether the remembered code is this one.
  bool ShowsCode(std::string_view code) const { return code == code_; }
  // Fills every value from a report of the remembered code; any other
  // report changes nothing. True when the values changed.
  bool ShowReport(const TQuoteReport& report);
  // A click on the window, or the list asking: the window goes.
  void Close() { visible_ = false; }

  bool Visible() const { return visible_; }
  const std::string& Value(QuoteField field) const { return values_[field]; }
  const std::string& Code() const { return code_; }

 private:
  QuoteValues values_{};
  std::string code_;
  bool visible_ = false;
};

}  // namespace quotes
