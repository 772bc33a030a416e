#include "trading/unt_launcher.h"

#include <filesystem>
#include <system_error>

#include "base/files.h"

namespace trading {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

bool FolderExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(base::PathFromUtf8(path), ec);
}

}  // namespace

bool LaunchOrderProgram(std::string& orderProgram, const std::string& applicationFolder,
                        const StartProgramFn& start) {
  if (!orderProgram.empty() && base::FileExists(orderProgram)) return start(orderProgram);
  const std::string xiadan = applicationFolder + kXiadanFolder;
  const std::string kv = applicationFolder + kKvFolder;
  if (FolderExists(xiadan)) orderProgram = xiadan + kSeparator + kXiadanProgram;
  else if (FolderExists(kv)) orderProgram = kv + kSeparator + kKvProgram;
  if (!orderProgram.empty() && base::FileExists(orderProgram)) return start(orderProgram);
  return false;
}

}  // namespace trading
