#include "tool/tool.h"

namespace tool {

int RunPolicyDump(const Args& args, std::ostream& out, std::ostream& err);
int RunReplay(const Args& args, std::ostream& out, std::ostream& err);
int RunOrder(const Args& args, std::ostream& out, std::ostream& err);
int RunTape(const Args& args, std::ostream& out, std::ostream& err);

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"policy-dump", "FILE [--json]", "print the monitors of a policy store, one per line", RunPolicyDump},
      {"replay",
       "--store FILE --tape FILE [--start all|ID]... [--user ID --trade-log FILE] [--save FILE] [--json]",
       "feed a quote tape (CSV or a day tape) through the monitors of a store and print every fire", RunReplay},
      {"tape", "IN OUT", "convert a day tape to a CSV tape, or a CSV tape to a day tape", RunTape},
      {"order", "--profile FILE --side buy|sell --code CODE --price PRICE --qty QTY",
       "place one order into the trading program with a trading profile (Windows)", RunOrder},
  };
  return commands;
}

int Main(const Args& args, std::ostream& out, std::ostream& err) {
  auto usage = [&](std::ostream& to) {
    to << "usage: quorvel-tool COMMAND ...\n";
    for (const Command& c : Commands()) to << "  " << c.name << " " << c.usage << "\n      " << c.summary << "\n";
  };
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    usage(args.empty() ? err : out);
    return args.empty() ? kExitBadInput : kExitOk;
  }
  for (const Command& c : Commands()) {
    if (args[0] == c.name) return c.run(Args(args.begin() + 1, args.end()), out, err);
  }
  err << "quorvel-tool: unknown command \"" << args[0] << "\"\n";
  usage(err);
  return kExitBadInput;
}

}  // namespace tool
