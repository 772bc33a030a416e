#include "quotes/quote_tape.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "base/gbk.h"
#include "base/text.h"

namespace quotes {
namespace {

// A fault of the current line.
struct Error {
  std::string message;
};

// Splits one CSV line into fields; nullopt (with the reason) when a quoted
// field is not closed properly.
std::optional<std::vector<std::string>> SplitCsv(std::string_view line, std::string& why) {
  std::vector<std::string> fields;
  std::string field;
  size_t i = 0;
  for (;;) {
    field.clear();
    if (i < line.size() && line[i] == '"') {
      ++i;
      for (;;) {
        if (i >= line.size()) {
          why = "unterminated quoted field";
          return std::nullopt;
        }
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"', i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      if (i < line.size() && line[i] != ',') {
        why = "unexpected text after a quoted field";
        return std::nullopt;
      }
    } else {
      while (i < line.size() && line[i] != ',') field += line[i++];
    }
    fields.push_back(field);
    if (i >= line.size()) break;
    ++i;  // the comma
  }
  return fields;
}

bool Digits(std::string_view s, size_t pos, size_t n, int& out) {
  out = 0;
  for (size_t k = 0; k < n; ++k) {
    const char c = s[pos + k];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  return true;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

void ParseTime(std::string_view s, TapeLine& line) {
  int y, mo, d, h, mi, sec;
  const bool shape = s.size() == 19 && s[4] == '-' && s[7] == '-' && s[10] == ' ' && s[13] == ':' && s[16] == ':';
  if (!shape || !Digits(s, 0, 4, y) || !Digits(s, 5, 2, mo) || !Digits(s, 8, 2, d) || !Digits(s, 11, 2, h) ||
      !Digits(s, 14, 2, mi) || !Digits(s, 17, 2, sec))
    throw Error{"time must be YYYY-MM-DD HH:MM:SS, not \"" + std::string(s) + "\""};
  if (mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 || sec > 59)
    throw Error{"no such time: \"" + std::string(s) + "\""};
  if (!LocalTimeToQuoteTime(y, mo, d, h, mi, sec, line.report.quoteTime))
    throw Error{"time out of range: \"" + std::string(s) + "\""};
  line.time = base::EncodeDateTime(y, mo, d, h, mi, sec);
}

void ParseText(std::string_view utf8, char* field, size_t size, const char* what) {
  const auto gbk = base::Utf8ToGbk(utf8);
  if (!gbk) throw Error{std::string(what) + " \"" + std::string(utf8) + "\" is not GBK text"};
  if (gbk->size() > size) throw Error{std::string(what) + " \"" + std::string(utf8) + "\" is longer than " + std::to_string(size) + " bytes"};
  if (gbk->find('\0') != std::string::npos) throw Error{std::string(what) + " holds a NUL"};
  std::memset(field, 0, size);
  std::memcpy(field, gbk->data(), gbk->size());
}

uint16_t ParseMarket(std::string_view s) {
  if (s == "SH") return kMarketShanghai;
  if (s == "SZ") return kMarketShenzhen;
  const auto v = base::ParseInteger(s);
  const bool decimal = !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
  if (!decimal || !v || *v < 0 || *v > 0xFFFF) throw Error{"market must be SH, SZ or 0 to 65535, not \"" + std::string(s) + "\""};
  return static_cast<uint16_t>(*v);
}

float ParsePrice(std::string_view s, const char* what) {
  const auto v = base::ParseDecimal(s);
  if (!v || !std::isfinite(*v) || std::fabs(*v) > std::numeric_limits<float>::max())
    throw Error{std::string(what) + " must be a decimal number, not \"" + std::string(s) + "\""};
  return static_cast<float>(*v);
}

}  // namespace

bool LocalTimeToQuoteTime(int year, int month, int day, int hour, int minute, int second, int32_t& out) {
  const int64_t days = int64_t{base::DaysFromCivil(year, month, day)} - base::kUnixEpochDay;
  const int64_t t = days * base::kSecondsPerDay + hour * 3600 + minute * 60 + second - 8 * 3600;
  if (t < std::numeric_limits<int32_t>::min() || t > std::numeric_limits<int32_t>::max()) return false;
  out = static_cast<int32_t>(t);
  return true;
}

std::string MarketText(uint16_t market) {
  if (market == kMarketShanghai) return "SH";
  if (market == kMarketShenzhen) return "SZ";
  return std::to_string(market);
}

TapeParseResult ParseTape(std::string_view text) {
  TapeParseResult result;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  bool header = false;
  int number = 0;
  size_t pos = 0;
  while (result.ok && pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (base::Trim(line).empty() || line.front() == '#') continue;
    try {
      if (!base::IsValidUtf8(line)) throw Error{"the line is not UTF-8 text"};
      if (!header) {
        if (line != kTapeHeader) throw Error{"the first line must be \"" + std::string(kTapeHeader) + "\""};
        header = true;
        continue;
      }
      std::string why;
      const auto fields = SplitCsv(line, why);
      if (!fields) throw Error{why};
      if (fields->size() != 9) throw Error{"9 fields expected, " + std::to_string(fields->size()) + " found"};
      const auto& f = *fields;
      TapeLine t;
      t.lineNumber = number;
      std::memset(&t.report, 0, sizeof t.report);
      t.report.recordSize = static_cast<uint16_t>(sizeof(TQuoteReport));
      ParseTime(f[0], t);
      if (f[1].empty()) throw Error{"the code is empty"};
      ParseText(f[1], t.report.code, sizeof t.report.code, "code");
      t.report.market = ParseMarket(f[2]);
      ParseText(f[3], t.report.name, sizeof t.report.name, "name");
      t.report.prevClose = ParsePrice(f[4], "prev_close");
      t.report.open = ParsePrice(f[5], "open");
      t.report.high = ParsePrice(f[6], "high");
      t.report.low = ParsePrice(f[7], "low");
      t.report.newestPrice = ParsePrice(f[8], "price");
      result.lines.push_back(t);
    } catch (const Error& e) {
      result.ok = false;
      result.errorLine = number;
      result.error = e.message;
    }
  }
  if (result.ok && !header) {
    result.ok = false;
    result.error = "the header line \"" + std::string(kTapeHeader) + "\" is missing";
  }
  if (!result.ok) result.lines.clear();
  return result;
}

}  // namespace quotes
