#include "policy/unt_orderrules.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "base/files.h"
#include "base/ini_file.h"
#include "base/text.h"

namespace policy {
namespace {

constexpr char kCommonSection[] = "通用";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

double FromTicks(int64_t ticks, int64_t perYuan) { return static_cast<double>(ticks) / static_cast<double>(perYuan); }

// The built-in table: the same classes, in the same order, as the shipped
// traderules.ini, where each rule's source and date stand beside it.
TTradeRules BuiltIn() {
  TTradeRules t;
  t.noBandNamePrefixes = {"N", "C"};
  t.noBandNameParts = {"退"};
  t.stNameParts = {"ST"};
  const auto add = [&](const char* name, std::vector<std::string> prefixes, int64_t ticks, int band, int stBand,
                       int32_t minBuy, int32_t buyStep, int cagePercent, int cageTicks) {
    t.classes.push_back(
        TradeRuleClass{name, std::move(prefixes), ticks, band, stBand, minBuy, buyStep, cagePercent, cageTicks});
  };
  add("沪市主板", {"600", "601", "603", "605"}, 100, 10, 10, 100, 100, 2, 10);
  add("深市主板", {"000", "001", "002", "003"}, 100, 10, 10, 100, 100, 2, 10);
  add("科创板", {"688", "689"}, 100, 20, 20, 200, 1, 2, 0);
  add("创业板", {"300", "301", "302"}, 100, 20, 20, 100, 100, 2, 10);
  add("北交所", {"43", "83", "87", "88", "920"}, 100, 30, 30, 100, 1, 5, 10);
  add("沪市B股", {"900"}, 1000, 10, 10, 1000, 1000, 0, 0);
  add("深市B股", {"200", "201"}, 100, 10, 10, 100, 100, 0, 0);
  add("沪市基金", {"50", "51", "52", "53", "56", "58"}, 1000, 10, 10, 100, 100, 0, 0);
  add("沪市科创板基金", {"588"}, 1000, 20, 20, 100, 100, 0, 0);
  add("深市基金", {"15", "16", "18"}, 1000, 0, 0, 100, 100, 0, 0);
  add("深市创业板基金", {"159915", "159948", "159949", "159952"}, 1000, 20, 20, 100, 100, 0, 0);
  add("沪市可转债", {"110", "111", "113", "118"}, 1000, 20, 20, 10, 10, 0, 0);
  add("深市可转债", {"123", "127", "128"}, 1000, 20, 20, 10, 10, 0, 0);
  return t;
}

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view item = base::Trim(text.substr(start, end - start));
    if (!item.empty()) items.emplace_back(item);
    start = end + 1;
  }
  return items;
}

// A percent or a count; empty or not a whole number gives 0 (none known).
int WholeOrZero(const base::IniFile& ini, const std::string& section, const char* key) {
  const std::optional<double> v = base::ParseDecimal(base::Trim(ini.ReadString(section, key, "")));
  if (!v || *v < 0 || *v > 1000 || *v != std::floor(*v)) return 0;
  return static_cast<int>(*v);
}

// "0.01" gives 100 ticks a yuan; anything that is not a step of whole
// thousandths gives 1000 (prices stay as the three decimals show them).
int64_t TicksOf(const base::IniFile& ini, const std::string& section) {
  const std::optional<double> step = base::ParseDecimal(base::Trim(ini.ReadString(section, "最小变动", "")));
  if (!step || !(*step > 0) || *step > 1) return 1000;
  const int64_t milli = std::llround(*step * 1000.0);
  if (milli < 1 || std::fabs(*step * 1000.0 - static_cast<double>(milli)) > 1e-6 || 1000 % milli != 0) return 1000;
  return 1000 / milli;
}

bool HasAny(std::string_view name, const std::vector<std::string>& parts) {
  return std::any_of(parts.begin(), parts.end(),
                     [&](const std::string& p) { return !p.empty() && name.find(p) != std::string_view::npos; });
}

TTradeRules& Current() {
  static TTradeRules rules = BuiltIn();
  return rules;
}

std::string Price(double v) { return base::FormatPrice(v); }

std::string StepText(int64_t ticksPerYuan) {
  return ticksPerYuan >= 1000 ? "0.001" : ticksPerYuan >= 100 ? "0.01" : base::FormatFixed(1.0 / ticksPerYuan, 2);
}

}  // namespace

TTradeRules TTradeRules::Defaults() { return BuiltIn(); }

TTradeRules TTradeRules::Load(const std::string& path, bool* fromFile) {
  if (fromFile) *fromFile = false;
  // A file that cannot be read is no table at all: never half of one.
  if (!base::ReadFileBytes(path)) return BuiltIn();
  const base::IniFile ini(path);
  TTradeRules t;
  t.noBandNamePrefixes = SplitList(ini.ReadString(kCommonSection, "无涨跌幅名称前缀", ""));
  t.noBandNameParts = SplitList(ini.ReadString(kCommonSection, "无涨跌幅名称包含", ""));
  t.stNameParts = SplitList(ini.ReadString(kCommonSection, "风险警示名称包含", ""));
  for (const std::string& section : ini.ReadSections()) {
    if (base::SameIniName(section, kCommonSection)) continue;
    TradeRuleClass c;
    c.name = section;
    c.prefixes = SplitList(ini.ReadString(section, "代码", ""));
    if (c.prefixes.empty()) continue;
    c.ticksPerYuan = TicksOf(ini, section);
    c.bandPercent = WholeOrZero(ini, section, "涨跌幅");
    c.stBandPercent = WholeOrZero(ini, section, "风险警示涨跌幅");
    c.minBuy = std::max(1, WholeOrZero(ini, section, "最少买入"));
    c.buyStep = std::max(1, WholeOrZero(ini, section, "买入单位"));
    c.cagePercent = WholeOrZero(ini, section, "笼子比例");
    c.cageTicks = WholeOrZero(ini, section, "笼子档数");
    t.classes.push_back(std::move(c));
  }
  if (t.classes.empty()) return BuiltIn();
  if (fromFile) *fromFile = true;
  return t;
}

SecurityRules TTradeRules::Of(std::string_view code, std::string_view name) const {
  const TradeRuleClass* best = nullptr;
  size_t bestLength = 0;
  for (const TradeRuleClass& c : classes) {
    for (const std::string& p : c.prefixes) {
      if (p.size() > bestLength && StartsWith(code, p)) best = &c, bestLength = p.size();
    }
  }
  SecurityRules r;
  if (!best) return r;
  r.board = best->name;
  r.ticksPerYuan = best->ticksPerYuan;
  r.minBuy = best->minBuy;
  r.buyStep = best->buyStep;
  r.cagePercent = best->cagePercent;
  r.cageTicks = best->cageTicks;
  // The band depends on what the security is today, which only its current
  // name tells: none known without one.
  const std::string_view n = base::Trim(name);
  const bool noBand = n.empty() || HasAny(n, noBandNameParts) ||
                      std::any_of(noBandNamePrefixes.begin(), noBandNamePrefixes.end(),
                                  [&](const std::string& p) { return !p.empty() && StartsWith(n, p); });
  if (!noBand) r.bandPercent = HasAny(n, stNameParts) ? best->stBandPercent : best->bandPercent;
  return r;
}

const TTradeRules& CurrentTradeRules() { return Current(); }
void SetCurrentTradeRules(TTradeRules rules) { Current() = std::move(rules); }

void LoadTradeRules(const std::string& applicationFolder) {
  SetCurrentTradeRules(
      TTradeRules::Load(base::PathToUtf8(base::PathFromUtf8(applicationFolder) / kTradeRulesFile)));
}

SecurityRules RulesOf(std::string_view code, std::string_view name) { return CurrentTradeRules().Of(code, name); }

PriceBand DailyBand(const SecurityRules& rules, double prevClose) {
  PriceBand band;
  if (!(prevClose > 0) || rules.bandPercent <= 0) return band;
  // In whole ticks, so that the half-up rounding is exact.
  const int64_t close = std::llround(prevClose * static_cast<double>(rules.ticksPerYuan));
  const auto limit = [&](int percent) { return (close * (100 + percent) * 2 + 100) / 200; };
  band.known = true;
  band.up = FromTicks(limit(rules.bandPercent), rules.ticksPerYuan);
  band.down = FromTicks(std::max<int64_t>(1, limit(-rules.bandPercent)), rules.ticksPerYuan);
  return band;
}

PriceDecision DecideOrderPrice(uint8_t tradeType, double price, const SecurityRules& rules, const PriceBand& band,
                               const CageReference& cage) {
  PriceDecision d;
  const bool buy = tradeType == 1;
  if (!(price > 0) || !std::isfinite(price)) {
    d.refused = "委托价格错误";
    return d;
  }
  const int64_t perYuan = std::max<int64_t>(1, rules.ticksPerYuan);
  const int64_t step = std::max<int64_t>(1, 1000 / perYuan);
  // In thousandths first, as the "0.000" text has always shown the price:
  // prices built from float quotes (7.71 + 0.02 = 7.7300000381...) then
  // land on their step exactly.
  const int64_t milli = std::llround(price * 1000.0);
  int64_t ticks = buy ? milli / step : (milli + step - 1) / step;
  // One note for the whole way from the user's price to the one sent.
  std::vector<std::string> reasons;
  if (ticks * step != milli) reasons.push_back("按最小变动单位 " + StepText(perYuan));
  const auto change = [&](int64_t to, const char* why) {
    if (to == ticks) return;
    reasons.emplace_back(why);
    ticks = to;
  };
  const auto finish = [&] {
    if (reasons.empty()) return;
    d.note = "价格由 " + Price(static_cast<double>(milli) / 1000.0) + " 调为 " + Price(FromTicks(ticks, perYuan)) + "：";
    for (size_t i = 0; i < reasons.size(); ++i) d.note += (i ? "，" : "") + reasons[i];
  };
  if (ticks <= 0) {
    d.refused = "委托价格错误";
    return d;
  }
  if (band.known) {
    const int64_t up = std::llround(band.up * static_cast<double>(perYuan));
    const int64_t down = std::llround(band.down * static_cast<double>(perYuan));
    if (buy && ticks < down) {
      d.refused = "买入价 " + Price(FromTicks(ticks, perYuan)) + " 低于跌停价 " + Price(band.down);
      return d;
    }
    if (!buy && ticks > up) {
      d.refused = "卖出价 " + Price(FromTicks(ticks, perYuan)) + " 高于涨停价 " + Price(band.up);
      return d;
    }
    if (buy && ticks > up) change(up, "超出涨停价");
    if (!buy && ticks < down) change(down, "低于跌停价");
  }
  if (cage.continuous && rules.cagePercent > 0) {
    const double reference = buy ? cage.buy : cage.sell;
    if (reference > 0) {
      const int64_t ref = std::llround(reference * static_cast<double>(perYuan));
      // The percentage bound as a whole tick inside it, the tick bound
      // beside it; the wider of the two.
      if (buy) {
        const int64_t byPercent = ref * (100 + rules.cagePercent) / 100;
        const int64_t top = std::max(byPercent, ref + rules.cageTicks);
        if (ticks > top) change(top, "超出价格笼子上限");
      } else {
        const int64_t scaled = ref * (100 - rules.cagePercent);
        const int64_t byPercent = (scaled + 99) / 100;
        const int64_t bottom = std::max<int64_t>(1, std::min(byPercent, ref - rules.cageTicks));
        if (ticks < bottom) change(bottom, "低于价格笼子下限");
      }
    }
  }
  d.price = FromTicks(ticks, perYuan);
  finish();
  return d;
}

int32_t WholeLots(const SecurityRules& rules, int32_t quantity) {
  if (quantity < rules.minBuy || quantity <= 0) return 0;
  return quantity - quantity % std::max(1, rules.buyStep);
}

std::string BuyLotError(std::string_view code, int32_t quantity) {
  const SecurityRules rules = RulesOf(base::Trim(code), "");
  if (quantity == 0 || (quantity >= rules.minBuy && quantity % rules.buyStep == 0)) return {};
  if (rules.buyStep == 1) return "买入数量至少为" + std::to_string(rules.minBuy) + "股！";
  if (rules.minBuy > rules.buyStep && quantity < rules.minBuy)
    return "买入数量至少为" + std::to_string(rules.minBuy) + "股！";
  return "买入数量必须为" + std::to_string(rules.buyStep) + "的整数倍！";
}

}  // namespace policy
