// The process-wide state that several subsystems read: one instance, owned
// by the main window and handed by reference to the parts that need it.
// All of it is read and written on the main thread only.
#pragma once

#include <string>

namespace app {

struct ProcessFlags {
  bool loggedIn = false;
  bool closing = false;
  // Set while an order script runs; the monitor loop skips every monitor.
  bool orderInProgress = false;
  // Set while the anti-lock refresh sends its key; the monitor loop does nothing.
  bool windowRefresh = false;
  // The identifier the user logged in with; empty before the first login.
  std::string userId;
};

}  // namespace app
