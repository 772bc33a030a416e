// Trace files on Linux: O_APPEND makes each write land whole at the end.
#include <fcntl.h>
#include <unistd.h>

#include "plugin/push/unt_pushports.h"

namespace push {

bool AppendFileBinary(const std::string& pathUtf8, std::string_view bytes) {
  const int fd = ::open(pathUtf8.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  return ::close(fd) == 0 && written;
}

}  // namespace push
