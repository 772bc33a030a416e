#include "policy/unt_monitorloop.h"

#include <cmath>
#include <cstring>

#include "base/files.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/text.h"
#include "policy/unt_orderrules.h"
#include "policy/unt_policy_trigger.h"

namespace policy {
namespace {

bool IsTestedKind(uint8_t kind) {
  return kind == kKindPayoff || kind == kKindPrice || kind == kKindTime || kind == kKindLossLimit ||
         kind == kKindLimitDown || kind == kKindIndex;
}

// The system's input block, released on every path out of a fire.
class InputBlock {
 public:
  explicit InputBlock(IMonitorHost& host) : host_(host) { host_.BlockInput(true); }
  ~InputBlock() {
    try {
      Release();
    } catch (...) {
      // Unwinding already; the block has been asked to end.
    }
  }
  void Release() {
    if (!held_) return;
    held_ = false;
    host_.BlockInput(false);
  }

 private:
  IMonitorHost& host_;
  bool held_ = true;
};

// The order in progress: the main window disabled and the flag set, both
// undone whatever happens while the order script runs.
class OrderInProgress {
 public:
  OrderInProgress(IMonitorHost& host, app::ProcessFlags& flags) : host_(host), flags_(flags) {
    host_.EnableMainWindow(false);
    flags_.orderInProgress = true;
  }
  ~OrderInProgress() {
    flags_.orderInProgress = false;
    try {
      host_.EnableMainWindow(true);
    } catch (...) {
    }
  }

 private:
  IMonitorHost& host_;
  app::ProcessFlags& flags_;
};

std::string FieldUtf8(const char* field, size_t size) { return base::ReadFixedUtf8(field, size); }

std::string QuoteNameOf(const quotes::TQuoteReport& report) { return base::ReadFixedUtf8(report.name, sizeof report.name); }

// Seconds of a Beijing day.
constexpr int32_t At(int hour, int minute, int second = 0) { return (hour * 60 + minute) * 60 + second; }

int64_t BeijingSeconds(int32_t quoteTime) { return int64_t{quoteTime} + 8 * 3600; }

int64_t DayOf(int64_t beijingSeconds) {
  return beijingSeconds >= 0 ? beijingSeconds / base::kSecondsPerDay
                             : (beijingSeconds - base::kSecondsPerDay + 1) / base::kSecondsPerDay;
}

}  // namespace

QuoteSession SessionOf(int32_t quoteTime) {
  const int64_t s = BeijingSeconds(quoteTime);
  const int64_t t = s - DayOf(s) * base::kSecondsPerDay;
  // The exchanges' hours (上海证券交易所交易规则, 深圳证券交易所交易规则):
  // opening call auction 9:15-9:25, continuous trading 9:30-11:30 and
  // 13:00-14:57, closing call auction 14:57-15:00 whose result is stamped
  // 15:00. From 9:25 to 9:30 the opening auction's result stands.
  if ((t >= At(9, 25) && t <= At(11, 30)) || (t >= At(13, 0) && t <= At(15, 0))) return QuoteSession::Trading;
  if (t >= At(9, 15) && t < At(9, 25)) return QuoteSession::PreOpen;
  return QuoteSession::Closed;
}

bool QuoteOfToday(int32_t quoteTime, base::TDateTime marketNow) {
  const base::DateTimeParts today = base::DecodeDateTime(marketNow);
  if (today.dayOfWeek == 0 || today.dayOfWeek == 6) return false;
  const base::DateTimeParts quote = base::DecodeDateTime(base::QuoteTimeToDateTime(quoteTime));
  return quote.year == today.year && quote.month == today.month && quote.day == today.day;
}

bool SessionMayFire(QuoteSession session, const TPolicyRecord& m) {
  if (session == QuoteSession::Trading) return true;
  if (session != QuoteSession::PreOpen || !OrdersAtOwnPrice(m)) return false;
  // Set inside the auction: 9:15 to 9:24 (its minute is what fires it).
  const base::DateTimeParts t = base::DecodeDateTime(m.orderTime);
  const int minute = t.hour * 60 + t.minute;
  return minute >= 9 * 60 + 15 && minute < 9 * 60 + 25;
}

double OrderPrice(uint8_t tradeType, double basePrice, double perMilleOf, uint8_t optUnit, float optAmount) {
  const double a = optUnit == kOptUnitYuan ? std::fabs(static_cast<double>(optAmount))
                                           : std::fabs(perMilleOf * optAmount / 1000.0);
  const double price = tradeType == kTradeBuy ? basePrice + a : basePrice - a;
  return price < 0 ? 0.0 : price;
}

void TLastTrades::Note(const quotes::TQuoteReport& report) {
  if (!quotes::IsTradedPrice(report.newestPrice)) return;
  const std::string_view code = quotes::ReportCode(report);
  if (code.empty()) return;
  const auto it = byCode_.find(code);
  if (it != byCode_.end()) {
    it->second = report;
  } else {
    byCode_.emplace(std::string(code), report);
  }
}

const quotes::TQuoteReport* TLastTrades::Find(std::string_view code, base::TDateTime today) const {
  const auto it = byCode_.find(code);
  if (it == byCode_.end()) return nullptr;
  if (std::floor(quotes::ReportDateTime(it->second)) != std::floor(today)) return nullptr;
  return &it->second;
}

namespace {

// Continuous trading, when the cage applies: 09:30-11:30 and 13:00-14:57
// (the closing call auction follows on both exchanges since 2006 and 2018).
bool InContinuousTrading(base::TDateTime now) {
  const double day = now - std::floor(now);
  const int minute = static_cast<int>(std::floor(day * 1440.0 + 1e-6));
  return (minute >= 9 * 60 + 30 && minute < 11 * 60 + 30) || (minute >= 13 * 60 && minute < 14 * 60 + 57);
}

// The cage's reference prices: the best ask for a buy, else the best bid;
// the best bid for a sell, else the best ask; else the last trade, else the
// previous close.
CageReference CageOf(const quotes::TQuoteReport& quote, double lastTrade, base::TDateTime now) {
  const auto traded = [](float v) { return quotes::IsTradedPrice(v); };
  const double fallback = lastTrade > 0 ? lastTrade : traded(quote.prevClose) ? quote.prevClose : 0.0;
  const double ask = traded(quote.askPrice[0]) ? quote.askPrice[0] : 0.0;
  const double bid = traded(quote.bidPrice[0]) ? quote.bidPrice[0] : 0.0;
  CageReference c;
  c.continuous = InContinuousTrading(now);
  c.buy = ask > 0 ? ask : bid > 0 ? bid : fallback;
  c.sell = bid > 0 ? bid : ask > 0 ? ask : fallback;
  return c;
}

}  // namespace

bool OrdersItsTarget(const TPolicyRecord& m) {
  return m.kind == kKindIndex || (m.kind == kKindPrice && m.targetFlag == 1);
}

OrderRequest BuildOrderRequest(const TPolicyRecord& m, const quotes::TQuoteReport& report, IMonitorHost& host,
                               TLastTrades* lastTrades) {
  OrderRequest req;
  TTradeRecord& order = req.order;
  const double P = report.newestPrice;
  const bool target = OrdersItsTarget(m);
  switch (m.kind) {
    case kKindPayoff:
    case kKindLossLimit: order.tradeType = kTradeSell; break;
    case kKindLimitDown: order.tradeType = kTradeBuy; break;
    default: order.tradeType = m.tradeType; break;
  }
  const bool buy = order.tradeType == kTradeBuy;
  order.market = m.market;
  // The rules, band and cage are those of the security ordered, as its
  // newest quote shows it now (its name tells special treatment).
  quotes::TQuoteReport ordered = report;
  double lastTrade = P;
  if (target) {
    order.code = FieldUtf8(m.targetCode, sizeof m.targetCode);
    order.name = FieldUtf8(m.targetName, sizeof m.targetName);
    const std::string code(base::Trim(base::ReadFixedText(m.targetCode)));
    quotes::TQuoteReport quote;
    std::memset(&quote, 0, sizeof quote);
    host.RequestQuote(code, quote);
    // A report of another code is no answer; one without its code is taken
    // as the engine gave it.
    const bool found = quotes::ReportCode(quote) == code ||
                       (quotes::ReportCode(quote).empty() && quotes::IsTradedPrice(quote.newestPrice));
    if (found && lastTrades) lastTrades->Note(quote);
    const quotes::TQuoteReport* last = lastTrades ? lastTrades->Find(code, host.Now()) : nullptr;
    if (found && quotes::IsTradedPrice(quote.newestPrice)) {
      lastTrade = quote.newestPrice;
    } else {
      // Not traded in its newest report: the trade before it is the base.
      lastTrade = last ? static_cast<double>(last->newestPrice) : 0.0;
    }
    if (found) {
      ordered = quote;
    } else if (last) {
      ordered = *last;
    } else {
      std::memset(&ordered, 0, sizeof ordered);
    }
    req.basePrice = lastTrade;
  } else {
    order.code = FieldUtf8(m.code, sizeof m.code);
    order.name = FieldUtf8(m.name, sizeof m.name);
    req.basePrice = m.kind == kKindTime && m.priceBasis != kBasisTradePrice ? static_cast<double>(m.setPrice) : P;
  }
  // Time monitors take the per-mille adjustment of the newest price even
  // when they order at the set price.
  const double perMilleOf = m.kind == kKindTime ? P : req.basePrice;
  const std::string code(base::Trim(order.code));
  const SecurityRules rules = RulesOf(code, quotes::ReportCode(ordered) == code ? QuoteNameOf(ordered) : "");
  int32_t quantity = m.quantity;
  if (req.basePrice > 0) {
    const double wanted = OrderPrice(order.tradeType, req.basePrice, perMilleOf, m.optUnit, m.optAmount);
    // The exchange's own limits first; the table's band from the previous
    // close when the engine has none.
    PriceBand band;
    double up = 0, down = 0;
    if (host.RequestLimits(code, up, down) && up > 0 && down > 0 && down <= up) {
      band = PriceBand{true, down, up};
    } else {
      band = DailyBand(rules, ordered.prevClose);
    }
    const PriceDecision decision =
        DecideOrderPrice(order.tradeType, wanted, rules, band, CageOf(ordered, lastTrade, host.Now()));
    req.note = decision.note;
    if (!decision.refused.empty()) {
      req.notPlaced = decision.refused;
      req.price = decision.price > 0 ? decision.price : wanted;
    } else {
      req.price = decision.price;
    }
  }
  if (!(req.basePrice > 0)) {
    req.price = 0;
    req.priceText = kBadPriceText;
    req.notPlaced = std::string(target ? "目标证券没有成交价，" : "") + kBadPriceText;
  } else if (!(req.price > 0)) {
    req.price = 0;
    req.priceText = kBadPriceText;
    if (req.notPlaced.empty()) req.notPlaced = kBadPriceText;
  } else {
    req.priceText = base::FormatPrice(req.price);
  }
  const auto addNote = [&](const std::string& text) { req.note += (req.note.empty() ? "" : "；") + text; };
  if (buy) {
    const int32_t whole = WholeLots(rules, quantity);
    if (whole == 0) {
      if (req.notPlaced.empty()) req.notPlaced = "买入数量" + std::to_string(quantity) + "不足一手";
    } else if (whole != quantity) {
      addNote("买入数量" + std::to_string(quantity) + "不是整手，按" + std::to_string(whole) + "股下单");
      quantity = whole;
    }
  } else if (quantity <= 0 && req.notPlaced.empty()) {
    req.notPlaced = "卖出数量为" + std::to_string(quantity);
  }
  if (buy) {
    order.buyPrice = req.priceText;
    order.buyQuantity = std::to_string(quantity);
  } else {
    order.sellPrice = req.priceText;
    order.sellQuantity = std::to_string(quantity);
  }
  return req;
}

std::string TradeLogLine(const TTradeRecord& order, const quotes::TQuoteReport& report,
                         const TPolicyRecord& monitor, const std::string& userId, base::TDateTime now) {
  const char* tradeText = order.tradeType == kTradeBuy ? "买入" : order.tradeType == kTradeSell ? "卖出" : "交易类型错误";
  const std::string priceText = order.tradeType == kTradeBuy    ? order.buyPrice
                                : order.tradeType == kTradeSell ? order.sellPrice
                                                                : std::string("委托价格错误");
  std::string line;
  line.reserve(256);
  const std::string sep = ", ";
  line += base::FormatDateTime("yy-mm-dd", now) + sep;
  line += base::FormatDateTime("hh:nn:ss", now) + sep;
  line += "[触发交易]" + sep;
  line += order.code + sep;
  line += order.name + sep;
  line += std::string(tradeText) + sep;
  line += KindName(monitor.kind) + sep;
  line += base::FormatPrice(report.newestPrice) + sep;
  line += priceText + sep;
  line += std::to_string(monitor.quantity) + sep;
  line += userId + sep;
  line += DescriptionUtf8(monitor);
  return line;
}

std::string MonitorBalloonText(const TPolicyRecord& m) {
  return NameUtf8(m) + "(" + base::GbkToUtf8Lossy(CodeText(m)) + ")\r\n" + DescriptionUtf8(m);
}

std::string TMonitorLoop::TradeLogPath() const {
  if (!options_.tradeLogPath.empty()) return options_.tradeLogPath;
  return base::PathToUtf8(base::PathFromUtf8(options_.appFolder) / "log" / "trade.log");
}

void TMonitorLoop::PlayIfPresent(const char* file, bool wait) {
  if (!options_.soundOn) return;
  const std::string path = base::PathToUtf8(base::PathFromUtf8(options_.appFolder) / "res" / file);
  if (base::FileExists(path)) host_.PlaySound(path, wait);
}

void TMonitorLoop::Run(const quotes::TQuoteReport& packetReport) {
  if (flags_.windowRefresh) return;
  // The loop works on its own copy: the packet belongs to the engine.
  const quotes::TQuoteReport report = packetReport;
  lastTrades_.Note(report);
  auto lock = list_.Lock();
  // Only monitors that were running when the index was built can fire; the
  // index keeps list order, so monitors fire in list order as ever. The
  // pass holds the monitors themselves, not their positions: an order lets
  // other code run, which may remove monitors and move the rest.
  const auto index = list_.RunningIndexLocked();
  const auto* candidates = TPolicyList::Candidates(*index, quotes::ReportCode(report));
  if (!candidates) return;
  // A report of another day (start-up, a holiday, a lagging source) or one
  // older than what this security already showed is no live trade.
  if (!Fresh(report)) return;
  const QuoteSession session = SessionOf(report.quoteTime);
  if (session == QuoteSession::Closed) return;
  // Read at each test: an order typed during the pass takes real time.
  const LocalClock clock = [&] { return host_.Now(); };
  const uint64_t generation = list_.GenerationLocked();
  for (const auto& monitor : *candidates) {
    if (flags_.orderInProgress) continue;
    // Removed while an earlier fire of this pass let other code run.
    if (list_.GenerationLocked() != generation && !list_.ContainsLocked(monitor.get())) continue;
    if (monitor->state != kStateRunning || monitor->fired != 0) continue;
    if (!IsTestedKind(monitor->kind)) continue;
    if (!SessionMayFire(session, *monitor)) continue;
    if (!TestPolicy(report, *monitor, clock)) continue;
    Fire(*monitor, report);
  }
}

bool TMonitorLoop::Fresh(const quotes::TQuoteReport& report) {
  if (!QuoteOfToday(report.quoteTime, host_.MarketNow())) return false;
  std::string key(quotes::ReportCode(report));
  key += '/';
  key += std::to_string(report.market);
  const auto [it, first] = newestQuoteTime_.try_emplace(std::move(key), report.quoteTime);
  if (first) return true;
  if (report.quoteTime < it->second) return false;
  it->second = report.quoteTime;
  return true;
}

void TMonitorLoop::Fire(TPolicyRecord& inList, const quotes::TQuoteReport& report) {
  PlayIfPresent("warning.wav", true);
  InputBlock block(host_);
  host_.ShowBalloon(NoticeTitle(inList.kind), MonitorBalloonText(inList));
  inList.fired = 1;
  inList.state = kStateTriggered;
  // From here on the loop works on a copy: the order script lets other code
  // run, which may change the list.
  const TPolicyRecord monitor = inList;
  const OrderRequest request = BuildOrderRequest(monitor, report, host_, &lastTrades_);
  if (observer_) observer_(FireEvent{monitor, report, request});
  if (notice_) {
    // A notice that cannot be queued never holds up the order.
    try {
      notice_->QueueFire(FireEvent{monitor, report, request}, host_.Now());
    } catch (...) {
    }
  }

  if (monitor.promptOnly != 0) {
    host_.RebuildMonitorList();
    PlayIfPresent("Money_Take.wav", false);
    block.Release();
    WriteTriggerRecord(request.order, report, monitor, true);
    return;
  }
  if (!request.notPlaced.empty()) {
    // Nothing is typed: the trigger is logged, the outcome says why.
    WriteTriggerRecord(request.order, report, monitor, true);
    TOrderOutcome outcome = PendingOutcome(monitor, request);
    outcome.result = OrderResult::NotPlaced;
    outcome.brokerText = request.notPlaced;
    host_.OrderNotPlaced(outcome);
  } else {
    OrderInProgress order(host_, flags_);
    host_.OrderStarting(PendingOutcome(monitor, request));
    // The broker's answer is watched beside the loop once the script has
    // sent its input: the order-in-progress flag ends with the script.
    struct ScriptEnded {
      IMonitorHost& host;
      ~ScriptEnded() {
        try {
          host.OrderScriptEnded();
        } catch (...) {
        }
      }
    } ended{host_};
    host_.PlaceOrder(request.order);
    WriteTriggerRecord(request.order, report, monitor, true);
  }
  host_.RebuildMonitorList();
  PlayIfPresent("Money_Take.wav", false);
  if (options_.minimizeAfterOrder) host_.MinimizeTradingWindow();
  block.Release();
}

TOrderOutcome TMonitorLoop::PendingOutcome(const TPolicyRecord& monitor, const OrderRequest& request) {
  const TTradeRecord& order = request.order;
  const bool buy = order.tradeType == kTradeBuy;
  TOrderOutcome outcome;
  outcome.time = host_.Now();
  outcome.monitorId = monitor.id;
  outcome.kind = monitor.kind;
  outcome.code = order.code;
  outcome.name = order.name;
  outcome.side = TradeTypeText(order.tradeType);
  outcome.price = buy ? order.buyPrice : order.sellPrice;
  outcome.quantity = buy ? order.buyQuantity : order.sellQuantity;
  outcome.brokerText = request.note;
  return outcome;
}

void TMonitorLoop::WriteTriggerRecord(const TTradeRecord& order, const quotes::TQuoteReport& report,
                                      const TPolicyRecord& monitor, bool append) {
  if (!flags_.loggedIn) return;
  const std::string line = TradeLogLine(order, report, monitor, flags_.userId, host_.Now()) + "\r\n";
  host_.BroadcastTradeLine(flags_.userId, line);
  if (!append) return;
  const std::string path = TradeLogPath();
  std::string error;
  if (!base::AppendToFile(path, base::Utf8ToGbkLossy(line), &error)) {
    ++tradeLogFailures_;
    host_.ShowBalloon("警告提示！", "触发记录无法写入交易日志 " + path + "：" + error);
  }
}

}  // namespace policy
