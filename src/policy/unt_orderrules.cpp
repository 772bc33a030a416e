#include "policy/unt_orderrules.h"

#include <algorithm>
#include <cmath>

#include "base/text.h"

namespace policy {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsScienceBoard(std::string_view code) { return StartsWith(code, "688") || StartsWith(code, "689"); }
bool IsGrowthBoard(std::string_view code) { return StartsWith(code, "300") || StartsWith(code, "301"); }
bool IsBeijing(std::string_view code) {
  return StartsWith(code, "4") || StartsWith(code, "8") || StartsWith(code, "92");
}

double FromTicks(int64_t ticks, int64_t perYuan) { return static_cast<double>(ticks) / static_cast<double>(perYuan); }

}  // namespace

SecurityRules RulesOf(std::string_view code, std::string_view name) {
  SecurityRules r;
  if (StartsWith(code, "5") || StartsWith(code, "1")) r.ticksPerYuan = 1000;
  if (IsScienceBoard(code) || IsGrowthBoard(code)) {
    r.limitPercent = 20;
  } else if (IsBeijing(code)) {
    r.limitPercent = 30;
  } else if (name.find("ST") != std::string_view::npos) {
    r.limitPercent = 5;
  }
  if (IsScienceBoard(code)) r.minBuy = 200, r.buyStep = 1;
  if (IsBeijing(code)) r.buyStep = 1;
  return r;
}

PriceBand DailyBand(const SecurityRules& rules, double prevClose) {
  PriceBand band;
  if (!(prevClose > 0)) return band;
  // In whole ticks, so that the half-up rounding is exact.
  const int64_t close = std::llround(prevClose * static_cast<double>(rules.ticksPerYuan));
  const auto limit = [&](int percent) { return (close * (100 + percent) * 2 + 100) / 200; };
  band.known = true;
  band.up = FromTicks(limit(rules.limitPercent), rules.ticksPerYuan);
  band.down = FromTicks(limit(-rules.limitPercent), rules.ticksPerYuan);
  return band;
}

double ValidOrderPrice(uint8_t tradeType, double price, const SecurityRules& rules, const PriceBand& band) {
  if (!(price > 0)) return 0;
  // In thousandths first, as the "0.000" text has always shown the price:
  // prices built from float quotes (7.71 + 0.02 = 7.7300000381...) then
  // land on their step exactly.
  const int64_t milli = std::llround(price * 1000.0);
  const int64_t step = std::max<int64_t>(1, 1000 / rules.ticksPerYuan);
  const int64_t ticks = tradeType == 1 ? (milli + step - 1) / step : milli / step;
  double valid = FromTicks(ticks, rules.ticksPerYuan);
  if (band.known) valid = std::clamp(valid, band.down, band.up);
  return valid;
}

int32_t WholeLots(const SecurityRules& rules, int32_t quantity) {
  if (quantity < rules.minBuy) return 0;
  return quantity - quantity % rules.buyStep;
}

std::string BuyLotError(std::string_view code, int32_t quantity) {
  const SecurityRules rules = RulesOf(base::Trim(code), "");
  if (quantity == 0 || (quantity >= rules.minBuy && quantity % rules.buyStep == 0)) return {};
  if (rules.buyStep == 1) return "买入数量至少为" + std::to_string(rules.minBuy) + "股！";
  return "买入数量必须为" + std::to_string(rules.buyStep) + "的整数倍！";
}

}  // namespace policy
