// Key and mouse synthesis: the key-string notation of SendKeys, the plain
// value typing of the order scripts, and forcing a window to the front.
// All input is system-wide: whatever window has the focus receives it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "trading/desktop_port.h"

namespace trading {

// A text that should have been a number ("'abc' is not a valid integer value").
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The integer of a step or key-string argument; EConvertError when the text
// is not one.
int32_t StrToInt(std::string_view text);

// The largest repeat count of a brace group ("{TAB 3}"). A count beyond it
// is cut to it, and a negative count presses nothing, so that a mistyped
// profile cannot flood the trading program with key presses.
constexpr int kMaxRepeatCount = 100;

// The caption of the module's message boxes and their texts.
inline constexpr const char* kSendKeysCaption = "SendKeys";
inline constexpr const char* kInvalidKeyName = "Invalid Key Name";
inline constexpr const char* kInvalidKeyNameChar = "Invalid KeyName";
inline constexpr const char* kNoClose = "No Close";

// The virtual-key code of a key name ("ENTER", "F1", "BKSP", ...), already
// upper-cased; kNoKey for a name the table does not hold.
uint16_t KeyNameCode(std::string_view name);

// Types `keys` in the key notation ("+{TAB}", "^(ac)", "{LEFT 3}", "~", ...),
// a byte string in the system's ANSI code page. With `wait`, every key
// event is followed by dispatching the calling thread's keyboard messages.
// False for an empty string or a brace group without its "}" (the message
// "No Close" is shown then); a non-numeric repeat count raises EConvertError.
bool SendKeys(IDesktop& desktop, std::string_view keys, bool wait);

// Types a plain field value: a "." as the keypad decimal key, every other
// byte as the virtual key of the same value (digits and upper-case letters).
void TypeValue(IDesktop& desktop, std::string_view text);

// Brings a top-level window to the foreground; true when it is there afterwards.
bool ForceForeground(IDesktop& desktop, WindowHandle window);

}  // namespace trading
