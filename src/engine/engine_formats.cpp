#include "engine_formats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/datetime.h"
#include "base/fixed_text.h"

namespace engine {
namespace {

using quotes::TQuoteReport;

// Field counts of the layouts: the comma format's records hold 33 fields
// (the service may end them with a comma, i.e. a 34th empty field); the
// tilde format's records hold well over 49 and grow now and then, so only
// the fields read (up to 48) must be there.
constexpr size_t kCommaFields = 33;
constexpr size_t kTildeMinFields = 49;
constexpr size_t kMaxFields = 256;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                             1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
constexpr uint64_t kPow10Int[] = {1,          10,          100,          1000,          10000,          100000,
                                  1000000,    10000000,    100000000,    1000000000,    10000000000,    100000000000,
                                  1000000000000, 10000000000000, 100000000000000, 1000000000000000};
constexpr int kMaxDigits = 18;

// Eight bytes at a time (SWAR): the bytes of a word as they lie in memory,
// the first in the lowest bits.
static_assert(std::endian::native == std::endian::little);
constexpr uint64_t kOnes = 0x0101010101010101;

[[gnu::always_inline]] inline uint64_t Load8(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}
// Bit 7 set in the first byte of `w` equal to `c` (and maybe in bytes after
// it, never before); 0 when none is.
[[gnu::always_inline]] inline uint64_t Matches(uint64_t w, char c) {
  const uint64_t x = w ^ (kOnes * static_cast<unsigned char>(c));
  return (x - kOnes) & ~x & (kOnes * 0x80);
}
[[gnu::always_inline]] inline size_t FirstMatch(uint64_t matches) { return static_cast<size_t>(std::countr_zero(matches)) / 8; }

// The value of `n` (at most 8) ASCII digits in the first bytes of `w`;
// false when one of them is no digit.
[[gnu::always_inline]] inline bool EightDigits(uint64_t w, size_t n, uint64_t& out) {
  out = 0;
  if (n == 0) return true;
  // The digits to the top of the word, '0's before them.
  const unsigned shift = static_cast<unsigned>(8 * (8 - n));
  w = (w << shift) | (shift ? (kOnes * '0') >> (64 - shift) : 0);
  const uint64_t high = kOnes * 0xF0;
  if (((w & high) | (((w + kOnes * 6) & high) >> 4)) != kOnes * 0x33) return false;
  w -= kOnes * '0';
  w = w * 10 + (w >> 8);  // pairs
  out = (((w & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
         (((w >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
        32;
  return true;
}
// The same for up to 16 digits at `p` (readable for max(n, 8) bytes).
[[gnu::always_inline]] inline bool DecimalDigits(const char* p, size_t n, uint64_t& out) {
  if (n <= 8) return EightDigits(Load8(p), n, out);
  uint64_t high, low;
  if (!EightDigits(Load8(p), n - 8, high) || !EightDigits(Load8(p + n - 8), 8, low)) return false;
  out = high * 100000000 + low;
  return true;
}

// One record's fields, read in order in a single pass: each read consumes
// the field up to the next separator. Running out of fields is remembered
// (a field count error) and so is a number field that is none, so that the
// record's errors are told in the order: field count, numbers, date.
class FieldReader {
 public:
  // `readable` is where the memory holding the text ends: the reader may
  // look at bytes past the text's end up to there, never use them.
  FieldReader(std::string_view text, char sep, const char* readable)
      : p_(text.data()), end_(text.data() + text.size()), readable_(readable), sep_(sep) {}

  bool Short() const { return short_; }
  bool BadNumber() const { return badNumber_; }
  // True when the fields read were all there are.
  bool AtEnd() const { return !more_; }

  // The next field's text ("" past the last field).
  std::string_view Text() {
    if (!more_) {
      short_ = true;
      return {};
    }
    const char* start = p_;
    const char* sep = static_cast<const char*>(std::memchr(p_, sep_, static_cast<size_t>(end_ - p_)));
    Consume(sep ? sep : end_);
    return std::string_view(start, static_cast<size_t>((sep ? sep : end_) - start));
  }
  void Skip(size_t n) {
    for (size_t i = 0; i < n; ++i) Text();
  }

  // The next field as a decimal number ("-12.345", "0", ""): empty is 0.
  // Digits past the 18th significant or the 18th decimal place are dropped;
  // an integer part of more than 18 digits is no number. The value is the
  // digits as an integer over the power of ten, rounded once to double.
  double Number() {
    if (!more_) {
      short_ = true;
      return 0;
    }
    double v;
    if (readable_ - p_ >= kFastRoom && FastNumber(v)) return v;
    return SlowNumber();
  }
  float Float() { return static_cast<float>(Number()); }

  // The number of fields not read yet, counted up to `limit` + 1.
  size_t Remaining(size_t limit) const {
    if (!more_) return 0;
    size_t n = 1;
    for (const char* p = p_; n <= limit; ++n) {
      const void* sep = std::memchr(p, sep_, static_cast<size_t>(end_ - p));
      if (!sep) break;
      p = static_cast<const char*>(sep) + 1;
    }
    return n;
  }

 private:
  // Most number fields are up to 15 bytes of digits and a dot: those are
  // read eight bytes at a time, without a branch per byte. Anything else
  // (a sign, junk, a longer field, the answer's last bytes) is left to
  // SlowNumber, which gives the same value.
  static constexpr ptrdiff_t kFastRoom = 24;  // a field of 16 bytes, then 8 read past its dot
  bool FastNumber(double& out) {
    const uint64_t a = Load8(p_), b = Load8(p_ + 8);
    const uint64_t sepA = Matches(a, sep_), sepB = Matches(b, sep_);
    const size_t len = std::min(sepA ? FirstMatch(sepA) : sepB ? 8 + FirstMatch(sepB) : 16,
                                static_cast<size_t>(end_ - p_));
    if (len == 16) return false;
    const uint64_t dotA = Matches(a, '.'), dotB = Matches(b, '.');
    const size_t dot = std::min(len, dotA ? FirstMatch(dotA) : dotB ? 8 + FirstMatch(dotB) : 16);
    const size_t fraction = dot < len ? len - dot - 1 : 0;
    if (dot + fraction == 0 && len != 0) return false;  // a dot alone
    uint64_t whole, part;
    if (!DecimalDigits(p_, dot, whole) || !DecimalDigits(p_ + dot + 1, fraction, part)) return false;
    out = static_cast<double>(whole * kPow10Int[fraction] + part) / kPow10[fraction];
    Consume(p_ + len);
    return true;
  }

  double SlowNumber() {
    const char* p = p_;
    bool negative = false;
    if (p != end_ && (*p == '-' || *p == '+')) negative = *p++ == '-';
    uint64_t mantissa = 0;
    int digits = 0, fraction = 0;
    bool dot = false, any = false, bad = false;
    for (; p != end_; ++p) {
      const unsigned d = static_cast<unsigned char>(*p) - unsigned{'0'};
      if (d < 10) {
        any = true;
        if (digits < kMaxDigits && fraction < kMaxDigits) {
          mantissa = mantissa * 10 + d;
          digits += mantissa != 0;
          fraction += dot;
        } else if (!dot) {
          bad = true;  // more than 18 integer digits: no price or volume
        }
      } else if (*p == sep_) {
        break;
      } else if (*p == '.' && !dot) {
        dot = true;
      } else {
        bad = true;
        const void* sep = std::memchr(p, sep_, static_cast<size_t>(end_ - p));
        p = sep ? static_cast<const char*>(sep) : end_;
        break;
      }
    }
    if (!any && p != p_) bad = true;  // a sign or a dot alone
    Consume(p);
    if (bad) {
      badNumber_ = true;
      return 0;
    }
    const double v = static_cast<double>(mantissa) / kPow10[fraction];
    return negative ? -v : v;
  }

  // Moves past the field ending at `at` (a separator or the end).
  void Consume(const char* at) {
    if (at == end_) {
      more_ = false;
      p_ = end_;
    } else {
      p_ = at + 1;
    }
  }

  const char* p_;
  const char* end_;
  const char* readable_;
  char sep_;
  bool more_ = true, short_ = false, badNumber_ = false;
};

// A date or time field laid out as `pattern`: Y, M, D, h, m, s stand for a
// digit of the year, month, day, hour, minute, second; other characters
// stand for themselves. Adds the digits read into `parts` (y, mo, d, h, mi, s).
int UnitOf(char c) {
  switch (c) {
    case 'Y': return 0;
    case 'M': return 1;
    case 'D': return 2;
    case 'h': return 3;
    case 'm': return 4;
    case 's': return 5;
    default: return -1;
  }
}
bool ReadStamp(std::string_view s, std::string_view pattern, int (&parts)[6]) {
  if (s.size() != pattern.size()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    const int unit = UnitOf(pattern[i]);
    if (unit < 0) {
      if (s[i] != pattern[i]) return false;
    } else {
      if (!IsDigit(s[i])) return false;
      parts[unit] = parts[unit] * 10 + (s[i] - '0');
    }
  }
  return true;
}

// The report's time of a Beijing date and time; nullopt when it is no time
// or one the report's 32-bit seconds cannot hold.
std::optional<int32_t> QuoteTime(const int (&t)[6]) {
  const int y = t[0], mo = t[1], d = t[2], h = t[3], mi = t[4], s = t[5];
  if (!(y >= 1970 && y <= 2100 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h <= 23 && mi <= 59 && s <= 60))
    return std::nullopt;
  const int64_t utc = BeijingToUtc(y, mo, d, h, mi, s);
  if (utc < INT32_MIN || utc > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(utc);
}

// The five bid and ask levels, in the order the report's fields scatter them.
struct Levels {
  float bid[5], bidVol[5], ask[5], askVol[5];
};

void PutLevels(TQuoteReport& r, const Levels& l) {
  for (size_t i = 0; i < 3; ++i) {
    r.bidPrice[i] = l.bid[i], r.bidVolume[i] = l.bidVol[i], r.askPrice[i] = l.ask[i], r.askVolume[i] = l.askVol[i];
  }
  r.bidPrice4 = l.bid[3], r.bidVolume4 = l.bidVol[3], r.askPrice4 = l.ask[3], r.askVolume4 = l.askVol[3];
  r.bidPrice5 = l.bid[4], r.bidVolume5 = l.bidVol[4], r.askPrice5 = l.ask[4], r.askVolume5 = l.askVol[4];
}

Levels LevelsOf(const TQuoteReport& r) {
  Levels l{};
  for (size_t i = 0; i < 3; ++i) {
    l.bid[i] = r.bidPrice[i], l.bidVol[i] = r.bidVolume[i], l.ask[i] = r.askPrice[i], l.askVol[i] = r.askVolume[i];
  }
  l.bid[3] = r.bidPrice4, l.bidVol[3] = r.bidVolume4, l.ask[3] = r.askPrice4, l.askVol[3] = r.askVolume4;
  l.bid[4] = r.bidPrice5, l.bidVol[4] = r.bidVolume5, l.ask[4] = r.askPrice5, l.askVol[4] = r.askVolume5;
  return l;
}

// One record line: <prefix><symbol>="<text>"; with the text found. The
// symbol is two lower-case letters and six characters of digits.
struct Line {
  std::string_view symbol, text;
};

constexpr size_t kSymbolSize = 8;

bool IsSymbol(std::string_view s) {
  if (s.size() != kSymbolSize || s[0] < 'a' || s[0] > 'z' || s[1] < 'a' || s[1] > 'z') return false;
  for (size_t i = 2; i < kSymbolSize; ++i)
    if (!IsDigit(s[i])) return false;
  return true;
}

// Walks the answer's lines: blank lines are skipped, a line that is not a
// record of the format ends the walk with an error; lines naming something
// other than a symbol (the tilde service's "v_pv_none_match") are skipped.
template <typename Fn>
bool ForEachLine(std::string_view body, std::string_view prefix, std::string& error, Fn&& fn) {
  size_t pos = 0, number = 0;
  while (pos < body.size()) {
    const void* nl = std::memchr(body.data() + pos, '\n', body.size() - pos);
    const size_t end = nl ? static_cast<size_t>(static_cast<const char*>(nl) - body.data()) : body.size();
    std::string_view line = body.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty()) continue;
    // A symbol holds no '=': when one stands after the prefix and is
    // followed by '="', that is the line's first '="' and needs no search.
    const size_t at = prefix.size() + kSymbolSize;
    const size_t eq = line.size() > at + 1 && line[at] == '=' && line[at + 1] == '"' &&
                              IsSymbol(line.substr(prefix.size(), kSymbolSize))
                          ? at
                          : line.find("=\"");
    if (line.substr(0, prefix.size()) != prefix || eq == std::string_view::npos || line.size() < eq + 4 ||
        line.substr(line.size() - 2) != "\";") {
      error = "line " + std::to_string(number) + " is not a record of the format";
      return false;
    }
    std::string_view name = line.substr(prefix.size(), eq - prefix.size());
    if (!IsSymbol(name)) continue;
    if (!fn(Line{name, line.substr(eq + 2, line.size() - eq - 4)}, number)) return false;
  }
  return true;
}

// The shortest records that give a quote: the prefix, a symbol, the
// quotes and the separators of the fields a record must have.
constexpr size_t kShortestComma = 11 + kSymbolSize + 4 + kCommaFields - 1;
constexpr size_t kShortestTilde = 2 + kSymbolSize + 4 + kTildeMinFields - 1;

// Room for the answer's quotes before the walk: one per line, and no more
// than the shortest records of the format could fill.
void ReserveQuotes(ParseResult& result, std::string_view body, size_t shortestRecord) {
  size_t lines = 1;
  for (const char* p = body.data(), *end = p + body.size();; ++lines, ++p) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!p) break;
  }
  result.quotes.reserve(std::min(lines, body.size() / shortestRecord + 1));
}

std::string FieldError(size_t line, const char* what) {
  return "line " + std::to_string(line) + ": " + what;
}

void FillName(TQuoteReport& r, std::string_view name) { base::WriteFixedText(r.name, name); }

}  // namespace

std::optional<Format> FormatFromName(std::string_view name) {
  if (name == "comma") return Format::Comma;
  if (name == "tilde") return Format::Tilde;
  return std::nullopt;
}

const char* FormatName(Format format) { return format == Format::Comma ? "comma" : "tilde"; }

size_t BatchLimit(Format format) { return format == Format::Comma ? 800 : 60; }

uint16_t MarketByPrefix(std::string_view code) {
  if (code.size() != 6) return 0;
  if (code.substr(0, 3) == "1A0") return quotes::kMarketShanghai;
  for (char c : code)
    if (!IsDigit(c)) return 0;
  if (code.substr(0, 2) == "92") return kMarketBeijing;
  if (code.substr(0, 2) == "11") return quotes::kMarketShanghai;
  switch (code[0]) {
    case '4':
    case '8':
      return kMarketBeijing;
    case '5':
    case '6':
    case '9':
      return quotes::kMarketShanghai;
    default:  // 0, 1, 2, 3
      return quotes::kMarketShenzhen;
  }
}

std::optional<Security> SecurityOf(std::string_view code, uint32_t market) {
  if (code.size() != 6) return std::nullopt;
  uint16_t m = static_cast<uint16_t>(market);
  if (market > 0xFFFF || (m != quotes::kMarketShanghai && m != quotes::kMarketShenzhen && m != kMarketBeijing))
    m = MarketByPrefix(code);
  // The program's index codes: 1A0xxx is the Shanghai index 000xxx.
  std::string digits(code);
  if (digits.substr(0, 3) == "1A0") {
    digits.replace(0, 3, "000");
    m = quotes::kMarketShanghai;
  }
  for (char c : digits)
    if (!IsDigit(c)) return std::nullopt;
  if (m == 0) return std::nullopt;
  const char* prefix = m == quotes::kMarketShanghai ? "sh" : m == quotes::kMarketShenzhen ? "sz" : "bj";
  return Security{std::string(code), m, prefix + digits};
}

int64_t BeijingToUtc(int year, int month, int day, int hour, int minute, int second) {
  int64_t days = base::DaysFromCivil(year, month, day) - base::kUnixEpochDay;
  return days * 86400 + hour * 3600 + minute * 60 + second - 8 * 3600;
}

ParseResult ParseComma(std::string_view body) {
  ParseResult result;
  ReserveQuotes(result, body, kShortestComma);
  result.ok = ForEachLine(body, "var hq_str_", result.error, [&](const Line& line, size_t number) {
    if (line.text.empty()) return true;  // a symbol the service does not know
    FieldReader f(line.text, ',', body.data() + body.size());
    TQuoteReport r{};
    Levels l;
    const std::string_view name = f.Text();
    r.open = f.Float(), r.prevClose = f.Float(), r.newestPrice = f.Float(), r.high = f.Float(), r.low = f.Float();
    f.Skip(2);  // the best bid and ask again
    r.volume = f.Float(), r.amount = f.Float();
    for (size_t i = 0; i < 5; ++i) l.bidVol[i] = f.Float(), l.bid[i] = f.Float();
    for (size_t i = 0; i < 5; ++i) l.askVol[i] = f.Float(), l.ask[i] = f.Float();
    int t[6] = {};
    const bool date = ReadStamp(f.Text(), "YYYY-MM-DD", t);
    const bool stamp = ReadStamp(f.Text(), "hh:mm:ss", t) && date;
    f.Skip(1);  // the status
    if (f.Short() || !(f.AtEnd() || (f.Text().empty() && f.AtEnd()))) {
      result.error = FieldError(number, "unexpected field count");
      return false;
    }
    if (f.BadNumber()) {
      result.error = FieldError(number, "a number field is not a number");
      return false;
    }
    const std::optional<int32_t> when = stamp ? QuoteTime(t) : std::nullopt;
    if (!when) {
      result.error = FieldError(number, "bad date or time");
      return false;
    }
    r.quoteTime = *when;
    r.recordSize = sizeof r;
    FillName(r, name);
    PutLevels(r, l);
    result.quotes.push_back(SourceQuote{std::string(line.symbol), r});
    return true;
  });
  if (!result.ok) result.quotes.clear();
  return result;
}

ParseResult ParseTilde(std::string_view body) {
  ParseResult result;
  ReserveQuotes(result, body, kShortestTilde);
  result.ok = ForEachLine(body, "v_", result.error, [&](const Line& line, size_t number) {
    if (line.text.empty()) return true;
    FieldReader f(line.text, '~', body.data() + body.size());
    TQuoteReport r{};
    Levels l;
    f.Skip(1);  // the market's number
    const std::string_view name = f.Text(), code = f.Text();
    r.newestPrice = f.Float(), r.prevClose = f.Float(), r.open = f.Float();
    // Volumes come in lots of 100 shares, the amount in 10,000 yuan.
    r.volume = static_cast<float>(f.Number() * 100);
    f.Skip(2);  // 7, 8: the outer and inner volume
    for (size_t i = 0; i < 5; ++i) l.bid[i] = f.Float(), l.bidVol[i] = static_cast<float>(f.Number() * 100);
    for (size_t i = 0; i < 5; ++i) l.ask[i] = f.Float(), l.askVol[i] = static_cast<float>(f.Number() * 100);
    f.Skip(1);  // 29: the recent trades
    int t[6] = {};
    const bool stamp = ReadStamp(f.Text(), "YYYYMMDDhhmmss", t);
    f.Skip(2);  // 31, 32: the change and its percentage
    r.high = f.Float(), r.low = f.Float();
    f.Skip(2);  // 35, 36
    r.amount = static_cast<float>(f.Number() * 10000);
    f.Skip(kTildeMinFields - 38);  // up to 48, the limit prices: not carried
    if (f.Short() || f.Remaining(kMaxFields - kTildeMinFields) > kMaxFields - kTildeMinFields) {
      result.error = FieldError(number, "unexpected field count");
      return false;
    }
    // The code field must be the symbol's: a shifted layout would read wrong prices.
    if (code != line.symbol.substr(2)) {
      result.error = FieldError(number, "the code field is not the record's code");
      return false;
    }
    if (f.BadNumber()) {
      result.error = FieldError(number, "a number field is not a number");
      return false;
    }
    const std::optional<int32_t> when = stamp ? QuoteTime(t) : std::nullopt;
    if (!when) {
      result.error = FieldError(number, "bad date or time");
      return false;
    }
    r.quoteTime = *when;
    r.recordSize = sizeof r;
    FillName(r, name);
    PutLevels(r, l);
    result.quotes.push_back(SourceQuote{std::string(line.symbol), r});
    return true;
  });
  if (!result.ok) result.quotes.clear();
  return result;
}

ParseResult ParseAnswer(Format format, std::string_view body) {
  return format == Format::Comma ? ParseComma(body) : ParseTilde(body);
}

namespace {

void Append(std::string& out, const char* fmt, double v) {
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, fmt, v);
  if (n > 0) out.append(buf, static_cast<size_t>(std::min<int>(n, sizeof buf - 1)));
}

}  // namespace

void AppendAnswerLine(std::string& out, Format format, std::string_view symbol, const TQuoteReport& r) {
  base::DateTimeParts t = base::DecodeDateTime(base::QuoteTimeToDateTime(r.quoteTime));
  char date[32];
  Levels l = LevelsOf(r);
  std::string_view name = base::FixedTextView(r.name);
  if (format == Format::Comma) {
    out += "var hq_str_";
    out += symbol;
    out += "=\"";
    out += name;
    for (float v : {r.open, r.prevClose, r.newestPrice, r.high, r.low, l.bid[0], l.ask[0]}) Append(out, ",%.3f", v);
    Append(out, ",%.0f", r.volume);
    Append(out, ",%.3f", r.amount);
    for (size_t i = 0; i < 5; ++i) Append(out, ",%.0f", l.bidVol[i]), Append(out, ",%.3f", l.bid[i]);
    for (size_t i = 0; i < 5; ++i) Append(out, ",%.0f", l.askVol[i]), Append(out, ",%.3f", l.ask[i]);
    std::snprintf(date, sizeof date, ",%04d-%02d-%02d,%02d:%02d:%02d,00,", t.year % 10000, t.month % 100,
                  t.day % 100, t.hour % 100, t.minute % 100, t.second % 100);
    out += date;
    out += "\";\n";
    return;
  }
  out += "v_";
  out += symbol;
  out += "=\"";
  out += symbol.substr(0, 2) == "sh" ? "1" : "51";
  out += '~';
  out += name;
  out += '~';
  out += symbol.substr(2);
  for (float v : {r.newestPrice, r.prevClose, r.open}) Append(out, "~%.3f", v);
  Append(out, "~%.2f", r.volume / 100.0);  // lots
  out += "~0~0";                           // outer and inner volume: not carried
  for (size_t i = 0; i < 5; ++i) Append(out, "~%.3f", l.bid[i]), Append(out, "~%.2f", l.bidVol[i] / 100.0);
  for (size_t i = 0; i < 5; ++i) Append(out, "~%.3f", l.ask[i]), Append(out, "~%.2f", l.askVol[i] / 100.0);
  std::snprintf(date, sizeof date, "~~%04d%02d%02d%02d%02d%02d", t.year % 10000, t.month % 100, t.day % 100,
                t.hour % 100, t.minute % 100, t.second % 100);
  out += date;  // 29: the recent trades, not carried
  Append(out, "~%.3f", r.newestPrice - r.prevClose);
  Append(out, "~%.2f", r.prevClose ? (r.newestPrice - r.prevClose) / r.prevClose * 100 : 0.0);
  Append(out, "~%.3f", r.high);
  Append(out, "~%.3f", r.low);
  out += "~";  // 35: price/volume/amount, not carried
  Append(out, "~%.2f", r.volume / 100.0);
  Append(out, "~%.6f", r.amount / 10000.0);
  out += "~~~~~~~~~";  // 38 to 46
  Append(out, "~%.2f", std::round(r.prevClose * 110) / 100);
  Append(out, "~%.2f", std::round(r.prevClose * 90) / 100);
  out += "~~\";\n";
}

}  // namespace engine
