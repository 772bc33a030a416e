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

// Field counts of the layouts. Comma: fields 0 to 31 (name to time) must be
// there, 32 is the status where the service sends one (answers of 2011 had
// none); what follows it varies (Shanghai's trailing comma, the `D|` field
// after about 15:34:45, Beijing's six more) and is not read, so the fields
// are only split up to the status. Tilde: the count grows over the years
// (67, 82, 88), only the fields read (up to 48) must be there; a record with
// more level pairs (seen: a delisted one with twelve) has every later field
// shifted, by up to kTildeMaxShift places.
constexpr size_t kCommaFields = 32;
constexpr size_t kCommaStatus = 32;
constexpr size_t kTildeMinFields = 49;
constexpr size_t kTildeMaxShift = 40;
constexpr size_t kTildeSplit = kTildeMinFields + kTildeMaxShift;
constexpr size_t kMaxSeparators = kTildeSplit;

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


// The number of `len` bytes at `p` (see Number above); bytes from `p` up to
// `readable` may be looked at. Most number fields are up to 15 bytes of
// digits and a dot: those are read eight bytes at a time, without a branch
// per byte. Anything else (a sign, junk, a longer field, the answer's last
// bytes) goes the byte-by-byte way, which gives the same value.
[[gnu::always_inline]] inline bool NumberAt(const char* p, size_t len, const char* readable, double& out) {
  if (len < 16 && readable - p >= 24) {
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
  return Number(std::string_view(p, len), out);
}

// One record's fields: where each ends is found first, in one pass over the
// record eight bytes at a time, so that the fields are then read
// independently of each other (no field waits for the one before it). Only
// the first `split` fields are split off: the rest of the record is not
// looked at.
class Fields {
 public:
  // `readable` is where the memory holding the text ends: the number reader
  // may look at bytes past the text's end up to there, never use them.
  Fields(std::string_view text, char sep, const char* readable, size_t split)
      : text_(text), readable_(readable) {
    const char* p = text.data();
    const size_t limit = std::min(split, kMaxSeparators);
    size_t i = 0;
    for (; i + 8 <= text.size() && seps_ < limit; i += 8)
      for (uint64_t m = Equal(Load8(p + i), sep); m && seps_ < limit; m &= m - 1) ends_[seps_++] = i + FirstMatch(m);
    for (; i < text.size() && seps_ < limit; ++i)
      if (p[i] == sep) ends_[seps_++] = i;
  }

  // The number of fields; when `split` separators were found, the record
  // holds at least this many and only the first `split` may be read.
  size_t size() const { return seps_ + 1; }

  std::string_view Text(size_t i) const { return text_.substr(Start(i), End(i) - Start(i)); }

  // Field `i` as a number (see Number above); false when it is none.
  [[gnu::always_inline]] bool Number(size_t i, double& out) const {
    return NumberAt(text_.data() + Start(i), End(i) - Start(i), readable_, out);
  }

 private:
  size_t Start(size_t i) const { return i == 0 ? 0 : ends_[i - 1] + 1; }
  size_t End(size_t i) const { return i < seps_ ? ends_[i] : text_.size(); }

  std::string_view text_;
  const char* readable_;
  size_t seps_ = 0;
  size_t ends_[kMaxSeparators];  // where the fields end: their separators
};

// The `n` ASCII digits at `p` as a number; false when one is no digit.
[[gnu::always_inline]] inline bool Digits(const char* p, size_t n, int& out) {
  int v = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!IsDigit(p[i])) return false;
    v = v * 10 + (p[i] - '0');
  }
  out = v;
  return true;
}
// The date and time fields of the formats into `t` (year, month, day, hour,
// minute, second): the comma format's "YYYY-MM-DD" and "hh:mm:ss", the
// tilde format's "YYYYMMDDhhmmss". False when the field is not of the shape.
bool CommaDate(std::string_view s, int (&t)[6]) {
  const char* p = s.data();
  return s.size() == 10 && p[4] == '-' && p[7] == '-' && Digits(p, 4, t[0]) && Digits(p + 5, 2, t[1]) &&
         Digits(p + 8, 2, t[2]);
}
bool CommaTime(std::string_view s, int (&t)[6]) {
  const char* p = s.data();
  return s.size() == 8 && p[2] == ':' && p[5] == ':' && Digits(p, 2, t[3]) && Digits(p + 3, 2, t[4]) &&
         Digits(p + 6, 2, t[5]);
}
bool TildeDateTime(std::string_view s, int (&t)[6]) {
  const char* p = s.data();
  return s.size() == 14 && Digits(p, 4, t[0]) && Digits(p + 4, 2, t[1]) && Digits(p + 6, 2, t[2]) &&
         Digits(p + 8, 2, t[3]) && Digits(p + 10, 2, t[4]) && Digits(p + 12, 2, t[5]);
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : kDays[m - 1];
}

// The report's time of a Beijing date and time; nullopt when it is no time
// of the calendar (2026-02-30, 24:00:00) or one the report's 32-bit seconds
// cannot hold.
std::optional<int32_t> QuoteTime(const int (&t)[6]) {
  const int y = t[0], mo = t[1], d = t[2], h = t[3], mi = t[4], s = t[5];
  if (!(y >= 1970 && y <= 2100 && mo >= 1 && mo <= 12 && d >= 1 && d <= DaysInMonth(y, mo) && h <= 23 && mi <= 59 &&
        s <= 59))
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

// Boards as the services' symbols name them.
bool Starts(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }
// Shanghai's indexes (000xxx), Shenzhen's (399xxx), Beijing's (899xxx).
bool IsIndexSymbol(std::string_view symbol) {
  return Starts(symbol, "sh000") || Starts(symbol, "sz399") || Starts(symbol, "bj899");
}
// The STAR market: 688xxx shares, 689xxx depositary receipts.
bool IsStarSymbol(std::string_view symbol) { return Starts(symbol, "sh688") || Starts(symbol, "sh689"); }

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

constexpr const char* kCountFault = "too few fields";
constexpr const char* kNumberFault = "a number field is not a number";
constexpr const char* kNegativeFault = "a negative price, volume or amount";
constexpr const char* kTimeFault = "bad date or time";
constexpr const char* kLineFault = "not a record of the format";
constexpr const char* kNameFault = "not a security's record";

// Walks the answer's lines and hands each security's record to `read`,
// which adds its quote or says why it cannot be read. A record that cannot
// be read, and a line that is no record of the format, is skipped and
// counted. The answer fails when no record could be read: when none was
// of the format (an error page, an empty body: the source is down for us)
// or every one was unreadable (the service changed its format: better
// another source than wrong prices). An answer whose records all name
// codes the service does not know (`var hq_str_x="";`, the tilde service's
// `v_pv_none_match="1";`) is an answer, without quotes.
template <typename Read>
ParseResult ParseLines(std::string_view body, std::string_view prefix, size_t shortest, Read&& read) {
  ParseResult result;
  ReserveQuotes(result, body, shortest);
  size_t unknown = 0;
  std::string firstSkip;
  auto skip = [&](size_t number, const char* why) {
    if (result.skipped++ == 0) firstSkip = "line " + std::to_string(number) + ": " + why;
  };
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
      skip(number, kLineFault);
      continue;
    }
    const std::string_view name = line.substr(prefix.size(), eq - prefix.size());
    const std::string_view text = line.substr(eq + 2, line.size() - eq - 4);
    if (IsSymbol(name)) {
      if (text.empty()) {
        ++unknown;  // a symbol the service does not know
      } else if (const char* why = read(Line{name, text}, body.data() + body.size(), result.quotes)) {
        skip(number, why);
      }
    } else if (prefix == "v_" && name == "pv_none_match") {
      ++unknown;  // no symbol of the request is known
    } else {
      skip(number, kNameFault);
    }
  }
  result.ok = !result.quotes.empty() || (unknown > 0 && result.skipped == 0);
  if (!result.ok) {
    result.quotes.clear();
    result.error = result.skipped == 0 ? std::string("no record of the format")
                                       : "no record could be read (" + std::to_string(result.skipped) +
                                             " skipped, first " + firstSkip + ")";
  } else {
    result.error = std::move(firstSkip);
  }
  return result;
}

// Ends a record read: its report joins the quotes. A security that has not
// traded today (suspended, delisted, or no volume yet) has no price: its
// newest price, open, high and low are 0 whatever the record shows (the
// tilde format shows the previous close as its newest price), and only the
// previous close is kept.
void AddQuote(std::vector<SourceQuote>& out, const Line& line, TQuoteReport& r, std::string_view name,
              const Levels& levels, int32_t when, bool traded, double limitUp, double limitDown) {
  if (!traded || !(r.volume > 0)) {
    r.newestPrice = r.open = r.high = r.low = 0;
    r.volume = r.amount = 0;
  }
  r.recordSize = sizeof r;
  r.quoteTime = when;
  base::WriteFixedText(r.name, name);
  PutLevels(r, levels);
  out.push_back(SourceQuote{std::string(line.symbol), r, limitUp > 0 ? limitUp : 0, limitDown > 0 ? limitDown : 0});
}

// Reads the number fields `index` of `f` into `v` by their index; false
// when one is none.
template <size_t N, size_t M>
bool ReadNumbers(const Fields& f, const size_t (&index)[N], double (&v)[M]) {
  bool numbers = true;
  for (size_t i : index) numbers &= f.Number(i, v[i]);
  return numbers;
}

// Comma format, by index (0-based): 0 name; 1 open; 2 previous close;
// 3 newest price; 4 high; 5 low; 6, 7 best bid and ask (again in the
// levels, not read); 8 volume in shares, except Shanghai indexes (lots of
// 100); 9 amount in yuan; 10-19 five bids as (volume in shares, price);
// 20-29 five asks likewise; 30 date YYYY-MM-DD; 31 time hh:mm:ss (Beijing);
// 32 status: 00 trading, 03 suspended, negative for codes not or no longer
// listed (seen -2, -3, every price 0).
const char* ReadComma(const Line& line, const char* readable, std::vector<SourceQuote>& out) {
  static constexpr size_t kNumbers[] = {1,  2,  3,  4,  5,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17,
                                        18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29};
  const Fields f(line.text, ',', readable, kCommaStatus + 1);
  if (f.size() < kCommaFields) return kCountFault;
  double v[30] = {};
  if (!ReadNumbers(f, kNumbers, v)) return kNumberFault;
  for (size_t i : kNumbers)
    if (v[i] < 0) return kNegativeFault;
  int t[6] = {};
  if (!CommaDate(f.Text(30), t) || !CommaTime(f.Text(31), t)) return kTimeFault;
  const std::optional<int32_t> when = QuoteTime(t);
  if (!when) return kTimeFault;
  const std::string_view status = f.size() > kCommaStatus ? f.Text(kCommaStatus) : std::string_view();
  const bool traded = status != "03" && !Starts(status, "-");
  const double lot = Starts(line.symbol, "sh000") ? 100 : 1;
  TQuoteReport r{};
  r.open = static_cast<float>(v[1]), r.prevClose = static_cast<float>(v[2]);
  r.newestPrice = static_cast<float>(v[3]), r.high = static_cast<float>(v[4]), r.low = static_cast<float>(v[5]);
  r.volume = static_cast<float>(v[8] * lot), r.amount = static_cast<float>(v[9]);
  Levels l;
  for (size_t i = 0; i < 5; ++i) {
    l.bidVol[i] = static_cast<float>(v[10 + 2 * i]), l.bid[i] = static_cast<float>(v[11 + 2 * i]);
    l.askVol[i] = static_cast<float>(v[20 + 2 * i]), l.ask[i] = static_cast<float>(v[21 + 2 * i]);
  }
  AddQuote(out, line, r, f.Text(0), l, *when, traded, 0, 0);
  return nullptr;
}

// The amount of the tilde format's `price/volume/amount` field, in yuan;
// false when the field is not of that shape.
bool ExactAmount(std::string_view s, const char* readable, double& out) {
  const size_t first = s.find('/');
  const size_t second = first == std::string_view::npos ? first : s.find('/', first + 1);
  if (second == std::string_view::npos) return false;
  const std::string_view amount = s.substr(second + 1);
  return NumberAt(amount.data(), amount.size(), readable, out) && out >= 0;
}

// The time of the tilde date-time field `i`, nullopt when it is none.
std::optional<int32_t> TildeStamp(const Fields& f, size_t i) {
  int t[6] = {};
  return TildeDateTime(f.Text(i), t) ? QuoteTime(t) : std::nullopt;
}

// Tilde format, by index: 0 market (1 Shanghai, 51 Shenzhen, 62 Beijing);
// 1 name; 2 bare code; 3 newest price; 4 previous close; 5 open; 6 volume in
// lots of 100, except STAR (688/689: shares); 9-28 five bids as (price,
// volume) then five asks, in the volume's unit; 30 YYYYMMDDhhmmss
// (Beijing); 33 high; 34 low; 35 price/volume/amount with the exact amount
// in yuan; 37 amount in 10,000 yuan (rounded for stocks); 40 status (empty
// trading, S suspended, D delisted, U seen on a code that no longer trades);
// 47, 48 limit-up and limit-down (-1: none). With more level pairs every
// field from 29 on sits further on: the date-time is looked for at 30, 34,
// 38 ... (one more pair a side, four places), and the later fields read
// from there.
const char* ReadTilde(const Line& line, const char* readable, std::vector<SourceQuote>& out) {
  // The fields up to 48 are split off first; a record whose date-time is not
  // at 30 is split further to look for it.
  Fields f(line.text, '~', readable, kTildeMinFields);
  if (f.size() < kTildeMinFields) return kCountFault;
  // The code field must be the symbol's: a shifted layout would read wrong prices.
  if (f.Text(2) != line.symbol.substr(2)) return "the code field is not the record's code";
  size_t shift = 0;
  std::optional<int32_t> when = TildeStamp(f, 30);
  if (!when) {
    f = Fields(line.text, '~', readable, kTildeSplit);
    for (shift = 4;; shift += 4) {
      if (shift > kTildeMaxShift || f.size() < kTildeMinFields + shift) return kTimeFault;
      if ((when = TildeStamp(f, 30 + shift))) break;
    }
  }
  const size_t pairs = 5 + shift / 4;  // level pairs a side
  double price[3], level[20], tail[2], limit[2];
  double volume = 0, amount = 0;
  // Every field is read, whether or not one before it was a number: the
  // reads do not wait for each other.
  bool numbers = f.Number(3, price[0]);
  numbers &= f.Number(4, price[1]);
  numbers &= f.Number(5, price[2]);
  numbers &= f.Number(6, volume);
  for (size_t i = 0; i < 10; ++i) {  // the bids from 9, the asks after all the bids' pairs
    const size_t at = 9 + 2 * i + (i < 5 ? 0 : 2 * (pairs - 5));
    numbers &= f.Number(at, level[2 * i]);
    numbers &= f.Number(at + 1, level[2 * i + 1]);
  }
  numbers &= f.Number(33 + shift, tail[0]);
  numbers &= f.Number(34 + shift, tail[1]);
  numbers &= f.Number(37 + shift, amount);
  numbers &= f.Number(47 + shift, limit[0]);
  numbers &= f.Number(48 + shift, limit[1]);
  if (!numbers) return kNumberFault;
  bool negative = volume < 0 || amount < 0 || tail[0] < 0 || tail[1] < 0;
  for (double p : price) negative |= p < 0;
  for (double x : level) negative |= x < 0;
  if (negative) return kNegativeFault;
  double exact;
  amount = ExactAmount(f.Text(35 + shift), readable, exact) ? exact : amount * 10000;
  std::string_view status = f.Text(40 + shift);
  while (!status.empty() && status.back() == ' ') status.remove_suffix(1);
  const double lot = IsStarSymbol(line.symbol) ? 1 : 100;
  TQuoteReport r{};
  r.newestPrice = static_cast<float>(price[0]), r.prevClose = static_cast<float>(price[1]);
  r.open = static_cast<float>(price[2]);
  r.volume = static_cast<float>(volume * lot);
  r.high = static_cast<float>(tail[0]), r.low = static_cast<float>(tail[1]);
  r.amount = static_cast<float>(amount);
  Levels l;
  for (size_t i = 0; i < 5; ++i) {
    l.bid[i] = static_cast<float>(level[2 * i]), l.bidVol[i] = static_cast<float>(level[2 * i + 1] * lot);
    l.ask[i] = static_cast<float>(level[10 + 2 * i]), l.askVol[i] = static_cast<float>(level[11 + 2 * i] * lot);
  }
  AddQuote(out, line, r, f.Text(1), l, *when, status.empty(), limit[0], limit[1]);
  return nullptr;
}

}  // namespace

std::optional<Format> FormatFromName(std::string_view name) {
  auto is = [name](std::string_view want) {
    return name.size() == want.size() && std::equal(name.begin(), name.end(), want.begin(), [](char a, char b) {
             return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
           });
  };
  if (is("comma")) return Format::Comma;
  if (is("tilde")) return Format::Tilde;
  return std::nullopt;
}

const char* FormatName(Format format) { return format == Format::Comma ? "comma" : "tilde"; }

size_t BatchLimit(Format format) { return format == Format::Comma ? 800 : 60; }

namespace {

constexpr uint16_t kSH = quotes::kMarketShanghai, kSZ = quotes::kMarketShenzhen, kBJ = kMarketBeijing;

// The exchanges' code allocation by leading digits; the longest prefix
// that matches wins. Sources:
//  [A] Shanghai Stock Exchange, "证券代码分配规则", 2007-05-28 (published by
//      China Securities Journal / finance.sina.com.cn 2007-05-29) and its
//      2009-08-10 revision: first digit 0 treasuries/indexes, 1 bonds,
//      2 repos (204 the pledged treasury repo), 5 funds, 6 A shares, 9 B
//      shares; 1xx: 100/110/112/113 convertibles, 120/129 enterprise bonds,
//      121 asset-backed, 126 separable convertibles.
//  [B] Shanghai Stock Exchange, "证券交易业务指南第4号——证券代码段分配指南"
//      (2024 second revision, notice 上证函〔2024〕1724号, 2024-07-02): first
//      digit 0 indexes and treasuries, 1 bonds, 2 bonds, repos and bond
//      lending, 5 funds, REITs and warrants, 6 A shares and depositary
//      receipts, 9 B shares.
//  [C] Shenzhen ranges as summarised by a market-data developer
//      (blog.youkuaiyun.com/ljemailbox/article/details/94774049, "代码规则",
//      about 2019): 00 A shares, 10/11 bonds, 12 convertibles, 13 repos,
//      15/16/18 funds, 20 B shares, 39 indexes; Shenzhen Stock Exchange,
//      notice opening the 003000-004999 A-share range, 2019-01-11.
//  [D] Shenzhen convertibles by board: 123 ChiNext, 127 main board, 128 the
//      former SME board (cnq.net, "可转债代码是什么开头的", 2022); 125/126
//      the earlier main-board ones (yd166.com, 2025-05-27).
//  [E] Beijing: 4xxxxx and 8xxxxx (codes carried over from the NEEQ), 92xxxx
//      for newer listings, as the recorded answers' notes give them (no
//      notice of the exchange found).
// Unconfirmed (no allocation table of either exchange found for them):
// Shanghai 111/115/118 (taken as Shanghai: its newer main-board and STAR
// convertibles and corporate bonds), Shenzhen 112/114/119 (corporate,
// small and private placement bonds, asset-backed), 120 (taken as
// Shenzhen's exchangeable bonds, though [A] gives Shanghai enterprise bonds
// 120 in 2007), 14x/17x/19x.
struct PrefixRule {
  const char* prefix;
  uint16_t market;
};
constexpr PrefixRule kPrefixRules[] = {
    {"0", kSZ},                                                              // [C] 000-004 A shares
    {"01", kSH},    {"02", kSH},                                             // [A][B] treasuries
    {"1", kSZ},                                                              // [C]
    {"10", kSZ},                                                             // [C] treasuries, local bonds
    {"11", kSH},                                                             // [A] 110/113, 111/115/118
    {"112", kSZ},   {"114", kSZ},   {"119", kSZ},                            // [C] Shenzhen bonds
    {"12", kSH},                                                             // [A] 122/124/129 bonds
    {"120", kSZ},   {"123", kSZ},   {"125", kSZ},   {"126", kSZ},           // [C][D]
    {"127", kSZ},   {"128", kSZ},                                            // [D] convertibles
    {"13", kSH},    {"131", kSZ},                                            // [C] 131xxx repos
    {"14", kSH},    {"140", kSZ},   {"148", kSZ},   {"149", kSZ},            // unconfirmed
    {"15", kSZ},    {"16", kSZ},    {"18", kSZ},                             // [C] funds
    {"17", kSH},    {"19", kSH},                                             // unconfirmed
    {"2", kSH},     {"20", kSZ},    {"204", kSH},                            // [B]; [C] B shares; [A] repos
    {"3", kSZ},                                                              // [C] 30 ChiNext, 39 indexes
    {"4", kBJ},     {"8", kBJ},     {"92", kBJ},                             // [E]
    {"5", kSH},     {"6", kSH},     {"9", kSH},                              // [A][B]
};

}  // namespace

uint16_t MarketByPrefix(std::string_view code) {
  if (code.size() != 6) return 0;
  if (code.substr(0, 3) == "1A0") return quotes::kMarketShanghai;  // the program's Shanghai index codes
  for (char c : code)
    if (!IsDigit(c)) return 0;
  uint16_t market = 0;
  size_t longest = 0;
  for (const PrefixRule& rule : kPrefixRules) {
    const std::string_view prefix(rule.prefix);
    if (prefix.size() > longest && code.substr(0, prefix.size()) == prefix) market = rule.market, longest = prefix.size();
  }
  return market;
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

ParseResult ParseComma(std::string_view body) { return ParseLines(body, "var hq_str_", kShortestComma, ReadComma); }

ParseResult ParseTilde(std::string_view body) { return ParseLines(body, "v_", kShortestTilde, ReadTilde); }

ParseResult ParseAnswer(Format format, std::string_view body) {
  return format == Format::Comma ? ParseComma(body) : ParseTilde(body);
}

namespace {

void Append(std::string& out, const char* fmt, double v) {
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, fmt, v);
  if (n > 0) out.append(buf, static_cast<size_t>(std::min<int>(n, sizeof buf - 1)));
}
std::string Text(const char* fmt, double v) {
  std::string s;
  Append(s, fmt, v);
  return s;
}

// The day's price band of a board around the previous close, in percent:
// STAR (688/689) and ChiNext (300/301) 20, Beijing 30, other boards 10
// (risk-warned stocks' narrower band is not modelled); 0 for indexes.
int BandPercent(std::string_view symbol) {
  if (IsIndexSymbol(symbol)) return 0;
  if (IsStarSymbol(symbol) || Starts(symbol, "sz300") || Starts(symbol, "sz301")) return 20;
  if (Starts(symbol, "bj")) return 30;
  return 10;
}
// A limit price: the previous close (read to the tenth of a fen it is
// quoted in) moved by the band, rounded half up to the fen.
double LimitPrice(float prevClose, int percent) {
  const long long mills = std::llround(static_cast<double>(prevClose) * 1000);
  return static_cast<double>((mills * (100 + percent) + 500) / 1000) / 100;
}

// The tilde format's type field of a symbol's board.
const char* TildeType(std::string_view symbol) {
  if (IsIndexSymbol(symbol)) return "ZS";
  if (IsStarSymbol(symbol)) return "GP-A-KCB";
  if (Starts(symbol, "sz300") || Starts(symbol, "sz301")) return "GP-A-CYB";
  if (Starts(symbol, "bj")) return "GP";
  if (Starts(symbol, "sh5") || Starts(symbol, "sz159")) return "ETF";
  if (Starts(symbol, "sz16")) return "LOF";
  return "GP-A";
}

constexpr size_t kTildeFieldCount = 88;  // the count the service sends in 2026

}  // namespace

// The shapes the services send (see the layouts above and the recorded
// answers): a report with no newest price has not traded today and is sent
// as the services send a suspended security (comma: every price 0 but the
// previous close, status 03; tilde: the previous close as its newest price,
// volume 0, status S), or, without a previous close either, as a delisted
// one (tilde: status D, stamped 09:00:00, limits -1). A report with a
// price but no volume is sent as it is (and reads back as not traded).
void AppendAnswerLine(std::string& out, Format format, std::string_view symbol, const TQuoteReport& r) {
  const base::DateTimeParts t = base::DecodeDateTime(base::QuoteTimeToDateTime(r.quoteTime));
  const bool traded = r.newestPrice > 0;
  Levels l = LevelsOf(r);
  if (!traded) l = Levels{};
  const std::string_view name = base::FixedTextView(r.name);
  const double volume = traded ? r.volume : 0, amount = traded ? r.amount : 0;
  const float price = traded ? r.newestPrice : 0, open = traded ? r.open : 0, high = traded ? r.high : 0,
              low = traded ? r.low : 0;
  char stamp[32];
  if (format == Format::Comma) {
    // Shanghai indexes count their volume in lots of 100, everything else in shares.
    const double lot = Starts(symbol, "sh000") ? 100 : 1;
    out += "var hq_str_";
    out += symbol;
    out += "=\"";
    out += name;
    for (float v : {open, r.prevClose, price, high, low, l.bid[0], l.ask[0]}) Append(out, ",%.3f", v);
    Append(out, ",%.0f", std::round(volume / lot));
    Append(out, ",%.3f", amount);
    for (size_t i = 0; i < 5; ++i) Append(out, ",%.0f", l.bidVol[i]), Append(out, ",%.3f", l.bid[i]);
    for (size_t i = 0; i < 5; ++i) Append(out, ",%.0f", l.askVol[i]), Append(out, ",%.3f", l.ask[i]);
    std::snprintf(stamp, sizeof stamp, ",%04d-%02d-%02d,%02d:%02d:%02d,%s", t.year % 10000, t.month % 100,
                  t.day % 100, t.hour % 100, t.minute % 100, t.second % 100, traded ? "00" : "03");
    out += stamp;
    // What follows the status: Beijing's six more fields (their meaning is
    // not known: sent empty); from 15:34:45 on, the `D|volume|amount` field
    // of stocks and funds; else Shanghai's trailing comma.
    const bool evening = t.hour * 3600 + t.minute * 60 + t.second >= 15 * 3600 + 34 * 60 + 45;
    if (Starts(symbol, "bj")) {
      out += ",,,,,,";
    } else if (evening && !IsIndexSymbol(symbol)) {
      Append(out, ",D|%.0f", volume);
      Append(out, "|%.3f", amount);
    } else if (Starts(symbol, "sh")) {
      out += ',';
    }
    out += "\";\n";
    return;
  }
  // STAR counts shares, every other board lots of 100.
  const double lot = IsStarSymbol(symbol) ? 1 : 100;
  const bool delisted = !traded && !(r.prevClose > 0);
  const int band = BandPercent(symbol);
  std::string f[kTildeFieldCount];
  f[0] = Starts(symbol, "sh") ? "1" : Starts(symbol, "bj") ? "62" : "51";
  f[1] = std::string(name);
  f[2] = std::string(symbol.substr(2));
  f[3] = Text("%.3f", traded ? price : r.prevClose);  // untraded: the previous close
  f[4] = Text("%.3f", r.prevClose);
  f[5] = Text("%.3f", open);
  const double lots = std::round(volume / lot);
  f[6] = Text("%.0f", lots);
  f[7] = Text("%.0f", std::floor(lots / 2));  // outer and inner volume: not carried, split evenly
  f[8] = Text("%.0f", lots - std::floor(lots / 2));
  for (size_t i = 0; i < 5; ++i) {
    f[9 + 2 * i] = Text("%.3f", l.bid[i]), f[10 + 2 * i] = Text("%.0f", std::round(l.bidVol[i] / lot));
    f[19 + 2 * i] = Text("%.3f", l.ask[i]), f[20 + 2 * i] = Text("%.0f", std::round(l.askVol[i] / lot));
  }
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", t.year % 10000, t.month % 100, t.day % 100,
                delisted ? 9 : t.hour % 100, delisted ? 0 : t.minute % 100, delisted ? 0 : t.second % 100);
  f[30] = stamp;
  const double change = traded ? price - r.prevClose : 0;
  f[31] = Text("%.3f", change);
  f[32] = Text("%.2f", r.prevClose > 0 ? change / r.prevClose * 100 : 0.0);
  f[33] = Text("%.3f", high);
  f[34] = Text("%.3f", low);
  f[35] = Text("%.3f", traded ? price : r.prevClose) + Text("/%.0f", lots) + Text("/%.0f", amount);
  f[36] = f[6];
  f[37] = Text("%.0f", amount / 10000);
  f[40] = traded ? "" : delisted ? "D" : "S";
  f[41] = f[33], f[42] = f[34];
  f[43] = Text("%.2f", r.prevClose > 0 ? (high - low) / r.prevClose * 100 : 0.0);
  const bool limits = band > 0 && !delisted;
  f[47] = limits ? Text("%.2f", LimitPrice(r.prevClose, band)) : "-1";
  f[48] = limits ? Text("%.2f", LimitPrice(r.prevClose, -band)) : "-1";
  f[51] = Text("%.3f", volume > 0 ? amount / volume : 0.0);  // average price
  f[57] = Text("%.4f", amount / 10000);
  f[61] = TildeType(symbol);
  out += "v_";
  out += symbol;
  out += "=\"";
  for (size_t i = 0; i < kTildeFieldCount; ++i) {
    if (i) out += '~';
    out += f[i];
  }
  out += "\";\n";
}

}  // namespace engine
