#include "base/files.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace base {
namespace {

void SetError(std::string* error, const std::string& what) {
  if (error) *error = what;
}

}  // namespace

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(PathFromUtf8(path), ec);
}

std::optional<size_t> ReadFileInto(const std::string& path, const PlaceBytes& place) {
  std::FILE* f = detail::PlatformOpenRead(PathFromUtf8(path));
  if (!f) return std::nullopt;
  std::optional<size_t> result;
  const std::optional<uint64_t> size = detail::PlatformFileSize(f);
  if (size && *size <= SIZE_MAX / 2) {
    const auto n = static_cast<size_t>(*size);
    void* dst = place(n);
    // One read for the whole file: the store and the INI files are read at
    // start, and a read per record or per byte costs far more than the copy.
    const size_t got = n == 0 ? 0 : std::fread(dst, 1, n, f);
    if (got == n || !std::ferror(f)) result = got;
  }
  std::fclose(f);
  return result;
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::string bytes;
  try {
    const std::optional<size_t> got = ReadFileInto(path, [&](size_t size) -> void* {
      bytes.resize(size);
      return bytes.data();
    });
    if (!got) return std::nullopt;
    bytes.resize(*got);
  } catch (const std::bad_alloc&) {
    // A file larger than the memory left is as unreadable as a missing one.
    return std::nullopt;
  } catch (const std::length_error&) {
    return std::nullopt;
  }
  return bytes;
}

namespace {

// Another writer holds a log only for one line, so a short wait is enough;
// past it the caller hears of the failure instead of the line being lost
// unnoticed.
constexpr int kBusyAttempts = 25;
constexpr auto kBusyPause = std::chrono::milliseconds(20);

bool LockedWriteWithRetry(const std::string& path, std::string_view bytes, bool create, bool truncate,
                          std::string* error) {
  const std::filesystem::path p = PathFromUtf8(path);
  for (int attempt = 0;; ++attempt) {
    std::string reason;
    switch (detail::PlatformLockedWrite(p, bytes, create, truncate, &reason)) {
      case detail::LockedWrite::kDone:
        return true;
      case detail::LockedWrite::kFailed:
        SetError(error, reason);
        return false;
      case detail::LockedWrite::kBusy:
        if (attempt + 1 >= kBusyAttempts) {
          SetError(error, path + " is locked by another writer");
          return false;
        }
        std::this_thread::sleep_for(kBusyPause);
        break;
    }
  }
}

}  // namespace

bool AppendToFile(const std::string& path, std::string_view bytes, std::string* error) {
  return LockedWriteWithRetry(path, bytes, true, false, error);
}

bool TruncateFile(const std::string& path, std::string* error) {
  return LockedWriteWithRetry(path, {}, false, true, error);
}

bool AppendLine(const std::string& path, std::string_view line, std::string* error) {
  std::string bytes(line);
  bytes += "\r\n";
  return AppendToFile(path, bytes, error);
}

bool AtomicReplace(const std::string& path, std::string_view bytes, std::string* error) {
  const std::filesystem::path target = PathFromUtf8(path);
  std::filesystem::path temp = target;
  temp += ".new~";
  std::FILE* f = nullptr;
#ifdef _WIN32
  f = _wfopen(temp.c_str(), L"wb");
#else
  f = std::fopen(temp.c_str(), "wb");
#endif
  if (!f) {
    SetError(error, "cannot create " + PathToUtf8(temp) + ": " + std::strerror(errno));
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fflush(f) == 0 && ok;
  ok = ok && detail::PlatformSync(f);
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    SetError(error, "cannot write " + PathToUtf8(temp) + " (disk full?)");
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    return false;
  }
  if (!detail::PlatformReplace(temp, target, error)) {
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace base
