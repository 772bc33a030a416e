#include "policy/unt_replay.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

namespace policy {

void TReplayHost::RequestQuote(const std::string& code, quotes::TQuoteReport& out) {
  const auto it = newest.find(code);
  const quotes::TQuoteReport* found = it != newest.end() ? &it->second : nullptr;
  // The live program recorded the answer it got right after the report
  // that fired. One not later than that report was known at the fire; one
  // up to a poll later stands in only for a code not seen before.
  constexpr base::TDateTime kAnswerWithin = 10000.0 / base::kMsecsPerDay;
  for (size_t i = next; tape && i < tape->size() && (*tape)[i].time <= clock + kAnswerWithin; ++i) {
    if (quotes::ReportCode((*tape)[i].report) != code) continue;
    if ((*tape)[i].time <= clock || !found) found = &(*tape)[i].report;
    break;
  }
  if (found) {
    out = *found;
  } else {
    std::memset(&out, 0, sizeof out);
  }
}

namespace {

// A running monitor of the list and its result.
struct Watched {
  TPolicyRecord* record;
  size_t slot;
};

// The running monitors of one security, as the loop finds them.
struct WatchGroup {
  std::string code;  // the monitors' code text
  std::vector<Watched> monitors;
  std::vector<ReplayPoint>* prices = nullptr;
};

}  // namespace

ReplayResult ReplayTape(TPolicyList& list, const std::vector<quotes::TapeLine>& tape, const ReplayOptions& options) {
  ReplayResult result;
  app::ProcessFlags flags = options.flags;
  TReplayHost host;
  TMonitorLoop loop(list, flags, host, options.monitor);

  // The list's own records of the monitors that can fire, grouped by the
  // loop's candidate block of their security: what they tracked is read
  // back after each report of it. Blocks and the snapshot are in list order.
  std::shared_ptr<const TPolicyList::CodeIndex> index;
  std::unordered_map<const void*, WatchGroup> groups;
  {
    auto lock = list.Lock();
    index = list.RunningIndexLocked();
    for (const TPolicyRecord& m : list.Snapshot()) {
      if (m.state != kStateRunning || m.fired != 0) continue;
      const std::string code = CodeText(m);
      const auto* candidates = TPolicyList::Candidates(*index, code);
      if (!candidates) continue;
      WatchGroup& group = groups[candidates];
      group.code = code;
      const size_t k = group.monitors.size();
      if (k >= candidates->size()) continue;
      group.monitors.push_back({(*candidates)[k].get(), result.monitors.size()});
      result.monitors.emplace_back().monitor = m;
    }
    for (auto& [block, group] : groups) {
      if (options.keepPrices) group.prices = &result.prices[group.code];
    }
  }

  const WatchGroup* current = nullptr;
  std::vector<size_t> firedNow;
  loop.SetFireObserver([&](const FireEvent& e) {
    if (current) {
      for (const Watched& w : current->monitors) {
        ReplayMonitorResult& r = result.monitors[w.slot];
        if (r.fired || w.record->fired == 0 || w.record->id != e.monitor.id) continue;
        r.fired = true;
        r.fireTime = host.clock;
        r.firePrice = e.report.newestPrice;
        r.request = e.request;
        // Its outcome comes from the host once the fire is handled.
        firedNow.push_back(w.slot);
        break;
      }
    }
    if (options.onFire) options.onFire(e, host.clock);
  });

  const size_t total = tape.size();
  host.tape = &tape;
  for (const quotes::TapeLine& line : tape) {
    host.next = result.reports + 1;
    if (options.progress && result.reports % options.progressEvery == 0 && result.reports > 0 &&
        !options.progress(result.reports, total)) {
      result.completed = false;
      break;
    }
    const std::string_view code = quotes::ReportCode(line.report);
    host.clock = line.time;
    auto newest = host.newest.find(code);
    if (newest == host.newest.end()) {
      host.newest.emplace(std::string(code), line.report);
    } else {
      newest->second = line.report;
    }
    const auto* candidates = TPolicyList::Candidates(*index, code);
    const auto group = candidates ? groups.find(candidates) : groups.end();
    current = group == groups.end() ? nullptr : &group->second;
    firedNow.clear();
    host.outcomes.clear();
    loop.Run(line.report);
    ++result.reports;
    if (!current) continue;
    // Outcomes come in the order of the fires; a monitor that only prompts
    // has none.
    size_t nextOutcome = 0;
    for (const size_t slot : firedNow) {
      ReplayMonitorResult& r = result.monitors[slot];
      if (nextOutcome < host.outcomes.size() && host.outcomes[nextOutcome].monitorId == r.monitor.id) {
        r.outcome = host.outcomes[nextOutcome++];
      } else {
        r.outcome.monitorId = r.monitor.id;
        r.outcome.time = r.fireTime;
      }
    }
    if (current->prices && quotes::IsTradedPrice(line.report.newestPrice))
      current->prices->push_back({line.time, line.report.newestPrice});
    for (const Watched& w : current->monitors) {
      ReplayMonitorResult& r = result.monitors[w.slot];
      const TPolicyRecord& m = *w.record;
      const bool changed = r.tracked.empty() ? m.trailingHigh != 0 || m.trailingLow != 0
                                             : r.tracked.back().trailingHigh != m.trailingHigh ||
                                                   r.tracked.back().trailingLow != m.trailingLow;
      if (changed) r.tracked.push_back({line.time, m.trailingHigh, m.trailingLow});
    }
  }
  if (options.progress && result.completed) options.progress(result.reports, total);

  {
    auto lock = list.Lock();
    for (const auto& [block, group] : groups) {
      for (const Watched& w : group.monitors) result.monitors[w.slot].monitor = *w.record;
    }
  }
  result.tradeLogFailures = loop.TradeLogFailures();
  return result;
}

ReplayResult ReplayMonitors(const std::vector<TPolicyRecord>& monitors, const std::vector<quotes::TapeLine>& tape,
                            const ReplayOptions& options) {
  TPolicyList list;
  for (const TPolicyRecord& m : monitors) list.Add(m);
  list.StartOrStopAll(true);
  return ReplayTape(list, tape, options);
}

}  // namespace policy
