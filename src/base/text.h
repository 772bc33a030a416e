// Small text helpers shared by the whole program: its trim, its number
// formatting and its integer reading.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace base {

// Removes every character with a code up to 0x20 (blanks and control
// characters) from both ends; bytes of 0x80 and above are kept.
std::string_view Trim(std::string_view text);
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);

// Fixed-point text with `decimals` digits, rounded half away from zero on
// the value's decimal expansion to 17 significant digits, so that the same
// value gives the same text on every platform. FormatPrice is the program's
// "%.3f" / "0.000". A value that rounds to zero has no minus sign.
std::string FormatFixed(double value, int decimals);
inline std::string FormatPrice(double value) { return FormatFixed(value, 3); }

// A whole integer text: optional leading blanks, an optional sign, then
// decimal digits, or hexadecimal digits after "$" or "0x"/"0X". Anything
// else, trailing characters included, or a value outside 32 bits is nullopt.
// Hexadecimal takes the full 32 bits ("$FFFFFFFF" is -1).
std::optional<int32_t> ParseInteger(std::string_view text);
int32_t StrToIntDef(std::string_view text, int32_t defaultValue);

// The settings files' integer rule: decimal text, or hexadecimal when the
// text begins "0x"/"0X" and has at least three characters; anything else
// gives the default.
int32_t ReadIntegerText(std::string_view text, int32_t defaultValue);

// Parses a decimal number ("12.5", "-3", ".5"); nullopt for anything else.
std::optional<double> ParseDecimal(std::string_view text);

// ASCII case-insensitive equality.
bool SameTextAscii(std::string_view a, std::string_view b);

}  // namespace base
