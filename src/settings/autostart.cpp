#include "settings/autostart.h"

namespace settings {

std::string AutostartCommand(std::string_view applicationFolder) {
  return std::string(applicationFolder) + "quorvel.exe";
}

bool AutostartIsOn(IAutostartStore& store) {
  const auto value = store.Read();
  return value && !value->empty();
}

}  // namespace settings
