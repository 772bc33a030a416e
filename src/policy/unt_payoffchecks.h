// What sets the three editors of the sell-on-fall family apart (trailing
// take-profit, conditional stop-loss, limit-price rebound): one table row
// each, and the OK checks they share, as a pure function of what the
// dialog shows, so that the order of the checks and their texts are
// tested without a window.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "policy/unt_editorframe.h"

namespace policy {

// The editor's kind-specific extra check before the 9:30 rule.
enum class TPayoffExtraCheck : uint8_t {
  None,
  NotAboveCurrent,    // stop-loss: the set price must not exceed the current price
  NotAboveReference,  // rebound: basis labels or set price against the newest price at two decimals
};

// The field the focus goes to after a lookup when the set price is disabled.
enum class TPayoffField : uint8_t { None, Code, SetPrice, Quantity, Amount, OptAmount };

struct TPayoffKindInfo {
  uint8_t kind;
  const char* titleAdd;
  const char* titleModify;
  const char* helpFile;        // under the application folder
  const char* quantityLabel;   // RzNumEditSellVolume
  const char* amountLabel;     // RzNumBackVolume
  // Refusals of fields that hold no number, named as the labels name them.
  const char* quantityNotNumber;
  const char* amountNotNumber;
  settings::TMonitorSection section;
  uint8_t direction;
  uint8_t tradeType;
  TPayoffField focusAfterLookup;  // when the set-price field is disabled
  TPayoffExtraCheck extraCheck;
};

const TPayoffKindInfo& PayoffKindInfo(uint8_t kind);  // kinds 1, 5 and 6

// Refusal texts; the rebound editor reuses the take-profit editor's texts
// for its two amounts on purpose.
inline constexpr char kSetPriceNegative[] = "设定价格不能小于0！";
inline constexpr char kSellQuantityNegative[] = "卖出数量不能小于0！";
inline constexpr char kFallBackNegative[] = "回落数量不能小于0！";
inline constexpr char kOptimiseNegative[] = "报价优化不能小于0！";
inline constexpr char kSetPriceAboveCurrent[] = "设定价不能大于现价！";
// A field whose text is no number is refused rather than saved as garbage.
inline constexpr char kSetPriceNotNumber[] = "设定价位不是有效的数字！";
inline constexpr char kOptimiseNotNumber[] = "报价优化不是有效的数字！";

// What the checks read, as the dialog shows it.
struct TPayoffCheckInput {
  bool codeValid = false;  // the frame's code rule
  uint8_t basis = kBasisTyped;  // the checked basis box, 0 none
  std::string setPriceText;
  std::string quantityText;
  std::string amountText;
  std::string optAmountText;
  bool optChecked = false;
  int minuteOfDay = 0;  // the local time, cut to whole minutes
  // For the extra checks.
  std::string livePriceLabel;
  std::string openLabel;
  std::string closeLabel;
  float quoteNewest = 0;  // of the looked-up quote
};

struct TPayoffRefusal {
  std::string text;
  TPayoffField focus = TPayoffField::None;  // None: the focus stays
};

// The first failing check, in the editor's order; nullopt when OK may save.
std::optional<TPayoffRefusal> CheckPayoff(const TPayoffKindInfo& info, const TPayoffCheckInput& in);

}  // namespace policy
