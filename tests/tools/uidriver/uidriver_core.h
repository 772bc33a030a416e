// The platform-free half of qv-uidriver: its command line, how it matches
// window and button texts, how it writes records, and key names. The Win32
// half (uidriver_win.cpp) only finds windows and talks to them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace uidriver {

// One invocation: the command, its --options and the words after them.
struct Invocation {
  std::string command;
  std::map<std::string, std::string> options;  // "--title X" -> {"title", "X"}; flags map to ""
  std::vector<std::string> words;               // e.g. the row of listview-select, the text of keys

  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Get(const std::string& name, const std::string& fallback = {}) const;
  // A number option: decimal, or hexadecimal with 0x. nullopt when absent;
  // a malformed value is an error of Parse, never reaches here.
  std::optional<int64_t> Number(const std::string& name) const;
};

// Reads argv (without the program name). Checks that the command exists,
// that every option belongs to it, that number options hold numbers and
// that the right count of words follows. On error returns nullopt and puts
// a one-line reason into *error.
std::optional<Invocation> Parse(const std::vector<std::string>& args, std::string* error);

// The usage text printed without arguments.
const char* Usage();

// A number as the driver reads it: decimal, or hexadecimal after 0x.
std::optional<int64_t> ParseNumber(std::string_view text);

// Window captions: equal, or containing `wanted` unless `exact`.
bool CaptionMatches(std::string_view caption, std::string_view wanted, bool exact);

// A button or tab caption as a user reads it: "&" markers removed ("&&"
// stays one "&"), an accelerator suffix such as "(&Y)" or "[&S]" dropped,
// surrounding blanks trimmed. "是(&Y)" reads "是", "&Yes" reads "Yes".
std::string PlainCaption(std::string_view caption);

// Whether a control's caption is the one a user asked for: the plain
// captions are equal.
bool ButtonMatches(std::string_view caption, std::string_view wanted);

// One output line: fields joined by tabs, each field with backslash,
// tab, CR and LF written as \\, \t, \r and \n, ending in "\n".
std::string Record(const std::vector<std::string>& fields);

// A virtual-key code for a key name ("Escape", "Enter", "F12", "Up", "A",
// "7", "0x70"); case does not matter. nullopt for an unknown name.
std::optional<unsigned> VirtualKey(std::string_view name);

// Calls `probe` now and then every `interval` until it returns true or
// `timeout` has passed; returns the last result. The wait is the only
// pause: a probe that succeeds at once never sleeps.
bool PollUntil(const std::function<bool()>& probe, std::chrono::milliseconds timeout,
               std::chrono::milliseconds interval = std::chrono::milliseconds(50));

}  // namespace uidriver
