#include "policy/unt_payoffchecks.h"

#include <cmath>
#include <stdexcept>

#include "base/text.h"

namespace policy {
namespace {

const TPayoffKindInfo kPayoff{kKindPayoff,
                              "添加移动止盈",
                              "修改移动止盈",
                              "res\\MonitorPayOff.rtf",
                              "卖出数量：",
                              "回落数量：",
                              "卖出数量不是有效的整数！",
                              "回落数量不是有效的数字！",
                              settings::TMonitorSection::TakeProfit,
                              kDirFall,
                              2,
                              TPayoffField::Quantity,
                              TPayoffExtraCheck::None};
const TPayoffKindInfo kLossLimit{kKindLossLimit,
                                 "添加条件止损",
                                 "修改条件止损",
                                 "res\\MonitorLossLimit.rtf",
                                 "卖出数量：",
                                 "下跌数量：",
                                 "卖出数量不是有效的整数！",
                                 "下跌数量不是有效的数字！",
                                 settings::TMonitorSection::StopLoss,
                                 kDirFall,
                                 2,
                                 TPayoffField::Amount,
                                 TPayoffExtraCheck::NotAboveCurrent};
// The rebound editor shares the take-profit editor's defaults.
const TPayoffKindInfo kLimitDown{kKindLimitDown,
                                 "添加限价下跌反弹",
                                 "修改限价下跌反弹",
                                 "res\\MonitorLimitDownUp.rtf",
                                 "买入数量：",
                                 "反弹数量：",
                                 "买入数量不是有效的整数！",
                                 "反弹数量不是有效的数字！",
                                 settings::TMonitorSection::TakeProfit,
                                 kDirFallRebound,
                                 1,
                                 TPayoffField::Quantity,
                                 TPayoffExtraCheck::NotAboveReference};

}  // namespace

const TPayoffKindInfo& PayoffKindInfo(uint8_t kind) {
  switch (kind) {
    case kKindPayoff: return kPayoff;
    case kKindLossLimit: return kLossLimit;
    case kKindLimitDown: return kLimitDown;
    default: throw std::invalid_argument("not an editor of the take-profit family");
  }
}

std::optional<TPayoffRefusal> CheckPayoff(const TPayoffKindInfo& info, const TPayoffCheckInput& in) {
  using F = TPayoffField;
  if (!in.codeValid) return TPayoffRefusal{kBadCodeText, F::Code};

  // While a basis is chosen the field holds its caption and counts as 0.
  double setPrice = 0;
  if (in.basis == kBasisTyped) {
    const std::optional<double> v = PriceOf(in.setPriceText);
    if (!v) return TPayoffRefusal{kSetPriceNotNumber, F::SetPrice};
    if (*v < 0) return TPayoffRefusal{kSetPriceNegative, F::SetPrice};
    setPrice = *v;
  }

  const std::optional<int32_t> quantity = WholeNumberOf(in.quantityText);
  if (!quantity) return TPayoffRefusal{info.quantityNotNumber, F::Quantity};
  if (*quantity < 0) return TPayoffRefusal{kSellQuantityNegative, F::Quantity};

  const std::optional<double> amount = PriceOf(in.amountText);
  if (!amount) return TPayoffRefusal{info.amountNotNumber, F::Amount};
  if (*amount < 0) return TPayoffRefusal{kFallBackNegative, F::Amount};

  // The amount is saved only while optimisation is on (off saves 10 per
  // mille), so only then can it be wrong.
  if (in.optChecked) {
    const std::optional<double> opt = PriceOf(in.optAmountText);
    if (!opt) return TPayoffRefusal{kOptimiseNotNumber, F::OptAmount};
    if (*opt < 0) return TPayoffRefusal{kOptimiseNegative, F::OptAmount};
  }

  switch (info.extraCheck) {
    case TPayoffExtraCheck::None: break;
    case TPayoffExtraCheck::NotAboveCurrent: {
      double current = in.quoteNewest;
      if (!base::Trim(in.livePriceLabel).empty()) {
        if (const std::optional<double> shown = NumberOf(in.livePriceLabel)) current = *shown;
      }
      if (PriceAtThousandths(setPrice) > PriceAtThousandths(current))
        return TPayoffRefusal{kSetPriceAboveCurrent, F::SetPrice};
      break;
    }
    case TPayoffExtraCheck::NotAboveReference: {
      const double reference = std::round(static_cast<double>(in.quoteNewest) * 100.0) / 100.0;
      std::optional<double> compared;
      if (in.basis == kBasisOpen) compared = NumberOf(in.openLabel);
      else if (in.basis == kBasisPrevClose) compared = NumberOf(in.closeLabel);
      else if (in.basis == kBasisTyped) compared = setPrice;
      if (compared && PriceAtThousandths(*compared) > reference) return TPayoffRefusal{kSetPriceAboveCurrent, F::None};
      break;
    }
  }

  if ((in.basis == kBasisOpen || in.basis == kBasisNewest) && in.minuteOfDay < 9 * 60 + 30)
    return TPayoffRefusal{kSessionRuleText, F::None};
  return std::nullopt;
}

}  // namespace policy
