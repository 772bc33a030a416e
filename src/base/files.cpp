#include "base/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <system_error>

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
  const std::optional<size_t> got = ReadFileInto(path, [&](size_t size) -> void* {
    bytes.resize(size);
    return bytes.data();
  });
  if (!got) return std::nullopt;
  bytes.resize(*got);
  return bytes;
}

bool AppendToFile(const std::string& path, std::string_view bytes, std::string* error) {
  std::FILE* f = detail::PlatformOpenAppendDenyWrite(PathFromUtf8(path));
  if (!f) {
    SetError(error, "cannot open " + path + ": " + std::strerror(errno));
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    SetError(error, "cannot write " + path);
    return false;
  }
  return true;
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
