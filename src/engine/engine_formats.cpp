#include "engine_formats.h"

#include <charconv>
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

// A decimal number ("-12.345", "0", ""): empty is 0. False for anything else.
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
    if (digits < 18) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
      if (mantissa) ++digits;
      if (dot) ++fraction;
    } else if (!dot) {
      return false;  // more than 18 integer digits: no price or volume
    }
  }
  if (!any) return false;
  static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9,
                                      1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
  out = static_cast<double>(mantissa) / kPow10[fraction];
  if (negative) out = -out;
  return true;
}

bool Float(std::string_view s, float& out) {
  double d;
  if (!Number(s, d)) return false;
  out = static_cast<float>(d);
  return true;
}

// Fixed-width unsigned digits.
bool Digits(std::string_view s, size_t at, size_t n, int& out) {
  if (at + n > s.size()) return false;
  out = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (!IsDigit(s[i])) return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

bool ValidTime(int y, int mo, int d, int h, int mi, int s) {
  return y >= 1970 && y <= 2100 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h <= 23 && mi <= 59 && s <= 60;
}

// Splits the record's text at `sep`; false when it has more than kMaxFields.
bool Split(std::string_view text, char sep, std::vector<std::string_view>& fields) {
  fields.clear();
  size_t start = 0;
  for (;;) {
    if (fields.size() == kMaxFields) return false;
    size_t end = text.find(sep, start);
    if (end == std::string_view::npos) {
      fields.push_back(text.substr(start));
      return true;
    }
    fields.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

// One record line: <prefix><symbol>="<text>"; with the text found. The
// symbol is two lower-case letters and six characters of digits.
struct Line {
  std::string_view symbol, text;
};

bool IsSymbol(std::string_view s) {
  if (s.size() != 8 || s[0] < 'a' || s[0] > 'z' || s[1] < 'a' || s[1] > 'z') return false;
  for (size_t i = 2; i < 8; ++i)
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
    size_t end = body.find('\n', pos);
    if (end == std::string_view::npos) end = body.size();
    std::string_view line = body.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty()) continue;
    size_t eq = line.find("=\"");
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
  std::vector<std::string_view> f;
  result.ok = ForEachLine(body, "var hq_str_", result.error, [&](const Line& line, size_t number) {
    if (line.text.empty()) return true;  // a symbol the service does not know
    if (!Split(line.text, ',', f) || !(f.size() == kCommaFields || (f.size() == kCommaFields + 1 && f.back().empty()))) {
      result.error = FieldError(number, "unexpected field count");
      return false;
    }
    SourceQuote q;
    q.symbol = std::string(line.symbol);
    TQuoteReport& r = q.report;
    r.recordSize = sizeof r;
    FillName(r, f[0]);
    float bidVol[5], bid[5], askVol[5], ask[5];
    bool ok = Float(f[1], r.open) && Float(f[2], r.prevClose) && Float(f[3], r.newestPrice) && Float(f[4], r.high) &&
              Float(f[5], r.low) && Float(f[8], r.volume) && Float(f[9], r.amount);
    for (size_t i = 0; ok && i < 5; ++i)
      ok = Float(f[10 + 2 * i], bidVol[i]) && Float(f[11 + 2 * i], bid[i]) && Float(f[20 + 2 * i], askVol[i]) &&
           Float(f[21 + 2 * i], ask[i]);
    if (!ok) {
      result.error = FieldError(number, "a number field is not a number");
      return false;
    }
    int y, mo, d, h, mi, s;
    std::string_view date = f[30], time = f[31];
    if (!(date.size() == 10 && date[4] == '-' && date[7] == '-' && Digits(date, 0, 4, y) && Digits(date, 5, 2, mo) &&
          Digits(date, 8, 2, d) && time.size() == 8 && time[2] == ':' && time[5] == ':' && Digits(time, 0, 2, h) &&
          Digits(time, 3, 2, mi) && Digits(time, 6, 2, s) && ValidTime(y, mo, d, h, mi, s))) {
      result.error = FieldError(number, "bad date or time");
      return false;
    }
    r.quoteTime = static_cast<int32_t>(BeijingToUtc(y, mo, d, h, mi, s));
    for (size_t i = 0; i < 3; ++i) {
      r.bidPrice[i] = bid[i];
      r.bidVolume[i] = bidVol[i];
      r.askPrice[i] = ask[i];
      r.askVolume[i] = askVol[i];
    }
    r.bidPrice4 = bid[3], r.bidVolume4 = bidVol[3], r.askPrice4 = ask[3], r.askVolume4 = askVol[3];
    r.bidPrice5 = bid[4], r.bidVolume5 = bidVol[4], r.askPrice5 = ask[4], r.askVolume5 = askVol[4];
    result.quotes.push_back(std::move(q));
    return true;
  });
  if (!result.ok) result.quotes.clear();
  return result;
}

ParseResult ParseTilde(std::string_view body) {
  ParseResult result;
  std::vector<std::string_view> f;
  result.ok = ForEachLine(body, "v_", result.error, [&](const Line& line, size_t number) {
    if (line.text.empty()) return true;
    if (!Split(line.text, '~', f) || f.size() < kTildeMinFields) {
      result.error = FieldError(number, "unexpected field count");
      return false;
    }
    // The code field must be the symbol's: a shifted layout would read wrong prices.
    if (f[2] != line.symbol.substr(2)) {
      result.error = FieldError(number, "the code field is not the record's code");
      return false;
    }
    SourceQuote q;
    q.symbol = std::string(line.symbol);
    TQuoteReport& r = q.report;
    r.recordSize = sizeof r;
    FillName(r, f[1]);
    // Volumes come in lots of 100 shares, the amount in 10,000 yuan.
    double lots, amount, level[20];
    bool ok = Float(f[3], r.newestPrice) && Float(f[4], r.prevClose) && Float(f[5], r.open) && Number(f[6], lots) &&
              Float(f[33], r.high) && Float(f[34], r.low) && Number(f[37], amount);
    for (size_t i = 0; ok && i < 20; ++i) ok = Number(f[9 + i], level[i]);
    if (!ok) {
      result.error = FieldError(number, "a number field is not a number");
      return false;
    }
    r.volume = static_cast<float>(lots * 100);
    r.amount = static_cast<float>(amount * 10000);
    float bid[5], bidVol[5], ask[5], askVol[5];
    for (size_t i = 0; i < 5; ++i) {
      bid[i] = static_cast<float>(level[2 * i]);
      bidVol[i] = static_cast<float>(level[2 * i + 1] * 100);
      ask[i] = static_cast<float>(level[10 + 2 * i]);
      askVol[i] = static_cast<float>(level[10 + 2 * i + 1] * 100);
    }
    int y, mo, d, h, mi, s;
    std::string_view t = f[30];
    if (!(t.size() == 14 && Digits(t, 0, 4, y) && Digits(t, 4, 2, mo) && Digits(t, 6, 2, d) && Digits(t, 8, 2, h) &&
          Digits(t, 10, 2, mi) && Digits(t, 12, 2, s) && ValidTime(y, mo, d, h, mi, s))) {
      result.error = FieldError(number, "bad date or time");
      return false;
    }
    r.quoteTime = static_cast<int32_t>(BeijingToUtc(y, mo, d, h, mi, s));
    for (size_t i = 0; i < 3; ++i) {
      r.bidPrice[i] = bid[i];
      r.bidVolume[i] = bidVol[i];
      r.askPrice[i] = ask[i];
      r.askVolume[i] = askVol[i];
    }
    r.bidPrice4 = bid[3], r.bidVolume4 = bidVol[3], r.askPrice4 = ask[3], r.askVolume4 = askVol[3];
    r.bidPrice5 = bid[4], r.bidVolume5 = bidVol[4], r.askPrice5 = ask[4], r.askVolume5 = askVol[4];
    result.quotes.push_back(std::move(q));
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

struct Levels {
  float bid[5], bidVol[5], ask[5], askVol[5];
};
Levels LevelsOf(const TQuoteReport& r) {
  Levels l{};
  for (size_t i = 0; i < 3; ++i) {
    l.bid[i] = r.bidPrice[i], l.bidVol[i] = r.bidVolume[i], l.ask[i] = r.askPrice[i], l.askVol[i] = r.askVolume[i];
  }
  l.bid[3] = r.bidPrice4, l.bidVol[3] = r.bidVolume4, l.ask[3] = r.askPrice4, l.askVol[3] = r.askVolume4;
  l.bid[4] = r.bidPrice5, l.bidVol[4] = r.bidVolume5, l.ask[4] = r.askPrice5, l.askVol[4] = r.askVolume5;
  return l;
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
