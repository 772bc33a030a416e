// Quote tapes are hand-made CSV files: any bytes must either parse into
// reports that read back as written, or be refused with a line number.
#include <cstddef>
#include <cstdint>
#include <string>

#include "quotes/quote_tape.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const quotes::TapeParseResult result = quotes::ParseTape(text);
  if (!result.ok) {
    if (!result.lines.empty() || result.error.empty()) __builtin_trap();
    return 0;
  }
  int previous = 0;
  for (const auto& line : result.lines) {
    if (line.lineNumber <= previous) __builtin_trap();
    previous = line.lineNumber;
    if (quotes::ReportCode(line.report).empty()) __builtin_trap();
    if (line.report.recordSize != sizeof(quotes::TQuoteReport)) __builtin_trap();
    if (base::QuoteTimeToDateTime(line.report.quoteTime) != line.time) {
      // The two conversions must agree to the second.
      const double diff = base::QuoteTimeToDateTime(line.report.quoteTime) - line.time;
      if (diff > 1e-9 || diff < -1e-9) __builtin_trap();
    }
  }
  return 0;
}
