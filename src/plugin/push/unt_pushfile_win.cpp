// Trace files on Windows. Opened for appending only, each write lands whole
// at the end of the file even when other threads write the same file.
#include <windows.h>

#include "base/gbk.h"
#include "plugin/push/unt_pushports.h"

namespace push {

bool AppendFileBinary(const std::string& pathUtf8, std::string_view bytes) {
  const std::u16string wide = base::Utf8ToUtf16(pathUtf8);
  const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

}  // namespace push
