// quorvel-tool: a command-line companion for users and tests. Each command
// lives in its own source file and is registered in the table of
// tool_commands.cpp.
#pragma once

#include <ostream>
#include <string>
#include <vector>

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

// Runs the tool with the arguments after the program name (UTF-8).
int Main(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace tool
