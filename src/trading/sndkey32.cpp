#include "trading/sndkey32.h"

#include <algorithm>
#include <utility>

#include "base/text.h"

namespace trading {

namespace {

struct KeyName {
  const char* name;
  uint8_t code;
};

constexpr KeyName kKeyNames[] = {
    {"BKSP", 0x08},  {"BS", 0x08},         {"BACKSPACE", 0x08}, {"BREAK", 0x03},  {"CAPSLOCK", 0x14},
    {"CLEAR", 0x0C}, {"DEL", 0x2E},        {"DELETE", 0x2E},    {"DOWN", 0x28},   {"END", 0x23},
    {"ENTER", 0x0D}, {"ESC", 0x1B},        {"ESCAPE", 0x1B},    {"F1", 0x70},     {"F10", 0x79},
    {"F11", 0x7A},   {"F12", 0x7B},        {"F13", 0x7C},       {"F14", 0x7D},    {"F15", 0x7E},
    {"F16", 0x7F},   {"F2", 0x71},         {"F3", 0x72},        {"F4", 0x73},     {"F5", 0x74},
    {"F6", 0x75},    {"F7", 0x76},         {"F8", 0x77},        {"F9", 0x78},     {"HELP", 0x2F},
    {"HOME", 0x24},  {"INS", 0x2D},        {"LEFT", 0x25},      {"NUMLOCK", 0x90}, {"PGDN", 0x22},
    {"PGUP", 0x21},  {"PRTSC", 0x2A},      {"RIGHT", 0x27},     {"SCROLLLOCK", 0x91}, {"TAB", 0x09},
    {"UP", 0x26},
};
static_assert(std::size(kKeyNames) == 41);

// Page up/down, end, home, the arrows, insert and delete sit on the
// extended part of the keyboard and need the extended-key flag.
bool IsExtendedKey(uint8_t code) { return (code >= 0x21 && code <= 0x28) || code == 0x2D || code == 0x2E; }

// Longest brace name kept; the rest of a longer name is dropped.
constexpr size_t kMaxKeyNameLength = 20;

// One SendKeys call: the wait flag, the group flag and the pending modifiers.
class KeySender {
 public:
  KeySender(IDesktop& desktop, bool wait) : desktop_(desktop), wait_(wait) {}

  bool Send(std::string_view keys) {
    size_t i = 0;
    while (i < keys.size()) {
      const char c = keys[i];
      switch (c) {
        case '+':
          PressModifier(shift_, kVkShift);
          ++i;
          break;
        case '^':
          PressModifier(ctrl_, kVkControl);
          ++i;
          break;
        case '%':
          PressModifier(alt_, kVkMenu);
          ++i;
          break;
        case '(':
          group_ = true;
          ++i;
          break;
        case ')':
          group_ = false;
          ReleasePendingModifiers();
          ++i;
          break;
        case '~':
          PressKey(kVkReturn, 1, true);
          ReleasePendingModifiers();
          ++i;
          break;
        case '{':
          if (!BraceGroup(keys, i)) return false;
          break;
        default: {
          const uint16_t keyCode = desktop_.KeyForChar(c);
          if (keyCode == kNoKey) {
            desktop_.ShowMessageBox(kInvalidKeyNameChar, kSendKeysCaption);
          } else {
            PressWithShiftState(keyCode, 1, true);
            ReleasePendingModifiers();
          }
          ++i;
        }
      }
    }
    ReleasePendingModifiers();
    return true;
  }

 private:
  // `i` is at the "{"; on return it is past the group. False for "No Close".
  bool BraceGroup(std::string_view keys, size_t& i) {
    if (i + 1 < keys.size() && keys[i + 1] == '{') {  // "{{}": a left brace
      PressWithShiftState(0x1DB, 1, true);
      ReleasePendingModifiers();
      i = std::min(keys.size(), i + 3);
      return true;
    }
    const size_t close = keys.find('}', i + 1);
    if (close == std::string_view::npos) {
      desktop_.ShowMessageBox(kNoClose, kSendKeysCaption);
      return false;
    }
    std::string name(keys.substr(i + 1, std::min(close - i - 1, kMaxKeyNameLength)));
    for (char& ch : name) {
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    i = close + 1;
    if (i < keys.size() && keys[i] == '}') {  // "{}}": a right brace
      PressWithShiftState(0x1DD, 1, true);
      ReleasePendingModifiers();
      ++i;
      return true;
    }
    int count = 1;
    if (const size_t blank = name.find(' '); blank != std::string::npos) {
      count = std::clamp(StrToInt(std::string_view(name).substr(blank + 1)), 0, kMaxRepeatCount);
      name.resize(blank);
    }
    uint16_t keyCode;
    if (name.size() == 1) {
      keyCode = desktop_.KeyForChar(name[0]);  // unmappable: skipped silently
    } else {
      keyCode = KeyNameCode(name);
      if (keyCode == kNoKey) desktop_.ShowMessageBox(kInvalidKeyName, kSendKeysCaption);
    }
    if (keyCode != kNoKey) {
      PressWithShiftState(keyCode, count, true);
      ReleasePendingModifiers();
    }
    return true;
  }

  void KeyEvent(uint8_t code, uint8_t scan, uint32_t flags) {
    desktop_.KeybdEvent(code, scan, flags);
    if (wait_) desktop_.PumpKeyboardMessages();
  }

  uint8_t ScanCode(uint8_t code) { return static_cast<uint8_t>(desktop_.ScanCodeOf(code) & 0xFF); }

  void PressKey(uint8_t code, int count, bool withRelease) {
    if (code == kVkNumLock) {
      // Flipped in the keyboard state, without a key event.
      const bool on = (desktop_.GetKeyState(kVkNumLock) & 1) != 0;
      KeyboardState state = desktop_.GetKeyboardState();
      state[kVkNumLock] = static_cast<uint8_t>(on ? state[kVkNumLock] & ~1 : state[kVkNumLock] | 1);
      desktop_.SetKeyboardState(state);
      return;
    }
    const uint8_t scan = ScanCode(code);
    const uint32_t flags = IsExtendedKey(code) ? kKeyEventExtendedKey : 0;
    for (int n = 0; n < count; ++n) {
      KeyEvent(code, scan, flags);
      if (withRelease) KeyEvent(code, scan, flags | kKeyEventKeyUp);
    }
  }

  void ReleaseKey(uint8_t code) { KeyEvent(code, ScanCode(code), kKeyEventKeyUp); }

  void PressModifier(bool& pending, uint8_t code) {
    pending = true;
    PressKey(code, 1, false);
  }

  void PressWithShiftState(uint16_t keyCode, int count, bool withRelease) {
    const uint8_t state = static_cast<uint8_t>(keyCode >> 8);
    if (state & 1) PressKey(kVkShift, 1, false);
    if (state & 2) PressKey(kVkControl, 1, false);
    if (state & 4) PressKey(kVkMenu, 1, false);
    PressKey(static_cast<uint8_t>(keyCode & 0xFF), count, withRelease);
    if (state & 1) ReleaseKey(kVkShift);
    if (state & 2) ReleaseKey(kVkControl);
    if (state & 4) ReleaseKey(kVkMenu);
  }

  void ReleasePendingModifiers() {
    if (group_) return;
    if (shift_) ReleaseKey(kVkShift);
    if (ctrl_) ReleaseKey(kVkControl);
    if (alt_) ReleaseKey(kVkMenu);
    shift_ = ctrl_ = alt_ = false;
  }

  IDesktop& desktop_;
  const bool wait_;
  bool group_ = false;
  bool shift_ = false;
  bool ctrl_ = false;
  bool alt_ = false;
};

}  // namespace

int32_t StrToInt(std::string_view text) {
  if (const auto value = base::ParseInteger(text)) return *value;
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

uint16_t KeyNameCode(std::string_view name) {
  for (const KeyName& entry : kKeyNames) {
    if (name == entry.name) return entry.code;
  }
  return kNoKey;
}

bool SendKeys(IDesktop& desktop, std::string_view keys, bool wait) {
  if (keys.empty()) return false;
  return KeySender(desktop, wait).Send(keys);
}

void TypeValue(IDesktop& desktop, std::string_view text) {
  for (const char c : text) {
    const uint8_t code = c == '.' ? kVkDecimal : static_cast<uint8_t>(c);
    desktop.KeybdEvent(code, 0, 0);
    desktop.KeybdEvent(code, 0, kKeyEventKeyUp);
  }
}

bool ForceForeground(IDesktop& desktop, WindowHandle window) {
  if (desktop.IsIconic(window)) desktop.ShowWindow(window, kSwRestore);
  if (desktop.ForegroundWindow() == window) return true;

  // Windows lets a thread take the foreground only when its input is
  // joined to the foreground thread's; otherwise lift the foreground lock.
  const uint32_t windowThread = desktop.WindowThreadId(window);
  const uint32_t foregroundThread = desktop.WindowThreadId(desktop.ForegroundWindow());
  bool done = false;
  if (desktop.AttachThreadInput(windowThread, foregroundThread, true)) {
    desktop.BringWindowToTop(window);
    desktop.SetForegroundWindow(window);
    desktop.AttachThreadInput(windowThread, foregroundThread, false);
    done = desktop.ForegroundWindow() == window;
  }
  if (!done) {
    const uint32_t timeout = desktop.ForegroundLockTimeout();
    desktop.SetForegroundLockTimeout(0);
    desktop.BringWindowToTop(window);
    desktop.SetForegroundWindow(window);
    desktop.SetForegroundLockTimeout(timeout);
  }
  return desktop.ForegroundWindow() == window;
}

}  // namespace trading
