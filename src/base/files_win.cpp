#include <windows.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <string>

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

LockedWrite PlatformLockedWrite(const std::filesystem::path& path, std::string_view bytes, bool create,
                                bool truncate, std::string* error) {
  const auto fail = [&](const char* what, DWORD code) {
    if (error) *error = std::string("cannot ") + what + " " + PathToUtf8(path) + " (error " + std::to_string(code) + ")";
    return LockedWrite::kFailed;
  };
  // Readers may look at the file meanwhile; other writers wait their turn.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return LockedWrite::kBusy;
    return fail("open", code);
  }
  LockedWrite result = LockedWrite::kDone;
  LARGE_INTEGER zero{};
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, zero, &start, truncate ? FILE_BEGIN : FILE_END)) {
    result = fail("seek in", GetLastError());
  } else if (truncate) {
    if (!SetEndOfFile(file)) result = fail("empty", GetLastError());
  } else {
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
        result = fail("write", GetLastError());
        // A part of the bytes may be in: cut back to where they began, so
        // the next append does not continue a fragment.
        if ((!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) && error)
          *error += "; a part was left, cutting it off failed";
        break;
      }
      done += written;
    }
  }
  CloseHandle(file);
  return result;
}

bool PlatformSync(std::FILE* file) { return _commit(_fileno(file)) == 0; }

std::FILE* PlatformOpenRead(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"rb"); }

std::FILE* PlatformOpenWrite(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"wb"); }

std::optional<uint64_t> PlatformFileSize(std::FILE* file) {
  struct _stat64 st;
  if (_fstat64(_fileno(file), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG || st.st_size < 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

}  // namespace base::detail
