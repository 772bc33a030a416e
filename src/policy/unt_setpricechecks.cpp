#include "policy/unt_setpricechecks.h"

#include <cmath>

#include "policy/unt_editorframe.h"
#include "policy/unt_frmpolicyindex.h"
#include "policy/unt_payoffchecks.h"

namespace policy {

std::string SetPriceChangeError(const TPolicyRecord& m, std::string_view text, double current, double& price) {
  const uint8_t kind = m.kind & 0x7F;
  const std::optional<double> typed = PriceOf(text);
  if (!typed) return kind == kKindIndex ? kSetPointNotNumber : kSetPriceNotNumber;
  if (*typed < 0) return kSetPriceNegative;
  // A set price of 0 fires on the first trade (or never): no rule means it.
  if (!(*typed > 0)) return kSetPriceZero;
  const double now = PriceAtThousandths(current);
  const bool needsCurrent = kind == kKindPrice ? m.direction >= kDirRise && m.direction <= kDirFallRebound
                                               : kind == kKindLossLimit || kind == kKindLimitDown || kind == kKindIndex;
  if (needsCurrent && !(now > 0)) return kind == kKindIndex ? kNoIndexQuoteText : kNoNewestPriceText;
  switch (kind) {
    case kKindLossLimit:
      if (*typed > now) return kSetPriceAboveCurrent;
      break;
    case kKindLimitDown:
      // At two decimals, as the rebound editor compares.
      if (*typed > std::round(current * 100.0) / 100.0) return kSetPriceAboveCurrent;
      break;
    case kKindPrice:
      if ((m.direction == kDirRise || m.direction == kDirRiseFallBack) && !(*typed >= now))
        return "上涨或上涨中回落，设定价必须大于当前价！";
      if ((m.direction == kDirFall || m.direction == kDirFallRebound) && !(*typed <= now))
        return "下涨或下跌中反弹，设定价必须小于当前价！";
      break;
    case kKindIndex:
      if (m.direction == kDirRise && !(*typed > now)) return kRiseNeedsHigherPoint;
      if (m.direction == kDirFall && !(*typed < now)) return kFallNeedsLowerPoint;
      break;
    default: break;
  }
  price = *typed;
  return {};
}

}  // namespace policy
