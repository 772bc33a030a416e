#include <windows.h>
#include <io.h>
#include <share.h>

#include <cstdio>

#include "base/files.h"

namespace base::detail {

bool PlatformReplace(const std::filesystem::path& from, const std::filesystem::path& to,
                     std::string* error) {
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (error) *error = "cannot replace " + PathToUtf8(to) + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return true;
}

std::FILE* PlatformOpenAppendDenyWrite(const std::filesystem::path& path) {
  return _wfsopen(path.c_str(), L"ab", _SH_DENYWR);
}

bool PlatformSync(std::FILE* file) { return _commit(_fileno(file)) == 0; }

}  // namespace base::detail
