// The log appends against other handles of the same file, as Windows shares
// it: readers do not hold a writer up, another writer does, briefly or until
// the write is given up and reported.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/unt_logs.h"
#include "base/datetime.h"
#include "base/files.h"
#include "base/gbk.h"
#include "support/temp_dir.h"

using testing_support::TempDir;

namespace {

HANDLE Open(const std::string& path, DWORD access, DWORD share) {
  const std::u16string wide = base::Utf8ToUtf16(path);
  return CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), access, share, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

TEST(LogAppendWin, ReadersShareTheFileAndAnotherWriterIsWaitedForThenReported) {
  TempDir dir;
  const std::string path = dir.File("2012-05-18.log");
  ASSERT_TRUE(base::AppendLine(path, "first"));

  // A reader that lets writers in (as the viewer or an editor reading the log).
  const HANDLE reader = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(base::AppendLine(path, "second"));
  CloseHandle(reader);

  // While our writer holds the file, nobody else can open it for writing.
  // Another writer holding it on: the line is given up with a reason.
  const HANDLE writer = Open(path, GENERIC_WRITE, FILE_SHARE_READ);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  std::string error;
  EXPECT_FALSE(base::AppendLine(path, "lost?", &error));
  EXPECT_NE(error.find("locked"), std::string::npos) << error;
  // The same writer letting go after a moment: the line waits and lands.
  std::thread release([writer] {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    CloseHandle(writer);
  });
  EXPECT_TRUE(base::AppendLine(path, "third"));
  release.join();
  EXPECT_EQ(base::ReadFileBytes(path), "first\r\nsecond\r\nthird\r\n");

  // Emptying follows the same rules and keeps the file.
  EXPECT_TRUE(base::TruncateFile(path));
  EXPECT_EQ(base::ReadFileBytes(path), "");
  EXPECT_FALSE(base::TruncateFile(dir.File("missing.log")));
}

TEST(LogAppendWin, TheSystemShortDatePatternNamesTheOrderStepLog) {
  const std::string pattern = app::SystemShortDatePattern();
  ASSERT_FALSE(pattern.empty());
  const std::string name = app::OrderStepLogFileName("u1001", pattern, base::EncodeDate(2012, 5, 8));
  EXPECT_EQ(name.rfind("u1001", 0), 0u);
  EXPECT_NE(name.find("12"), std::string::npos) << name;
  EXPECT_EQ(name.find('/'), std::string::npos) << name;
  // The name is usable as a file in log\.
  TempDir dir;
  EXPECT_TRUE(base::AppendLine(dir.File(name), "x")) << name;
}
