#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/files.h"

namespace base::detail {

bool PlatformReplace(const std::filesystem::path& from, const std::filesystem::path& to,
                     std::string* error) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    if (error) *error = "cannot replace " + to.string() + ": " + std::strerror(errno);
    return false;
  }
  // Make the rename itself durable.
  const int dir = ::open(to.has_parent_path() ? to.parent_path().c_str() : ".", O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

std::FILE* PlatformOpenAppendDenyWrite(const std::filesystem::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return nullptr;
  // Advisory on Linux; keeps the program's own writers in turn.
  ::flock(::fileno(f), LOCK_EX);
  return f;
}

bool PlatformSync(std::FILE* file) { return ::fsync(::fileno(file)) == 0; }

std::FILE* PlatformOpenRead(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }

std::optional<uint64_t> PlatformFileSize(std::FILE* file) {
  struct stat st;
  if (::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

}  // namespace base::detail
