// The replay: a recorded day of quotes through copies of monitors, with the
// very monitor loop, tests and order-request builder of live trading. The
// loop's outside world is the tape's own: its clock, its newest quotes as
// the single-quote answers, and nothing else (no sound, input block,
// balloon, trading window, order, notification or store save).
//
// What each monitor did is kept for the user: whether and when it fired,
// at what price, the order it would have sent and what became of it, what
// it tracked, and the day's prices of its security for the chart.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/process_flags.h"
#include "base/datetime.h"
#include "policy/order_outcome.h"
#include "policy/unt_monitorloop.h"
#include "policy/unt_policy.h"
#include "quotes/quote_tape.h"

namespace policy {

// The replay's outside world: the tape's clock and quotes. Orders are
// recorded as the live program would have recorded them, never sent.
class TReplayHost : public IMonitorHost {
 public:
  base::TDateTime clock = 0;
  // The newest report of each code so far on the tape.
  std::map<std::string, quotes::TQuoteReport, std::less<>> newest;
  // The tape and the line after the one being played: the single quote the
  // live program asked for at a fire follows the report that fired.
  const std::vector<quotes::TapeLine>* tape = nullptr;
  size_t next = 0;
  // The outcomes of the orders of the fires, as the live loop reported them.
  std::vector<TOrderOutcome> outcomes;

  base::TDateTime Now() override { return clock; }
  // The tape's times are the market's.
  base::TDateTime MarketNow() override { return clock; }
  void PlaySound(const std::string&, bool) override {}
  bool BlockInput(bool) override { return true; }
  void ShowBalloon(const std::string&, const std::string&) override {}
  void EnableMainWindow(bool) override {}
  void PlaceOrder(TTradeRecord) override {}
  void RebuildMonitorList() override {}
  void MinimizeTradingWindow() override {}
  void RequestQuote(const std::string& code, quotes::TQuoteReport& out) override;
  void BroadcastTradeLine(const std::string&, const std::string&) override {}
  void OrderStarting(const TOrderOutcome& order) override { outcomes.push_back(order); }
  void OrderNotPlaced(const TOrderOutcome& outcome) override { outcomes.push_back(outcome); }
};

// One report of a security: its local time and newest price.
struct ReplayPoint {
  base::TDateTime time = 0;
  float price = 0;
};

// What a monitor tracked from a time on (a step line).
struct ReplayTrack {
  base::TDateTime time = 0;
  float trailingHigh = 0;
  float trailingLow = 0;
};

struct ReplayMonitorResult {
  TPolicyRecord monitor{};  // the copy as it ended the day (state, fired flag, tracking fields)
  bool fired = false;
  base::TDateTime fireTime = 0;
  float firePrice = 0;
  OrderRequest request;   // the order it would have sent (fired only)
  // As live: result NotPlaced with the reason in brokerText, else the order
  // as it would have gone out (result Unknown: no broker answered); only the
  // monitor's identifier and time for one that only prompts.
  TOrderOutcome outcome;
  std::vector<ReplayTrack> tracked;  // every change of the trailing high or low, in time order
};

struct ReplayOptions {
  // The trade log and broadcast of the live loop happen only when logged
  // in: the window leaves this off, the tool turns it on when asked.
  app::ProcessFlags flags;
  MonitorOptions monitor;
  // Keep every report's time and price by code (for the chart).
  bool keepPrices = true;
  // Called every `progressEvery` reports and at the end; false stops the run.
  std::function<bool(size_t done, size_t total)> progress;
  size_t progressEvery = 65536;
  // Every fire as the live loop reports it, with the tape's time.
  std::function<void(const FireEvent&, base::TDateTime)> onFire;
};

struct ReplayResult {
  bool completed = true;  // false: stopped by the progress callback
  size_t reports = 0;     // reports played
  int tradeLogFailures = 0;
  // One per monitor of the list that was running at the start, in list order.
  std::vector<ReplayMonitorResult> monitors;
  // The reports of each code the monitors watch, in tape order.
  std::map<std::string, std::vector<ReplayPoint>, std::less<>> prices;
};

// Plays the tape through the running monitors of `list` (which the replay
// owns: the monitors' fire marks and tracking are written into it).
ReplayResult ReplayTape(TPolicyList& list, const std::vector<quotes::TapeLine>& tape, const ReplayOptions& options);

// Replays copies of `monitors` (all started afresh, as the user's start
// does) without touching the originals.
ReplayResult ReplayMonitors(const std::vector<TPolicyRecord>& monitors, const std::vector<quotes::TapeLine>& tape,
                            const ReplayOptions& options);

}  // namespace policy
