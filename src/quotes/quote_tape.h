// Quote tapes: recorded quotes as UTF-8 CSV text, one report a line, for
// replaying quotes through the monitors outside trading hours.
//
//   time,code,market,name,prev_close,open,high,low,price
//   2012-05-18 10:31:07,600000,SH,浦发银行,10.100,10.150,10.900,10.050,10.200
//
// time is the local time of the quote; market is SH, SZ (the two letters as
// the 16-bit market code) or a decimal integer; prices are decimals. Blank
// lines and lines starting with '#' are skipped; fields may be enclosed in
// double quotes ("" stands for one quote inside them).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"
#include "quotes/Ustockdrv.h"

namespace quotes {

constexpr std::string_view kTapeHeader = "time,code,market,name,prev_close,open,high,low,price";

struct TapeLine {
  int lineNumber = 0;       // 1-based line of the file
  base::TDateTime time = 0;  // the local time of the line
  TQuoteReport report{};
};

struct TapeParseResult {
  bool ok = true;
  int errorLine = 0;  // 1-based; 0 when the error concerns the whole file
  std::string error;
  std::vector<TapeLine> lines;
};

TapeParseResult ParseTape(std::string_view text);

// The quote time of a local date-time: seconds since 1970-01-01 00:00 UTC
// of that time eight hours earlier (the inverse of QuoteTimeToDateTime).
// False when it lies outside the 32-bit range.
bool LocalTimeToQuoteTime(int year, int month, int day, int hour, int minute, int second, int32_t& out);

// The market text of a tape: "SH", "SZ", or the code in decimal.
std::string MarketText(uint16_t market);

}  // namespace quotes
