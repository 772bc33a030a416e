// What an exchange accepts of an order: the price step (tick), the day's
// price band around the previous close, and the buy lot. Prices that the
// optimisation computes are moved onto these rules before an order is typed,
// so that no order goes out that the broker must refuse.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace policy {

struct SecurityRules {
  int64_t ticksPerYuan = 100;  // 100: 0.01 steps (shares); 1000: 0.001 (funds, ETFs)
  int limitPercent = 10;       // the day's band, in percent of the previous close
  int32_t minBuy = 100;        // the smallest buy
  int32_t buyStep = 100;       // a larger buy goes in these steps
};

// The rules of a security from its code (6 digits) and name. Funds and ETFs
// (5xxxxx on Shanghai, 1xxxxx on Shenzhen) trade in 0.001 steps; the growth
// board (300, 301) and the science board (688, 689) have a 20 % band,
// Beijing (4, 8, 92) 30 %, a special-treatment name ("ST") on the main
// boards 5 %; the science board buys 200 shares at least, then any number,
// Beijing 100 at least, then any number.
SecurityRules RulesOf(std::string_view code, std::string_view name);

struct PriceBand {
  bool known = false;  // false without a previous close: no band applies
  double down = 0;
  double up = 0;
};

// The limit-down and limit-up prices: the previous close times 1 -/+ the
// band, rounded half up to the tick.
PriceBand DailyBand(const SecurityRules& rules, double prevClose);

// The order price as the exchange takes it: a buy rounded up to its tick,
// anything else down (the adjustment is there to get filled), then held
// inside the day's band. 0 stays 0.
double ValidOrderPrice(uint8_t tradeType, double price, const SecurityRules& rules, const PriceBand& band);

// The buy quantity rounded down to what the rules allow (0 when less than
// the smallest buy).
int32_t WholeLots(const SecurityRules& rules, int32_t quantity);

// The editors' refusal of a buy of `quantity` that is not a whole lot;
// empty when it is, or when it is 0 (a monitor that only prompts).
std::string BuyLotError(std::string_view code, int32_t quantity);

}  // namespace policy
