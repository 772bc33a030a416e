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

LockedWrite PlatformLockedWrite(const std::filesystem::path& path, std::string_view bytes, bool create,
                                bool truncate, std::string* error) {
  const auto fail = [&](const char* what) {
    if (error) *error = std::string("cannot ") + what + " " + path.string() + ": " + std::strerror(errno);
    return LockedWrite::kFailed;
  };
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
  if (fd < 0) return fail("open");
  // Advisory on Linux; keeps the program's own writers in turn.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    const LockedWrite result = busy ? LockedWrite::kBusy : fail("lock");
    ::close(fd);
    return result;
  }
  LockedWrite result = LockedWrite::kDone;
  off_t start = -1;
  if (truncate) {
    if (::ftruncate(fd, 0) != 0) result = fail("empty");
  } else if (start = ::lseek(fd, 0, SEEK_END); start < 0) {
    result = fail("seek in");
  } else {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        result = fail("write");
        // A part of the bytes may be in: cut back to where they began, so
        // the next append does not continue a fragment.
        if (::ftruncate(fd, start) != 0 && error) *error += "; a part was left, cutting it off failed";
        break;
      }
      done += static_cast<size_t>(n);
    }
  }
  if (::close(fd) != 0 && result == LockedWrite::kDone) result = fail("close");
  return result;
}

bool PlatformSync(std::FILE* file) { return ::fsync(::fileno(file)) == 0; }

std::FILE* PlatformOpenRead(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }

std::FILE* PlatformOpenWrite(const std::filesystem::path& path) { return std::fopen(path.c_str(), "wb"); }

std::optional<uint64_t> PlatformFileSize(std::FILE* file) {
  struct stat st;
  if (::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

}  // namespace base::detail
