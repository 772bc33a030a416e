// replay: loads a policy store as the program does at start, starts the
// monitors asked for, and feeds a quote tape (CSV or a day tape) through the
// monitor loop, one report a line with the local clock at the line's time. Every fire is
// printed; no order is typed (the replay engine shared with the program's
// replay window).
#include <algorithm>
#include <optional>
#include <ostream>

#include "base/datetime.h"
#include "base/files.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/text.h"
#include "policy/unt_monitorloop.h"
#include "policy/unt_replay.h"
#include "policy/unt_policy.h"
#include "quotes/quote_tape.h"
#include "quotes/unt_daytape.h"
#include "tool/tool.h"
#include "tool/tool_json.h"

namespace tool {
namespace {

constexpr const char* kUsage =
    "usage: quorvel-tool replay --store FILE --tape FILE [--start all|ID]... [--user ID --trade-log FILE] "
    "[--save FILE] [--json]\n";

struct ReplayArgs {
  std::string store, tape, user, tradeLog, save;
  std::vector<std::string> starts;
  bool json = false;
};

// nullopt (after a message) when the arguments are not usable.
std::optional<ReplayArgs> ParseArgs(const Args& args, std::ostream& err) {
  ReplayArgs r;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      r.json = true;
      continue;
    }
    std::string* value = a == "--store"       ? &r.store
                         : a == "--tape"      ? &r.tape
                         : a == "--user"      ? &r.user
                         : a == "--trade-log" ? &r.tradeLog
                         : a == "--save"      ? &r.save
                                              : nullptr;
    if (a == "--start") {
      r.starts.emplace_back();
      value = &r.starts.back();
    }
    if (!value) {
      err << "replay: unknown argument \"" << a << "\"\n" << kUsage;
      return std::nullopt;
    }
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      err << "replay: " << a << " needs a value\n" << kUsage;
      return std::nullopt;
    }
    *value = args[++i];
  }
  if (r.store.empty() || r.tape.empty()) {
    err << "replay: --store and --tape are required\n" << kUsage;
    return std::nullopt;
  }
  if (r.user.empty() != r.tradeLog.empty()) {
    err << "replay: --user and --trade-log go together\n" << kUsage;
    return std::nullopt;
  }
  for (const std::string& s : r.starts) {
    if (s != "all" && !base::ParseInteger(s)) {
      err << "replay: --start takes \"all\" or a monitor identifier, not \"" << s << "\"\n";
      return std::nullopt;
    }
  }
  return r;
}

std::string FireLine(const policy::FireEvent& e, base::TDateTime time, bool json) {
  const policy::TPolicyRecord& m = e.monitor;
  const policy::TTradeRecord& o = e.request.order;
  const std::string code = base::GbkToUtf8Lossy(policy::CodeText(m));
  const std::string when = base::FormatDateTime("yyyy-mm-dd hh:nn:ss", time);
  if (json) {
    Json j;
    j["time"] = when;
    j["id"] = m.id;
    j["kind"] = m.kind;
    j["code"] = code;
    j["trade_type"] = o.tradeType;
    j["order_code"] = o.code;
    j["order_name"] = o.name;
    j["price"] = JsonFloat(e.report.newestPrice);
    j["order_price"] = e.request.priceText;
    j["quantity"] = m.quantity;
    j["prompt_only"] = m.promptOnly;
    return JsonLine(j);
  }
  const std::string trade = policy::TradeTypeText(o.tradeType);
  return when + " fire #" + std::to_string(m.id) + " " + policy::KindName(m.kind) + " " + code + ": " +
         (trade.empty() ? "trade type " + std::to_string(o.tradeType) : trade) + " " + o.code + " " + o.name +
         " at " + e.request.priceText + " x " + (o.tradeType == policy::kTradeBuy ? o.buyQuantity : o.sellQuantity) +
         " (price " + base::FormatPrice(e.report.newestPrice) + ", " +
         (m.promptOnly != 0              ? "prompt only"
          : e.request.notPlaced.empty() ? "automatic"
                                        : "not placed: " + e.request.notPlaced) +
         ")";
}

}  // namespace

std::optional<std::vector<quotes::TapeLine>> ReadTapeFile(const std::string& path, std::string_view bytes,
                                                          std::ostream& err) {
  if (quotes::LooksLikeDayTape(bytes)) {
    quotes::DayTapeReadResult day = quotes::ReadDayTape(bytes);
    if (!day.ok) {
      err << path << ": " << day.error << "\n";
      return std::nullopt;
    }
    // A tape of a program that was killed: the whole blocks are all there is.
    if (day.truncated)
      err << path << ": " << day.error << "; the " << day.lines.size() << " reports before it are used\n";
    return std::move(day.lines);
  }
  quotes::TapeParseResult csv = quotes::ParseTape(bytes);
  if (!csv.ok) {
    err << path;
    if (csv.errorLine) err << ":" << csv.errorLine;
    err << ": " << csv.error << "\n";
    return std::nullopt;
  }
  return std::move(csv.lines);
}

int RunReplay(const Args& rawArgs, std::ostream& out, std::ostream& err) {
  const auto args = ParseArgs(rawArgs, err);
  if (!args) return kExitBadInput;

  // Everything is read and checked before anything is written.
  policy::TPolicyList list;
  const policy::StoreLoadResult loaded = list.LoadStore(args->store);
  if (!loaded.ok) {
    err << args->store << ": " << loaded.error << "\n";
    return kExitBadInput;
  }

  const auto tapeBytes = base::ReadFileBytes(args->tape);
  if (!tapeBytes) {
    err << args->tape << ": cannot read the file\n";
    return kExitBadInput;
  }
  const auto tape = ReadTapeFile(args->tape, *tapeBytes, err);
  if (!tape) return kExitBadInput;
  const std::vector<policy::TPolicyRecord> monitors = list.Snapshot();
  for (const std::string& s : args->starts) {
    if (s == "all") continue;
    const int32_t id = *base::ParseInteger(s);
    if (std::none_of(monitors.begin(), monitors.end(), [&](const auto& m) { return m.id == id; })) {
      err << args->store << ": no monitor with identifier " << s << "\n";
      return kExitBadInput;
    }
  }

  for (const std::string& s : args->starts) {
    if (s == "all") {
      list.StartOrStopAll(true);
    } else {
      list.StartOrStopOne(true, *base::ParseInteger(s));
    }
  }
  list.PublishLabels();

  policy::ReplayOptions options;
  options.flags.loggedIn = !args->user.empty();
  options.flags.userId = args->user;
  options.monitor.tradeLogPath = args->tradeLog;
  options.keepPrices = false;
  options.onFire = [&](const policy::FireEvent& e, base::TDateTime time) {
    out << FireLine(e, time, args->json) << "\n";
  };
  const policy::ReplayResult replayed = policy::ReplayTape(list, *tape, options);
  out.flush();

  int status = kExitOk;
  if (replayed.tradeLogFailures > 0) {
    err << args->tradeLog << ": " << replayed.tradeLogFailures << " trigger records could not be appended\n";
    status = kExitFailed;
  }
  if (!args->save.empty()) {
    const policy::StoreSaveResult saved = list.SaveStore(args->save);
    if (!saved.ok) {
      err << args->save << ": " << saved.error << "\n";
      status = kExitFailed;
    }
  }
  return status;
}

}  // namespace tool
