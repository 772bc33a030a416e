// What an exchange accepts of an order: the price step (tick), the day's
// price band, the continuous-trading price cage and the buy lot, per board
// and security type. The rules live in traderules.ini beside the program
// (a change of the exchanges' rules is a file edit); the built-in table
// below is the same and serves when the file is missing or unreadable.
//
// A price is only ever changed in the user's favour: a buy lowered, a sell
// raised. When the exchange would take no price as good as the user's own,
// nothing is sent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace policy {

inline constexpr char kTradeRulesFile[] = "traderules.ini";

// The rules of one security.
struct SecurityRules {
  std::string board;           // the table's class; empty when none matched
  int64_t ticksPerYuan = 1000;  // 100: 0.01 steps; 1000: 0.001
  int bandPercent = 0;         // the day's band around the previous close; 0: none known
  int32_t minBuy = 1;          // the smallest buy
  int32_t buyStep = 1;         // a larger buy goes in these steps
  int cagePercent = 0;         // continuous trading: a buy at most this far above its reference; 0: no cage
  int cageTicks = 0;           // ... or this many ticks, whichever is farther
  bool operator==(const SecurityRules&) const = default;
};

// One class of the table: the code prefixes it covers and its rules.
struct TradeRuleClass {
  std::string name;
  std::vector<std::string> prefixes;
  int64_t ticksPerYuan = 1000;
  int bandPercent = 0;
  int stBandPercent = 0;  // with a special-treatment name
  int32_t minBuy = 1;
  int32_t buyStep = 1;
  int cagePercent = 0;
  int cageTicks = 0;
  bool operator==(const TradeRuleClass&) const = default;
};

class TTradeRules {
 public:
  // The built-in table (the same as the shipped traderules.ini).
  static TTradeRules Defaults();
  // The file's table; the built-in one when the file is missing, cannot be
  // read or holds no class. `fromFile` says which it was.
  static TTradeRules Load(const std::string& path, bool* fromFile = nullptr);

  // The rules of a security from its code (6 digits) and its current name
  // (as the newest quote gives it). The class with the longest matching
  // prefix wins. Without a name, or with the name of a listing's first days
  // or of a delisting period, no band is known.
  SecurityRules Of(std::string_view code, std::string_view name) const;

  std::vector<TradeRuleClass> classes;
  std::vector<std::string> noBandNamePrefixes;  // "N", "C"
  std::vector<std::string> noBandNameParts;     // "退"
  std::vector<std::string> stNameParts;         // "ST"
  bool operator==(const TTradeRules&) const = default;
};

// The rules the program runs with: loaded at start, the built-in table
// until then. Main thread.
const TTradeRules& CurrentTradeRules();
void SetCurrentTradeRules(TTradeRules rules);
// Loads <applicationFolder>traderules.ini into the current rules.
void LoadTradeRules(const std::string& applicationFolder);

SecurityRules RulesOf(std::string_view code, std::string_view name);

struct PriceBand {
  bool known = false;  // false: no band applies or none is known
  double down = 0;
  double up = 0;
};

// The limit-down and limit-up prices from the table: the previous close
// times 1 -/+ the band, rounded half up to the tick.
PriceBand DailyBand(const SecurityRules& rules, double prevClose);

// What the cage is measured from: the best ask for a buy (else the best
// bid, else the last trade, else the previous close), the best bid for a
// sell likewise; 0 where none. The cage applies only while `continuous`.
struct CageReference {
  bool continuous = false;
  double buy = 0;
  double sell = 0;
};

// The price to send, and what became of the user's price.
struct PriceDecision {
  double price = 0;     // 0 when nothing is to be sent
  std::string note;     // every change: "价格由 12.000 调为 11.000：超出涨停价"
  std::string refused;  // why nothing is sent; empty when the price goes out
};

// The order price as the exchange takes it, moved only in the user's
// favour: onto the tick (a buy down, a sell up), into the band (a buy above
// limit-up lowered, a sell below limit-down raised) and into the cage. A
// buy below limit-down or a sell above limit-up is refused. Any trade type
// but a buy is priced as a sell.
PriceDecision DecideOrderPrice(uint8_t tradeType, double price, const SecurityRules& rules, const PriceBand& band,
                               const CageReference& cage);

// The buy quantity rounded down to what the rules allow (0 when less than
// the smallest buy).
int32_t WholeLots(const SecurityRules& rules, int32_t quantity);

// The editors' refusal of a buy of `quantity` that is not a whole lot;
// empty when it is, or when it is 0 (a monitor that only prompts).
std::string BuyLotError(std::string_view code, int32_t quantity);

}  // namespace policy
