// Test helpers: a private temporary folder and paths into the source tree.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/files.h"
#include "support/source_dir.h"

namespace testing_support {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("qv-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // A UTF-8 path of a file inside the folder.
  std::string File(const std::string& name) const { return base::PathToUtf8(path_ / base::PathFromUtf8(name)); }

 private:
  std::filesystem::path path_;
};

// A file of the source tree.
inline std::string SourcePath(const std::string& relative) {
#ifdef _WIN32
  return std::string("Z:") + QvSourceDir() + "/" + relative;
#else
  return std::string(QvSourceDir()) + "/" + relative;
#endif
}

}  // namespace testing_support
