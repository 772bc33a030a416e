// The public quote formats the engine reads, and the mapping between the
// program's securities and the services' symbols.
//
// Both formats answer a GET with one line per asked symbol, GBK text:
//   comma:  var hq_str_sh600000="name,open,prevclose,price,...,date,time,status";
//   tilde:  v_sh600000="1~name~600000~price~prevclose~open~volume~...";
// The parsers are total: any bytes give reports or a rejection with a
// reason. A record that cannot be read (a field missing or no number, a
// date that is none) is skipped and counted; the answer fails only when it
// holds no record of the format at all (an error page, an empty body) or
// none of its records can be read, so that the engine turns to another
// source rather than report wrong prices.
//
// Units of the reports (the same from every source): prices in yuan,
// volumes (the day's and the five levels') in shares, amount in yuan. A
// security that has not traded today (suspended, delisted, no volume yet)
// is reported with newest price, open, high and low 0 and its previous
// close: never a price it did not trade at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quotes/Ustockdrv.h"

namespace engine {

enum class Format { Comma, Tilde };

// "comma" / "tilde" in any case ("Comma", "TILDE"); nullopt for anything else.
std::optional<Format> FormatFromName(std::string_view name);
const char* FormatName(Format format);
// The most symbols one request of the format asks for.
size_t BatchLimit(Format format);

// Market of the Beijing exchange: the two letters "BJ" as the report writes markets.
constexpr uint16_t kMarketBeijing = 0x4A42;

// A security as the program names it and as the services do.
struct Security {
  std::string code;     // the program's code, e.g. "600000" or "1A0001"
  uint16_t market = 0;  // kMarketShanghai, kMarketShenzhen or kMarketBeijing
  std::string symbol;   // the services' symbol, e.g. "sh600000" or "sh000001"
};

// The market of a bare six-digit code by its leading digits, the longest
// matching prefix winning, after the exchanges' code allocation (bonds,
// repos and treasuries of both exchanges, funds, Beijing's 4, 8 and 92;
// the rules and their sources are beside them), and the program's 1A0
// index codes Shanghai. 0 when no rule applies.
uint16_t MarketByPrefix(std::string_view code);
// The security of a watched label's code and market (0 or an unknown
// market: placed by the code's digits). nullopt for a code the services
// cannot name (empty, not six characters, or no market).
std::optional<Security> SecurityOf(std::string_view code, uint32_t market);

// One security's quote as a source answered it: the symbol and the report
// with everything but the program's code and market filled in.
struct SourceQuote {
  std::string symbol;
  quotes::TQuoteReport report{};
  // The day's limit-up and limit-down prices as the source publishes them;
  // 0 where it publishes none (indexes, delisted securities, the comma format).
  double limitUp = 0;
  double limitDown = 0;
};

struct ParseResult {
  bool ok = false;
  // Why the answer was rejected; when it was not but records were skipped,
  // why the first of them was.
  std::string error;
  std::vector<SourceQuote> quotes;
  size_t skipped = 0;  // records of the answer that could not be read
};

// Parses a whole answer. Symbols the service does not know (an empty
// record) give no quote and are no failure.
ParseResult ParseAnswer(Format format, std::string_view body);
ParseResult ParseComma(std::string_view body);
ParseResult ParseTilde(std::string_view body);

// Beijing date and time to seconds since 1970-01-01 00:00 UTC.
int64_t BeijingToUtc(int year, int month, int day, int hour, int minute, int second);

// The answer line a source of the format would give for the report (the
// stand-in server's formats, fixtures and benchmarks), `symbol` naming it,
// in the shapes the services send: the comma format's tails after the
// status (Shanghai's trailing comma, Beijing's 39 fields, the `D|` field
// from 15:34:45 Beijing time), the tilde format's 88 fields with the
// board's limits in 47/48, and a report without a newest price as a
// suspended security (or, without a previous close, a delisted one).
void AppendAnswerLine(std::string& out, Format format, std::string_view symbol, const quotes::TQuoteReport& r);

}  // namespace engine
