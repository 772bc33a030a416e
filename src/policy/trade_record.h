// The order request: built fresh for each fired monitor, handed by value to
// the order script and written to the trade log.
#pragma once

#include <cstdint>
#include <string>

namespace policy {

enum : uint8_t { kTradeBuy = 1, kTradeSell = 2 };

struct TTradeRecord {
  uint8_t tradeType = 0;  // 1 buy, 2 sell; any other value is passed on unchanged
  int32_t market = 0;     // market of the watched security
  // UTF-8 texts; unset ones are empty.
  std::string code;
  std::string name;
  std::string buyPrice;  // "0.000" form, set only for a buy
  std::string buyQuantity;
  std::string sellPrice;  // set only for a sell
  std::string sellQuantity;
};

}  // namespace policy
