// The registry adapter of the autostart port: the value "quorvel" under
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run, or under
// the same key of HKEY_CURRENT_USER when the machine's key cannot be written.
#pragma once

#include <memory>

#include "settings/autostart.h"

namespace settings {

std::unique_ptr<IAutostartStore> CreateRegistryAutostart();

}  // namespace settings
