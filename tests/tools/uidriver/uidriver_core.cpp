#include "tools/uidriver/uidriver_core.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <thread>

namespace uidriver {

namespace {

// What a command accepts. Options not listed are refused, so that a typo in
// a scenario script fails loudly instead of being ignored.
struct CommandRule {
  const char* name;
  std::set<std::string> options;  // value options
  std::set<std::string> flags;    // options without a value
  size_t words;                   // exact count of words after the options
  bool needsTarget;               // --window or --title
  std::vector<std::vector<std::string>> required;  // each: at least one of
};

const std::set<std::string> kNumberOptions = {"window", "pid", "timeout-ms", "index", "id", "column", "to-id", "hold-ms"};

std::set<std::string> With(std::set<std::string> base, std::initializer_list<std::string> more) {
  base.insert(more);
  return base;
}

const std::set<std::string> kTarget = {"window", "title", "class", "pid", "timeout-ms"};
const std::set<std::string> kControl = With(kTarget, {"index", "id"});

const std::vector<CommandRule>& Commands() {
  static const std::vector<CommandRule> commands = {
      {"wait-window", {"title", "class", "pid", "timeout-ms"}, {"exact"}, 0, false, {{"title"}}},
      {"wait-gone", kTarget, {"exact"}, 0, true, {}},
      {"windows", {"title", "class", "pid"}, {"exact"}, 0, false, {}},
      {"children", With(kTarget, {"until"}), {"exact"}, 0, true, {}},
      {"listview", With(kControl, {"until"}), {"exact"}, 0, true, {}},
      {"statusbar", With(kControl, {"until"}), {"exact"}, 0, true, {}},
      {"toolbar", With(kControl, {"until"}), {"exact"}, 0, true, {}},
      {"tabs", With(kControl, {"until"}), {"exact"}, 0, true, {}},
      {"click", With(kTarget, {"text", "id"}), {"exact"}, 0, true, {{"text", "id"}}},
      {"toolbar-click", With(kControl, {"text"}), {"exact"}, 0, true, {{"text"}}},
      {"listview-select", With(kControl, {"column"}), {"exact"}, 1, true, {}},
      {"listview-dblclick", With(kControl, {"column"}), {"exact"}, 1, true, {}},
      {"listview-rclick", With(kControl, {"column"}), {"exact"}, 1, true, {}},
      {"tab-select", With(kControl, {"text"}), {"exact"}, 0, true, {{"text"}}},
      {"statusbar-click", kControl, {"exact"}, 1, true, {}},
      {"keys", With(kTarget, {"id"}), {"exact"}, 1, true, {}},
      {"key", With(kTarget, {"id"}), {"exact"}, 1, true, {}},
      {"set-text", With(kTarget, {"id"}), {"exact"}, 1, true, {{"id"}}},
      {"close", kTarget, {"exact"}, 0, true, {}},
      {"raise", kTarget, {"exact"}, 0, true, {}},
      {"command", With(kTarget, {"id"}), {"exact"}, 0, true, {{"id"}}},
      {"drag", With(kTarget, {"id", "to-title", "to-id", "to-text", "hold-ms"}), {"exact"}, 0, true,
       {{"id"}, {"to-title"}}},
      {"dialog", {"title", "class", "pid", "timeout-ms", "until"}, {"exact"}, 0, false, {{"title"}}},
      {"answer", {"title", "class", "pid", "timeout-ms", "button"}, {"exact"}, 0, false, {{"title"}, {"button"}}},
  };
  return commands;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string Invocation::Get(const std::string& name, const std::string& fallback) const {
  const auto it = options.find(name);
  return it == options.end() ? fallback : it->second;
}

std::optional<int64_t> Invocation::Number(const std::string& name) const {
  const auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return ParseNumber(it->second);
}

std::optional<int64_t> ParseNumber(std::string_view text) {
  int base = 10;
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 16) return std::nullopt;
  int64_t value = 0;
  for (const char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return std::nullopt;
    value = value * base + digit;
  }
  return negative ? -value : value;
}

std::optional<Invocation> Parse(const std::vector<std::string>& args, std::string* error) {
  auto fail = [error](std::string reason) -> std::optional<Invocation> {
    *error = std::move(reason);
    return std::nullopt;
  };
  if (args.empty()) return fail("no command");
  const auto& commands = Commands();
  const auto command = std::find_if(commands.begin(), commands.end(),
                                 [&](const CommandRule& c) { return args[0] == c.name; });
  if (command == commands.end()) return fail("unknown command \"" + args[0] + "\"");

  Invocation out;
  out.command = args[0];
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // Words may follow options; "--" ends the options so that a word may
    // itself begin with "--".
    if (arg == "--") {
      out.words.insert(out.words.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      const std::string name = arg.substr(2);
      if (command->flags.count(name)) {
        out.options[name] = "";
      } else if (command->options.count(name)) {
        if (i + 1 >= args.size()) return fail("--" + name + " needs a value");
        const std::string& value = args[++i];
        if (kNumberOptions.count(name) && !ParseNumber(value)) return fail("--" + name + " needs a number, not \"" + value + "\"");
        out.options[name] = value;
      } else {
        return fail(out.command + " has no option --" + name);
      }
      continue;
    }
    out.words.push_back(arg);
  }
  if (out.words.size() != command->words)
    return fail(out.command + " takes " + std::to_string(command->words) + " argument(s) after its options, got " +
                std::to_string(out.words.size()));
  if (command->needsTarget && !out.Has("window") && !out.Has("title"))
    return fail(out.command + " needs --window HANDLE or --title TEXT");
  for (const auto& oneOf : command->required) {
    if (std::none_of(oneOf.begin(), oneOf.end(), [&](const std::string& name) { return out.Has(name); })) {
      std::string names;
      for (const auto& name : oneOf) names += (names.empty() ? "--" : " or --") + name;
      return fail(out.command + " needs " + names);
    }
  }
  if (const auto timeout = out.Number("timeout-ms"); timeout && *timeout < 0) return fail("--timeout-ms must not be negative");
  return out;
}

const char* Usage() {
  return R"usage(qv-uidriver: reads and works the windows of another program, as a user would.
One command per run. Output: UTF-8 lines, fields separated by tabs (tab, CR, LF
and backslash inside a field written as \t \r \n \\). Rectangles are screen
coordinates "left,top,right,bottom". Exit 0 on success, 2 when the window or
control was not found (or --until was not met) within the time-out, 1 on any
other error; the reason goes to stderr.

Finding a window (every command that needs one waits for it, polling every 50 ms):
  --window HANDLE          a handle as printed by the driver (0x...)
  --title TEXT [--exact]   a visible top-level window whose caption contains TEXT (equals it with --exact)
  --class NAME --pid PID   narrow the search (PID is the Windows process id the driver prints)
  --timeout-ms N           how long to wait (default 10000)
Finding a control inside it: --index N (the Nth control of the kind, from 0, default 0) or --id ID.
--until TEXT makes a reading command read again until its output contains TEXT.

Commands:
  wait-window --title TEXT            window  HANDLE PID CLASS CAPTION RECT
  wait-gone   --window H|--title T    waits until that window is closed or hidden
  windows [--pid N] [--title T]       window  ... for each visible top-level window
  children    --window H|--title T    child   HANDLE PARENT ID CLASS TEXT VISIBLE ENABLED RECT (all descendants)
  listview    ... [--index N|--id ID] columns N / column INDEX CAPTION WIDTH ALIGN /
                                      rows N / row INDEX STATE IMAGE CELL... / images INDEX IMAGE-PER-COLUMN...
  statusbar   ...                     parts N / pane INDEX RIGHT-EDGE TEXT
  toolbar     ...                     buttons N / button INDEX ID TEXT ENABLED CHECKED (separator INDEX)
  tabs        ...                     tabs N SELECTED / tab INDEX CAPTION SELECTED
  tab-select  ... --text CAPTION      clicks that tab
  statusbar-click ... PANE            left click in the middle of that status bar pane (from 0)
  click       ... --text TEXT|--id ID clicks a button among the window's controls (BM_CLICK)
  toolbar-click ... --text TEXT       presses a toolbar button (WM_COMMAND to the toolbar's owner)
  listview-select   ... ROW           left click on the row (mouse messages at the row's rectangle;
                                      --column C clicks that column's cell instead of the first)
  listview-dblclick ... ROW           double click on the row
  listview-rclick   ... ROW           right click on the row
  keys ... [--id ID] TEXT             types TEXT (WM_CHAR) into the focused control or control ID
  key  ... [--id ID] KEY              presses a key (WM_KEYDOWN/UP): Escape, Enter, Tab, F1..F24, Up, A, 0x70...
  drag ... --id ID --to-title T [--to-id ID2|--to-text TEXT] [--hold-ms N]
                                      presses the mouse on control ID, moves the pointer in steps onto
                                      the target control (or window T itself) and releases it there
                                      after N ms (mouse messages to the pressed control, which holds
                                      the capture; the pointer moves as a user's would)
  set-text ... --id ID TEXT           replaces the text of control ID (WM_SETTEXT), as a paste would; no key events
  close       ...                     asks the window to close (WM_CLOSE)
  raise       ...                     restores the window when minimised and brings it to the top and the foreground
  command     ... --id ID             chooses the menu item ID (WM_COMMAND posted to the window); menus
                                      cannot be read from another process under Wine, their items can be chosen
  dialog --title TEXT [--class C]     dialog HANDLE PID CLASS TITLE, then static TEXT / button ID TEXT ENABLED /
                                      edit ID TEXT / control CLASS ID TEXT; class #32770 unless --class
  answer --title TEXT --button TEXT   clicks that button of the dialog ("是", "是(&Y)" and "&Yes" match
                                      as a user reads them) and waits until the dialog is gone
Button, tab and toolbar texts given to click, toolbar-click and answer match as a user reads them:
"&" markers and suffixes such as "(&Y)" or "[&S]" do not count.
)usage";
}

bool CaptionMatches(std::string_view caption, std::string_view wanted, bool exact) {
  return exact ? caption == wanted : caption.find(wanted) != std::string_view::npos;
}

std::string PlainCaption(std::string_view caption) {
  caption = TrimBlanks(caption);
  // "(&Y)", "(Y)", "[&S]": an accelerator written after a Chinese caption.
  for (const auto& [open, close] : {std::pair{'(', ')'}, std::pair{'[', ']'}}) {
    const size_t n = caption.size();
    if (n >= 3 && caption[n - 1] == close) {
      const bool amp = n >= 4 && caption[n - 4] == open && caption[n - 3] == '&';
      const bool bare = caption[n - 3] == open;
      const unsigned char key = static_cast<unsigned char>(caption[n - 2]);
      if ((amp || bare) && std::isalnum(key)) {
        caption.remove_suffix(amp ? 4 : 3);
        break;
      }
    }
  }
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') out += '&', ++i;
      continue;
    }
    out += caption[i];
  }
  return std::string(TrimBlanks(out));
}

bool ButtonMatches(std::string_view caption, std::string_view wanted) {
  return PlainCaption(caption) == PlainCaption(wanted);
}

std::string Record(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) line += '\t';
    for (const char c : fields[i]) {
      switch (c) {
        case '\\': line += "\\\\"; break;
        case '\t': line += "\\t"; break;
        case '\r': line += "\\r"; break;
        case '\n': line += "\\n"; break;
        default: line += c;
      }
    }
  }
  line += '\n';
  return line;
}

std::optional<unsigned> VirtualKey(std::string_view name) {
  // Values of the Windows virtual-key codes, so that this file needs no
  // Windows header.
  static const std::map<std::string, unsigned> names = {
      {"backspace", 0x08}, {"back", 0x08},    {"tab", 0x09},      {"enter", 0x0D},    {"return", 0x0D},
      {"shift", 0x10},     {"control", 0x11}, {"ctrl", 0x11},     {"alt", 0x12},      {"menu", 0x12},
      {"pause", 0x13},     {"escape", 0x1B},  {"esc", 0x1B},      {"space", 0x20},    {"pageup", 0x21},
      {"prior", 0x21},     {"pagedown", 0x22}, {"next", 0x22},    {"end", 0x23},      {"home", 0x24},
      {"left", 0x25},      {"up", 0x26},      {"right", 0x27},    {"down", 0x28},     {"insert", 0x2D},
      {"delete", 0x2E},    {"del", 0x2E},     {"apps", 0x5D},     {"multiply", 0x6A}, {"add", 0x6B},
      {"subtract", 0x6D},  {"decimal", 0x6E}, {"divide", 0x6F},
  };
  if (name.empty()) return std::nullopt;
  const std::string key = Lower(name);
  if (const auto it = names.find(key); it != names.end()) return it->second;
  if (key.size() == 1 && std::isalnum(static_cast<unsigned char>(key[0])))
    return static_cast<unsigned>(std::toupper(static_cast<unsigned char>(key[0])));
  if (key.size() >= 2 && key[0] == 'f') {
    if (const auto n = ParseNumber(key.substr(1)); n && *n >= 1 && *n <= 24 && key.substr(1, 2) != "0x")
      return static_cast<unsigned>(0x70 + *n - 1);
  }
  if (key.size() >= 6 && key.compare(0, 6, "numpad") == 0 && key.size() == 7 && std::isdigit(static_cast<unsigned char>(key[6])))
    return static_cast<unsigned>(0x60 + (key[6] - '0'));
  if (key.compare(0, 2, "0x") == 0) {
    if (const auto n = ParseNumber(key); n && *n > 0 && *n < 0xFF) return static_cast<unsigned>(*n);
  }
  return std::nullopt;
}

bool PollUntil(const std::function<bool()>& probe, std::chrono::milliseconds timeout,
               std::chrono::milliseconds interval) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (probe()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(interval, deadline - now));
  }
}

}  // namespace uidriver
