// Day tapes come from disk, perhaps cut off or damaged: any bytes must
// either be refused as a whole or give the reports of their whole blocks,
// the same again when only those blocks are read, and the same bits once
// written again as a tape.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "quotes/unt_daytape.h"

namespace {

bool SameReports(const std::vector<quotes::TapeLine>& a, const std::vector<quotes::TapeLine>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::memcmp(&a[i].report, &b[i].report, sizeof a[i].report) != 0) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const quotes::DayTapeReadResult r = quotes::ReadDayTape(bytes);
  if (!r.ok) {
    if (!r.lines.empty() || r.error.empty()) __builtin_trap();
    return 0;
  }
  if (r.validBytes > size || r.truncated != (r.validBytes != size) || r.truncated == r.error.empty())
    __builtin_trap();
  const quotes::DayTapeReadResult whole = quotes::ReadDayTape(bytes.substr(0, r.validBytes));
  if (!whole.ok || whole.truncated || !SameReports(whole.lines, r.lines)) __builtin_trap();
  const quotes::DayTapeReadResult again = quotes::ReadDayTape(quotes::CsvToDayTape(r.lines, r.day));
  if (!again.ok || again.truncated || !SameReports(again.lines, r.lines)) __builtin_trap();
  return 0;
}
