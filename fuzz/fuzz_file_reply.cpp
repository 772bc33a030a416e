// The file server's list replies come from the network and their names
// become file names: splitting must survive any bytes, and a name the
// dialog accepts must never reach outside the settings folder.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/gbk.h"
#include "settings/unt_fileclient.h"
#include "settings/unt_frmsetting.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const std::string& name : settings::SplitReplyLines(bytes)) {
    if (name.empty() || name.find('\n') != std::string::npos) __builtin_trap();
    if (!settings::IsSafeProfileName(name)) continue;
    if (name.find_first_of("/\\:") != std::string::npos || name.find("..") != std::string::npos) __builtin_trap();
    // The request carries the name, cut to its field but always terminated.
    const std::string request = settings::MakeFileRequest(settings::TFileCommand::Download, name);
    if (request.size() != 88 || request.back() != '\0') __builtin_trap();
  }
  return 0;
}
