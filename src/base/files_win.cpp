#include <windows.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <sys/types.h>

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

std::FILE* PlatformOpenRead(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"rb"); }

std::optional<uint64_t> PlatformFileSize(std::FILE* file) {
  struct _stat64 st;
  if (_fstat64(_fileno(file), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG || st.st_size < 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

}  // namespace base::detail
