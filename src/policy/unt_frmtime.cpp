#include "policy/unt_frmtime.h"

#include <cmath>

#include "base/datetime.h"
#include "base/text.h"
#include "policy/unt_orderrules.h"

namespace policy {
namespace {

constexpr char kCtlVolume[] = "RzNumEditVolume";
constexpr char kCtlTradeTime[] = "RzDTETradeTime";

std::string TwoDigits(int value) { return (value < 10 ? "0" : "") + std::to_string(value); }

std::string HourMinute(int minutes) { return TwoDigits(minutes / 60) + ":" + TwoDigits(minutes % 60); }

}  // namespace

std::optional<int> ParseOrderTime(std::string_view text) {
  text = base::Trim(text);
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() - colon != 3) return std::nullopt;
  auto digits = [](std::string_view part) -> std::optional<int> {
    int value = 0;
    for (const char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    return value;
  };
  const auto hour = digits(text.substr(0, colon));
  const auto minute = digits(text.substr(colon + 1));
  if (!hour || !minute || *hour > 23 || *minute > 59) return std::nullopt;
  return *hour * 60 + *minute;
}

Tfrmtime::Tfrmtime(TEditorServices services, IEditorDialog& dialog)
    : TEditorFrame(std::move(services), dialog, kKindTime, settings::TMonitorSection::Time,
                   {kTimeAddTitle, kTimeModifyTitle, kTimeHelpFile}) {}

void Tfrmtime::RzCBPriceClick(bool checked) {
  tradePriceChecked = checked;
  setPriceEnabled = !checked;
  setPriceText = checked ? kTradePriceCaption : Defaults().setPrice;
}

void Tfrmtime::Reset() {
  ZeroQuote();
  SetLivePriceText(TLiveRole::Main, "");
  codeText.clear();
  nameText.clear();
  if (tradePriceChecked) RzCBPriceClick(false);
  tradePriceChecked = false;
  setPriceEnabled = true;
  setPriceText = Defaults().setPrice;
  quantityText = Defaults().quantity;
  const base::TDateTime now = Services().now ? Services().now() : base::Now();
  tradeTimeText = HourMinute(MinuteOfDay(now));
  activeChecked = false;
  SetOptimise(false);
  FillOptimiseFromDefault();
}

void Tfrmtime::ResetClick() {
  TEditorFrame::ResetClick();
  MoveFocus(kCtlCode);
}

void Tfrmtime::RefillRest(const TPolicyRecord& m) {
  if (m.priceBasis == kBasisTradePrice) {
    RzCBPriceClick(true);
  } else {
    tradePriceChecked = false;
    setPriceEnabled = true;
    setPriceText = base::FormatPrice(m.setPrice);
  }
  buy = m.tradeType == 1;
  quantityText = std::to_string(m.quantity);
  tradeTimeText = HourMinute(MinuteOfDay(m.orderTime));
  RefillOptimise(m);
  activeChecked = m.promptOnly == 0;
}

bool Tfrmtime::Validate() {
  if (!CodeValid()) return Refuse(kBadCodeText, kCtlCode);
  if (!tradePriceChecked) {
    const auto price = NumberOf(setPriceText);
    if (!price) return Refuse("设定价位不是有效的数字！", kCtlSetPrice);
    if (*price < 0) return Refuse("设定价格不能小于0！", kCtlSetPrice);
  }
  const auto quantity = WholeNumberOf(quantityText);
  if (!quantity) return Refuse("买卖数量不是有效的整数！", kCtlVolume);
  if (*quantity < 0) return Refuse("买卖数量不能小于0！", kCtlVolume);
  if (const std::string lot = buy ? BuyLotError(codeText, *quantity) : std::string(); !lot.empty()) return Refuse(lot, kCtlVolume);
  if (optimise.checked) {
    const auto amount = NumberOf(optimise.amount);
    if (!amount) return Refuse("报价优化不是有效的数字！", kCtlOptimise);
    if (*amount < 0) return Refuse("报价优化不能小于0！", kCtlOptimise);
  }
  if (!ParseOrderTime(tradeTimeText)) return Refuse(kBadOrderTimeText, kCtlTradeTime);
  return true;
}

void Tfrmtime::OkClick() {
  if (!Validate()) return;
  TPolicyRecord r = CommonRecord();
  if (tradePriceChecked) {
    r.priceBasis = kBasisTradePrice;
    r.setPrice = 0.0f;
  } else {
    r.priceBasis = kBasisTyped;
    r.setPrice = static_cast<float>(NumberOf(setPriceText).value_or(0.0));
  }
  const int minutes = *ParseOrderTime(tradeTimeText);
  r.orderTime = base::EncodeTime(minutes / 60, minutes % 60, 0);
  r.tradeType = buy ? 1 : 2;
  r.quantity = WholeNumberOf(quantityText).value_or(0);
  SaveMonitor(r);
}

void Tfrmtime::SaveDefaultsClick() {
  settings::TMonitorDefaults& d = Defaults();
  d.setPrice = tradePriceChecked ? base::Trim(LivePriceText(TLiveRole::Main)) : base::Trim(setPriceText);
  d.quantity = base::Trim(quantityText);
  d.optimiseAmount = StoredAmount(optimise.amount, optimise.yuan);
  WriteDefaults();
}

}  // namespace policy
