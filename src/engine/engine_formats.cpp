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
// The byte of the lowest bit set in `matches`.
[[gnu::always_inline]] inline size_t FirstMatch(uint64_t matches) {
  return static_cast<size_t>(std::countr_zero(matches)) / 8;
}

// Bit 7 set in every byte of `w` that is not an ASCII digit (exact: the
// sums stay within their bytes).
[[gnu::always_inline]] inline uint64_t NonDigits(uint64_t w) {
  const uint64_t low = w & (kOnes * 0x7F);
  return ((low + kOnes * 0x46) | ~(low + kOnes * 0x50) | w) & (kOnes * 0x80);
}
// The first byte set in `matches` at or after byte `from` of the 16 bytes
// the two words hold; 16 when none is.
[[gnu::always_inline]] inline size_t FirstFrom(uint64_t a, uint64_t b, size_t from) {
  if (from < 8) {
    a &= ~uint64_t{0} << (8 * from);
    if (a) return FirstMatch(a);
    from = 8;
  }
  if (from < 16) {
    b &= ~uint64_t{0} << (8 * (from - 8));
    if (b) return 8 + FirstMatch(b);
  }
  return 16;
}
// The value of the `n` (at most 8) ASCII digits in the first bytes of `w`.
[[gnu::always_inline]] inline uint64_t EightDigits(uint64_t w, size_t n) {
  if (n == 0) return 0;
  w = (w - kOnes * '0') << (8 * (8 - n));  // the digits to the top, zeros before them
  w = w * 10 + (w >> 8);                   // pairs
  return (((w & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
          (((w >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
         32;
}
// The same for up to 16 digits at `p` (readable for max(n, 8) bytes).
[[gnu::always_inline]] inline uint64_t DecimalDigits(const char* p, size_t n) {
  if (n <= 8) return EightDigits(Load8(p), n);
  return EightDigits(Load8(p), n - 8) * 100000000 + EightDigits(Load8(p + n - 8), 8);
}

// A decimal number ("-12.345", "0", ""): empty is 0. False for anything
// else. Digits past the 18th significant or the 18th decimal place are
// dropped; an integer part of more than 18 digits is no number. The value is
// the digits as an integer over the power of ten, rounded once to double.
bool Number(std::string_view s, double& out) {
  out = 0;
  if (s.empty()) return true;
  size_t i = 0;
  bool negative = false;
  if (s[0] == '-' || s[0] == '+') {
    negative = s[0] == '-';
    i = 1;
  }
  uint64_t mantissa = 0;
  int digits = 0, fraction = 0;
  bool dot = false, any = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '.' && !dot) {
      dot = true;
      continue;
    }
    if (!IsDigit(c)) return false;
    any = true;
    if (digits < kMaxDigits && fraction < kMaxDigits) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
      if (mantissa) ++digits;
      if (dot) ++fraction;
    } else if (!dot) {
      return false;  // more than 18 integer digits: no price or volume
    }
  }
  if (!any) return false;
  out = static_cast<double>(mantissa) / kPow10[fraction];
  if (negative) out = -out;
  return true;
}

// Bit 7 set in every byte of `w` equal to `c` (exact: the sums stay within
// their bytes).
[[gnu::always_inline]] inline uint64_t Equal(uint64_t w, char c) {
  const uint64_t x = w ^ (kOnes * static_cast<unsigned char>(c));
  return ~(((x & (kOnes * 0x7F)) + kOnes * 0x7F) | x) & (kOnes * 0x80);
}

// One record's fields: where each ends is found first, in one pass over the
// record eight bytes at a time, so that the fields are then read
// independently of each other (no field waits for the one before it).
class Fields {
 public:
  // `readable` is where the memory holding the text ends: the number reader
  // may look at bytes past the text's end up to there, never use them.
  Fields(std::string_view text, char sep, const char* readable) : text_(text), readable_(readable) {
    const char* p = text.data();
    size_t i = 0;
    for (; i + 8 <= text.size() && count_ <= kMaxFields; i += 8)
      for (uint64_t m = Equal(Load8(p + i), sep); m && count_ <= kMaxFields; m &= m - 1) Add(i + FirstMatch(m));
    for (; i < text.size() && count_ <= kMaxFields; ++i)
      if (p[i] == sep) Add(i);
  }

  // The number of fields, kMaxFields + 1 when there are more.
  size_t size() const { return count_; }

  std::string_view Text(size_t i) const { return text_.substr(Start(i), End(i) - Start(i)); }

  // Field `i` as a number (see Number above); false when it is none.
  [[gnu::always_inline]] bool Number(size_t i, double& out) const {
    const size_t start = Start(i), len = End(i) - start;
    const char* p = text_.data() + start;
    // Most number fields are up to 15 bytes of digits and a dot: those are
    // read eight bytes at a time, without a branch per byte. Anything else
    // (a sign, junk, a longer field, the answer's last bytes) goes the
    // byte-by-byte way, which gives the same value.
    if (len < 16 && readable_ - p >= 24) {
      const uint64_t a = Load8(p), b = Load8(p + 8);
      const uint64_t otherA = NonDigits(a), otherB = NonDigits(b);
      const size_t dot = std::min(FirstFrom(otherA, otherB, 0), len);
      if (dot == len || (p[dot] == '.' && FirstFrom(otherA, otherB, dot + 1) >= len && len > 1)) {
        const size_t fraction = dot < len ? len - dot - 1 : 0;
        out = static_cast<double>(DecimalDigits(p, dot) * kPow10Int[fraction] + DecimalDigits(p + dot + 1, fraction)) /
              kPow10[fraction];
        return true;
      }
    }
    return engine::Number(std::string_view(p, len), out);
  }

 private:
  void Add(size_t sep) { ends_[count_++ - 1] = sep; }
  size_t Start(size_t i) const { return i == 0 ? 0 : ends_[i - 1] + 1; }
  size_t End(size_t i) const { return i + 1 < count_ ? ends_[i] : text_.size(); }

  std::string_view text_;
  const char* readable_;
  size_t count_ = 1;
  size_t ends_[kMaxFields];  // where the fields but the last end: their separators
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
  if (body.empty()) return;
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

// Fails the answer for the record's fault.
bool Fault(ParseResult& result, size_t number, const char* what) {
  result.error = FieldError(number, what);
  return false;
}

// Ends a record whose fields were found sound: with a time, its report
// joins the quotes.
bool AddQuote(ParseResult& result, size_t number, const Line& line, TQuoteReport& r, std::string_view name,
              const Levels& levels, bool stamp, const int (&t)[6]) {
  const std::optional<int32_t> when = stamp ? QuoteTime(t) : std::nullopt;
  if (!when) return Fault(result, number, "bad date or time");
  r.recordSize = sizeof r;
  r.quoteTime = *when;
  FillName(r, name);
  PutLevels(r, levels);
  result.quotes.push_back(SourceQuote{std::string(line.symbol), r});
  return true;
}

constexpr const char* kCountFault = "unexpected field count";
constexpr const char* kNumberFault = "a number field is not a number";

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
    const Fields f(line.text, ',', body.data() + body.size());
    if (!(f.size() == kCommaFields || (f.size() == kCommaFields + 1 && f.Text(kCommaFields).empty())))
      return Fault(result, number, kCountFault);
    double v[30] = {};  // the number fields 1 to 29 by their index; 6 and 7 (the best bid and ask again) unread
    bool numbers = true;
    for (size_t i = 1; i < 30; ++i)
      if (i != 6 && i != 7) numbers &= f.Number(i, v[i]);
    if (!numbers) return Fault(result, number, kNumberFault);
    int t[6] = {};
    const bool stamp = ReadStamp(f.Text(30), "YYYY-MM-DD", t) && ReadStamp(f.Text(31), "hh:mm:ss", t);
    TQuoteReport r{};
    r.open = static_cast<float>(v[1]), r.prevClose = static_cast<float>(v[2]);
    r.newestPrice = static_cast<float>(v[3]), r.high = static_cast<float>(v[4]), r.low = static_cast<float>(v[5]);
    r.volume = static_cast<float>(v[8]), r.amount = static_cast<float>(v[9]);
    Levels l;
    for (size_t i = 0; i < 5; ++i) {
      l.bidVol[i] = static_cast<float>(v[10 + 2 * i]), l.bid[i] = static_cast<float>(v[11 + 2 * i]);
      l.askVol[i] = static_cast<float>(v[20 + 2 * i]), l.ask[i] = static_cast<float>(v[21 + 2 * i]);
    }
    return AddQuote(result, number, line, r, f.Text(0), l, stamp, t);
  });
  if (!result.ok) result.quotes.clear();
  return result;
}

ParseResult ParseTilde(std::string_view body) {
  // The number fields read: 3 to 6, the levels 9 to 28, 33, 34 and 37.
  constexpr uint64_t kNumbers = 0x78 | (((uint64_t{1} << 20) - 1) << 9) | uint64_t{1} << 33 | uint64_t{1} << 34 |
                                uint64_t{1} << 37;
  ParseResult result;
  ReserveQuotes(result, body, kShortestTilde);
  result.ok = ForEachLine(body, "v_", result.error, [&](const Line& line, size_t number) {
    if (line.text.empty()) return true;
    const Fields f(line.text, '~', body.data() + body.size());
    if (f.size() < kTildeMinFields || f.size() > kMaxFields) return Fault(result, number, kCountFault);
    // The code field must be the symbol's: a shifted layout would read wrong prices.
    if (f.Text(2) != line.symbol.substr(2)) return Fault(result, number, "the code field is not the record's code");
    double v[kTildeMinFields] = {};  // the number fields by their index
    bool numbers = true;
    for (size_t i = 0; i < kTildeMinFields; ++i)
      if (kNumbers >> i & 1) numbers &= f.Number(i, v[i]);
    if (!numbers) return Fault(result, number, kNumberFault);
    int t[6] = {};
    const bool stamp = ReadStamp(f.Text(30), "YYYYMMDDhhmmss", t);
    // Volumes come in lots of 100 shares, the amount in 10,000 yuan.
    TQuoteReport r{};
    r.newestPrice = static_cast<float>(v[3]), r.prevClose = static_cast<float>(v[4]), r.open = static_cast<float>(v[5]);
    r.volume = static_cast<float>(v[6] * 100);
    r.high = static_cast<float>(v[33]), r.low = static_cast<float>(v[34]);
    r.amount = static_cast<float>(v[37] * 10000);
    Levels l;
    for (size_t i = 0; i < 5; ++i) {
      l.bid[i] = static_cast<float>(v[9 + 2 * i]), l.bidVol[i] = static_cast<float>(v[10 + 2 * i] * 100);
      l.ask[i] = static_cast<float>(v[19 + 2 * i]), l.askVol[i] = static_cast<float>(v[20 + 2 * i] * 100);
    }
    return AddQuote(result, number, line, r, f.Text(1), l, stamp, t);
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
