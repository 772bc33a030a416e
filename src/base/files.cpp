#include "base/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
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

std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) return std::nullopt;
  try {
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
  } catch (const std::ios_base::failure&) {
    // libstdc++ throws from the buffer when a read fails, e.g. on a folder.
    return std::nullopt;
  }
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
