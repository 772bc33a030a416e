// The monitor loop: every quote report is offered to each running monitor
// of its security; a monitor that fires warns the user, is marked
// triggered, and produces an order request with its price, which is either
// placed through the order script or only prompted, and then written to
// the trade log and broadcast.
//
// Everything outside (sounds, the input block, balloons, the main window,
// the order script, the quote engine, the message connection, the clock)
// is reached through IMonitorHost, so that the Windows program, the replay
// tool and the tests run this same code.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

#include "app/process_flags.h"
#include "policy/order_outcome.h"
#include "base/datetime.h"
#include "policy/trade_record.h"
#include "policy/unt_policy.h"
#include "quotes/Ustockdrv.h"

namespace policy {

// Settings the loop reads at each fire. The main window owns the instance
// and keeps it current when the user changes a setting.
struct MonitorOptions {
  std::string appFolder;     // sounds under res/, the trade log under log/
  std::string tradeLogPath;  // empty: log/trade.log under the application folder
  bool soundOn = false;      // the sound switch of the options record
  bool minimizeAfterOrder = false;  // "下单完成后是否最小化下单软件"
};

// The monitor loop's outside world. All calls come on the main thread.
// PlaySound, BlockInput and ShowBalloon must not let window messages run;
// PlaceOrder may (quote messages then re-enter the loop, which skips every
// monitor while the order is in progress).
class IMonitorHost {
 public:
  virtual ~IMonitorHost() = default;
  // The local clock.
  virtual base::TDateTime Now() = 0;
  // The market's clock, Beijing time from this PC's clock whatever its time
  // zone (base::BeijingNow): the day a report must be of to fire.
  virtual base::TDateTime MarketNow() = 0;
  // Plays a wave file that exists: to its end (wait) or in the background.
  virtual void PlaySound(const std::string& path, bool wait) = 0;
  // Blocks or unblocks keyboard and mouse input of the whole desktop. The
  // system may refuse (false); that is not an error.
  virtual bool BlockInput(bool block) = 0;
  // A tray balloon: information icon, 10 seconds.
  virtual void ShowBalloon(const std::string& title, const std::string& text) = 0;
  virtual void EnableMainWindow(bool enable) = 0;
  // The order script for the request.
  virtual void PlaceOrder(TTradeRecord order) = 0;
  // Rebuilds the main monitor list, which also saves the policy store.
  virtual void RebuildMonitorList() = 0;
  // Shows the associated trading window minimised (nothing when none).
  virtual void MinimizeTradingWindow() = 0;
  // A single-quote request for the code with the current quote server;
  // `out` stays as it was when nothing came back.
  virtual void RequestQuote(const std::string& code, quotes::TQuoteReport& out) = 0;
  // The exchange's limit-up and limit-down prices of the code today as the
  // quote engine knows them (its optional Stock_GetLimits); false when it
  // does not, leaving both as they were.
  virtual bool RequestLimits(const std::string& code, double& limitUp, double& limitDown) {
    (void)code, (void)limitUp, (void)limitDown;
    return false;
  }
  // Sends the trigger record line (CR LF included) as a type 3007 message
  // when the message connection is open.
  virtual void BroadcastTradeLine(const std::string& userId, const std::string& line) = 0;
  // The order's outcome: OrderStarting comes just before the order script
  // with everything but the result, OrderScriptEnded when the script has
  // sent its input (the broker's answer may still come after it). An order
  // that was not sent is final at once (OrderNotPlaced).
  virtual void OrderStarting(const TOrderOutcome& order) { (void)order; }
  virtual void OrderScriptEnded() {}
  virtual void OrderNotPlaced(const TOrderOutcome& outcome) { (void)outcome; }
};

// The newest traded report of each security seen, from quote reports and
// single-quote answers: an order's base when the newest report of the
// security ordered has not traded (an engine reports price 0 then).
class TLastTrades {
 public:
  // Kept only when the report traded.
  void Note(const quotes::TQuoteReport& report);
  // The last traded report of the code on the day of `today` (nullptr when
  // none: a trade of an earlier day is no base for an order today).
  const quotes::TQuoteReport* Find(std::string_view code, base::TDateTime today) const;

 private:
  std::map<std::string, quotes::TQuoteReport, std::less<>> byCode_;
};

// The order request of a fired monitor with its price.
struct OrderRequest {
  TTradeRecord order;
  double basePrice = 0;
  double price = 0;       // after the adjustment, never below 0
  std::string priceText;  // "0.000"
  // Empty when the order can be sent; otherwise why it is not (no price to
  // order at, a price the exchange would only take worse, less than a lot).
  std::string notPlaced;
  // What was changed to make the order acceptable: the price moved in the
  // user's favour, a buy cut to whole lots.
  std::string note;
};

// The text the trade log shows for an order price that cannot be sent.
inline constexpr char kBadPriceText[] = "委托价格错误";

// The order price: the base price moved by the optimisation amount (yuan,
// or per mille of R), up for a buy and down for anything else, not below 0.
// BuildOrderRequest then moves it onto the security's tick and band.
double OrderPrice(uint8_t tradeType, double basePrice, double perMilleOf, uint8_t optUnit, float optAmount);

// Whether a fire of `monitor` orders another security (its target code): an
// index monitor always, a price monitor when its target flag is set.
bool OrdersItsTarget(const TPolicyRecord& monitor);

// Builds the order request of a fired monitor; target securities are quoted
// through the host, their last trade taken from `lastTrades` when the
// newest report has none. The price is the one the exchange takes (tick,
// the day's limits from the engine or the rules table, the cage) moved only
// in the user's favour, and a buy is in whole lots; anything else gives no
// order (notPlaced says why).
OrderRequest BuildOrderRequest(const TPolicyRecord& monitor, const quotes::TQuoteReport& report,
                               IMonitorHost& host, TLastTrades* lastTrades = nullptr);

// The trigger record line, without its CR LF.
std::string TradeLogLine(const TTradeRecord& order, const quotes::TQuoteReport& report,
                         const TPolicyRecord& monitor, const std::string& userId, base::TDateTime now);

// Fire only on a live trade. A report is tested at all only when its quote
// time is of the market's today, a weekday, and not older than the last
// report of the same security; the time of day it is stamped with then says
// which monitors it may fire.
enum class QuoteSession {
  Closed,   // no trade at this time of day
  PreOpen,  // 9:15:00 to 9:24:59: the opening auction's indicative prices, no trade
  Trading,  // 9:25:00 (the opening auction's result) to 11:30:00, 13:00:00 to 15:00:00
};
QuoteSession SessionOf(int32_t quoteTime);
// The quote time's Beijing date is the market clock's, Monday to Friday.
bool QuoteOfToday(int32_t quoteTime, base::TDateTime marketNow);
// Whether a report of this session may fire the monitor: a trading time for
// every kind; the opening auction also for a time monitor set inside it
// that orders at its own price (its order joins the auction).
bool SessionMayFire(QuoteSession session, const TPolicyRecord& monitor);

// The text of a trigger notice: name, "(", code, ")", CR LF, description.
std::string MonitorBalloonText(const TPolicyRecord& monitor);

// What the loop saw when a monitor fired (for tools and tests).
struct FireEvent {
  const TPolicyRecord& monitor;  // as marked triggered
  const quotes::TQuoteReport& report;
  const OrderRequest& request;
};

// Tells of fires beyond this PC (push notifications). Called in the fire
// handling on the main thread, before the order is placed: it must only
// queue, never wait.
class IFireNotice {
 public:
  virtual ~IFireNotice() = default;
  virtual void QueueFire(const FireEvent& fire, base::TDateTime now) = 0;
};

class TMonitorLoop {
 public:
  TMonitorLoop(TPolicyList& list, app::ProcessFlags& flags, IMonitorHost& host, const MonitorOptions& options)
      : list_(list), flags_(flags), host_(host), options_(options) {}

  // The monitor loop for one report, called for each report of a quote
  // packet in order. Exceptions from the host pass through after every
  // flag, the main window and the input block have been restored.
  void Run(const quotes::TQuoteReport& report);

  void SetFireObserver(std::function<void(const FireEvent&)> observer) { observer_ = std::move(observer); }
  // Null: no notices.
  void SetFireNotice(IFireNotice* notice) { notice_ = notice; }
  // Trigger records that could not be appended to the trade log.
  int TradeLogFailures() const { return tradeLogFailures_; }
  std::string TradeLogPath() const;

 private:
  void Fire(TPolicyRecord& monitor, const quotes::TQuoteReport& report);
  void WriteTriggerRecord(const TTradeRecord& order, const quotes::TQuoteReport& report,
                          const TPolicyRecord& monitor, bool append);
  void PlayIfPresent(const char* file, bool wait);
  TOrderOutcome PendingOutcome(const TPolicyRecord& monitor, const OrderRequest& request);
  // Today's and no older than the last report of its security (remembered).
  bool Fresh(const quotes::TQuoteReport& report);

  TPolicyList& list_;
  app::ProcessFlags& flags_;
  IMonitorHost& host_;
  const MonitorOptions& options_;
  std::function<void(const FireEvent&)> observer_;
  IFireNotice* notice_ = nullptr;
  int tradeLogFailures_ = 0;
  TLastTrades lastTrades_;
  // The newest quote time seen today, by market and code.
  std::unordered_map<std::string, int32_t> newestQuoteTime_;
};

}  // namespace policy
