#include "policy/unt_policy_describe.h"

#include "base/fixed_text.h"
#include "base/text.h"

namespace policy {

std::string Describe(const TPolicyRecord& r) {
  const std::string S = base::FormatPrice(r.setPrice);
  const std::string C = base::FormatPrice(r.changeAmount);
  const std::string U = ChangeUnitText(r.changeUnit);
  const std::string M = r.promptOnly != 0 ? "提示" : "自动";
  const std::string T = TradeTypeText(r.tradeType);
  const std::string D = DirectionText(r.direction);
  const std::string Q = std::to_string(r.quantity);
  switch (r.kind) {
    case kKindPayoff:
      return "当高于设定价位" + S + "后回落" + C + U + "且大于设定价时" + M + "卖出" + Q + "股";
    case kKindPrice:
      return "当相对设定价位" + S + D + C + U + "时及时" + M + T + Q + "股";
    case kKindTime:
      return "在" + base::FormatDateTime("hh:nn", r.orderTime) + "时按设定价位" + M + T + Q + "股";
    case kKindLossLimit:
      return "当相对于设定价" + S + D + C + U + "时及时" + M + T + Q + "股";
    case kKindLimitDown:
      return "当低于设定价位" + S + "后反弹" + C + U + "且小于设定价时" + M + "买入" + Q + "股";
    case kKindIndex:
      return "当所监控的" + NameUtf8(r) + "相对于设定点位" + S + D + C + U + "时及时" + M + T + Q + "股";
    default:
      return "";
  }
}

void UpdateDescription(TPolicyRecord& record) { SetDescription(record, Describe(record)); }

}  // namespace policy
