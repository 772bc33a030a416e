// The "开机启动" choice: a value under the machine's Run key of the
// registry, named "quorvel", whose data is the program's full path. The
// settings dialog reads and changes it through this port; the Win32 build
// provides the registry adapter (autostart_win.h).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace settings {

inline constexpr char kAutostartValueName[] = "quorvel";
inline constexpr char kAutostartKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Raised when the Run key opened for writing but the value could not be set or removed.
class EAutostartException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IAutostartStore {
 public:
  virtual ~IAutostartStore() = default;
  // The value's data; nullopt when the key or the value cannot be read.
  virtual std::optional<std::string> Read() = 0;
  // Opens the Run key for writing, then writes `command` as the value (on)
  // or removes the value (off; a value that is already absent is fine).
  // False, with nothing changed, when the key cannot be opened for writing.
  virtual bool Apply(bool on, std::string_view command) = 0;
};

// The value's data for a program in `applicationFolder` (with its trailing separator).
std::string AutostartCommand(std::string_view applicationFolder);

// "开机启动" is shown ticked when the value can be read and is not empty.
bool AutostartIsOn(IAutostartStore& store);

}  // namespace settings
