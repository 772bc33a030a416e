// order: places one order into the user's trading program through a
// trading profile, as the program does when a monitor fires.
#pragma once

#include <ostream>

#include "tool/tool.h"
#include "trading/desktop_port.h"

namespace tool {

// The command on a given desktop (null: none, as on Linux).
int RunOrderOn(const Args& args, trading::IDesktop* desktop, std::ostream& out, std::ostream& err);

// The command on the system's desktop.
int RunOrder(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace tool
