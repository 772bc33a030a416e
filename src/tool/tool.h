// quorvel-tool: a command-line companion for users and tests. Each command
// lives in its own source file and is registered in the table of
// tool_commands.cpp.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "quotes/quote_tape.h"

namespace tool {

using Args = std::vector<std::string>;

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;    // the work could not be completed
constexpr int kExitBadInput = 2;  // bad arguments or input files; nothing was written

struct Command {
  const char* name;
  const char* usage;    // the arguments after the name
  const char* summary;
  int (*run)(const Args& args, std::ostream& out, std::ostream& err);
};

// The registered commands.
const std::vector<Command>& Commands();

// The lines of a quote tape file, a day tape or CSV as its bytes show;
// nullopt after a message on `err` when it is neither.
std::optional<std::vector<quotes::TapeLine>> ReadTapeFile(const std::string& path, std::string_view bytes,
                                                          std::ostream& err);

// Runs the tool with the arguments after the program name (UTF-8).
int Main(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace tool
