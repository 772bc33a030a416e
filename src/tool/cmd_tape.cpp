// tape: converts between the two tape kinds, as the input's bytes show: a
// day tape becomes CSV text (time, code, market, name and the five prices;
// the tape's volumes and order book have no column there), and CSV becomes
// a day tape filed under the date of its first line.
#include <ostream>

#include "base/datetime.h"
#include "base/files.h"
#include "quotes/unt_daytape.h"
#include "tool/tool.h"

namespace tool {

int RunTape(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2 || args[0].empty() || args[1].empty()) {
    err << "usage: quorvel-tool tape IN OUT\n";
    return kExitBadInput;
  }
  const std::string& in = args[0];
  const std::string& target = args[1];
  const auto bytes = base::ReadFileBytes(in);
  if (!bytes) {
    err << in << ": cannot read the file\n";
    return kExitBadInput;
  }
  const bool fromDayTape = quotes::LooksLikeDayTape(*bytes);
  const auto lines = ReadTapeFile(in, *bytes, err);
  if (!lines) return kExitBadInput;
  std::string converted;
  if (fromDayTape) {
    converted = quotes::DayTapeToCsv(*lines);
  } else {
    if (lines->empty()) {
      err << in << ": no quotes to convert\n";
      return kExitBadInput;
    }
    converted = quotes::CsvToDayTape(*lines, quotes::DayNumber(lines->front().time));
  }
  std::string error;
  if (!base::AtomicReplace(target, converted, &error)) {
    err << target << ": " << error << "\n";
    return kExitFailed;
  }
  out << lines->size() << " reports written to " << target << (fromDayTape ? " as CSV\n" : " as a day tape\n");
  return kExitOk;
}

}  // namespace tool
