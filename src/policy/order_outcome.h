// What became of one order: the one record that the order-step log, the
// main list, log\orders.csv and the warning balloon are made from, and that
// anything else wanting to hear of order outcomes takes.
#pragma once

#include <cstdint>
#include <string>

#include "base/datetime.h"

namespace policy {

enum class OrderResult : uint8_t {
  Accepted,   // the broker showed an order or contract number, or said it took the order
  Refused,    // the broker said no
  Unknown,    // nothing readable came back
  NotPlaced,  // quorvel did not send it (no valid price, less than a lot)
  UnknownAtExit,  // the program closed while the answer was awaited
};

struct TOrderOutcome {
  base::TDateTime time = 0;  // when the order was sent (or would have been)
  int32_t monitorId = 0;
  uint8_t kind = 0;
  std::string code;
  std::string name;
  std::string side;  // "买入", "卖出"
  std::string price;
  std::string quantity;
  OrderResult result = OrderResult::Unknown;
  std::string orderNumber;  // accepted: the broker's contract or order number
  std::string brokerText;   // the texts read from the broker's boxes, or why nothing was sent
};

// "已提交", "被拒绝", "结果未知", "未下单", "结果未知（程序退出）".
inline const char* OrderResultText(OrderResult result) {
  switch (result) {
    case OrderResult::Accepted: return "已提交";
    case OrderResult::Refused: return "被拒绝";
    case OrderResult::NotPlaced: return "未下单";
    case OrderResult::UnknownAtExit: return "结果未知（程序退出）";
    default: return "结果未知";
  }
}

}  // namespace policy
