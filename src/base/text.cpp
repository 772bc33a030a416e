#include "base/text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace base {

std::string_view TrimLeft(std::string_view text) {
  size_t b = 0;
  while (b < text.size() && static_cast<unsigned char>(text[b]) <= 0x20) ++b;
  return text.substr(b);
}

std::string_view TrimRight(std::string_view text) {
  size_t e = text.size();
  while (e > 0 && static_cast<unsigned char>(text[e - 1]) <= 0x20) --e;
  return text.substr(0, e);
}

std::string_view Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

std::string FormatFixed(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  // 17 significant digits identify a double exactly enough; the rounding
  // is then done on those decimal digits.
  char sci[64];
  const auto res = std::to_chars(sci, sci + sizeof sci, std::fabs(value), std::chars_format::scientific, 16);
  const std::string_view s(sci, static_cast<size_t>(res.ptr - sci));
  const size_t e = s.find('e');
  std::string digits;
  digits += s[0];
  digits += s.substr(2, e - 2);
  const int exponent = std::atoi(std::string(s.substr(e + 1)).c_str());
  // digits[k] has weight 10^(exponent - k). Keep the digits of weight >= 10^-decimals.
  const int keep = exponent + 1 + decimals;  // number of digits kept
  std::string kept;
  bool roundUp = false;
  if (keep <= 0) {
    roundUp = keep == 0 && digits[0] >= '5';
  } else if (keep < static_cast<int>(digits.size())) {
    kept = digits.substr(0, static_cast<size_t>(keep));
    roundUp = digits[static_cast<size_t>(keep)] >= '5';
  } else {
    kept = digits + std::string(static_cast<size_t>(keep) - digits.size(), '0');
  }
  // `kept` now holds the value times 10^decimals as an integer digit string.
  if (roundUp) {
    int k = static_cast<int>(kept.size()) - 1;
    while (k >= 0 && kept[static_cast<size_t>(k)] == '9') kept[static_cast<size_t>(k--)] = '0';
    if (k >= 0) {
      ++kept[static_cast<size_t>(k)];
    } else {
      kept.insert(kept.begin(), '1');
    }
  }
  if (kept.size() < static_cast<size_t>(decimals) + 1)
    kept.insert(0, static_cast<size_t>(decimals) + 1 - kept.size(), '0');
  const bool zero = kept.find_first_not_of('0') == std::string::npos;
  std::string out;
  if (value < 0 && !zero) out += '-';
  out += kept.substr(0, kept.size() - static_cast<size_t>(decimals));
  if (decimals > 0) {
    out += '.';
    out += kept.substr(kept.size() - static_cast<size_t>(decimals));
  }
  return out;
}

std::optional<int32_t> ParseInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true, ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true, i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  uint64_t value = 0;
  const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    if (value > limit) return std::nullopt;
  }
  uint32_t bits = static_cast<uint32_t>(value);
  if (negative) bits = 0u - bits;
  return static_cast<int32_t>(bits);
}

int32_t StrToIntDef(std::string_view text, int32_t defaultValue) {
  return ParseInteger(text).value_or(defaultValue);
}

namespace {
bool AllDigits(std::string_view s, bool hex) {
  if (s.empty()) return false;
  for (const char c : s) {
    const bool digit = (c >= '0' && c <= '9') ||
                       (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    if (!digit) return false;
  }
  return true;
}
}  // namespace

int32_t ReadIntegerText(std::string_view text, int32_t defaultValue) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    const std::string_view digits = text.substr(2);
    if (!AllDigits(digits, true)) return defaultValue;
    return StrToIntDef("$" + std::string(digits), defaultValue);
  }
  const size_t start = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (!AllDigits(text.substr(start), false)) return defaultValue;
  return StrToIntDef(text, defaultValue);
}

std::optional<double> ParseDecimal(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  if (text[0] == '+') text.remove_prefix(1);
  double v = 0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return std::nullopt;
  return v;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace base
