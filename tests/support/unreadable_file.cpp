#include "support/unreadable_file.h"

#include <filesystem>

#include "base/files.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace testing_support {

UnreadableFile::UnreadableFile(const std::string& path) : path_(path) {
  std::error_code error;
  size_ = std::filesystem::file_size(base::PathFromUtf8(path), error);
  if (error) return;
#ifdef _WIN32
  HANDLE h = CreateFileW(base::PathFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  handle_ = h;
#else
  std::filesystem::resize_file(base::PathFromUtf8(path), uintmax_t{1} << 40, error);
  if (error) return;
#endif
  made_ = true;
}

void UnreadableFile::Release(const std::string& movedTo) {
  if (!made_) return;
  made_ = false;
#ifdef _WIN32
  (void)movedTo;
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
#else
  std::error_code error;
  std::filesystem::resize_file(base::PathFromUtf8(movedTo.empty() ? path_ : movedTo), size_, error);
#endif
}

}  // namespace testing_support
