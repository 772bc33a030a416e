#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "base/files.h"
#include "support/temp_dir.h"

using namespace base;
using testing_support::TempDir;

TEST(Files, AppendLineCreatesThenAppendsWithCrLf) {
  TempDir dir;
  const std::string path = dir.File("trade.log");
  EXPECT_FALSE(FileExists(path));
  ASSERT_TRUE(AppendLine(path, "first"));
  ASSERT_TRUE(AppendLine(path, "\xD6\xD0 second"));
  EXPECT_EQ(ReadFileBytes(path), "first\r\n\xD6\xD0 second\r\n");
}

TEST(Files, AppendToAMissingFolderFailsWithAReason) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(AppendLine(dir.File("missing/x.log"), "x", &error));
  EXPECT_NE(error.find("x.log"), std::string::npos);
}

TEST(Files, AtomicReplaceSwapsContentsAndLeavesNoTemporary) {
  TempDir dir;
  const std::string path = dir.File("policy.tmp");
  ASSERT_TRUE(AtomicReplace(path, "old contents"));
  ASSERT_TRUE(AtomicReplace(path, "new"));
  EXPECT_EQ(ReadFileBytes(path), "new");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(Files, FailedReplaceKeepsThePreviousFile) {
  TempDir dir;
  const std::string path = dir.File("policy.tmp");
  ASSERT_TRUE(AtomicReplace(path, "precious"));
  // A folder where the temporary file should go makes the write fail.
  std::filesystem::create_directory(PathFromUtf8(path + ".new~"));
  std::string error;
  EXPECT_FALSE(AtomicReplace(path, "lost?", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadFileBytes(path), "precious");
}

TEST(Files, ChinesePathsWork) {
  TempDir dir;
  const std::string path = dir.File("交易记录.log");
  ASSERT_TRUE(AtomicReplace(path, "x"));
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(ReadFileBytes(path), "x");
  EXPECT_EQ(ReadFileBytes(dir.File("没有.log")), std::nullopt);
}

TEST(Files, AFolderReadsAsNoFile) {
  TempDir dir;
  EXPECT_EQ(ReadFileBytes(PathToUtf8(dir.path())), std::nullopt);
  EXPECT_FALSE(FileExists(PathToUtf8(dir.path())));
}

#ifndef _WIN32
// A write that stops part way (here at a file-size limit, as on a full disk)
// leaves no fragment for the next line to be glued onto, and says it failed.
TEST(Files, AnAppendThatFailsPartWayIsCutBackAndReported) {
  TempDir dir;
  const std::string path = dir.File("trade.log");
  ASSERT_TRUE(AppendLine(path, "first"));

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 7 + 10;  // "first\r\n" and ten bytes of the next line
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  std::string error;
  const bool written = AppendLine(path, "second line, longer than the room left", &error);
  const auto cut = ReadFileBytes(path);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(written);
  EXPECT_NE(error.find("trade.log"), std::string::npos) << error;
  EXPECT_EQ(cut, "first\r\n");
  ASSERT_TRUE(AppendLine(path, "third"));
  EXPECT_EQ(ReadFileBytes(path), "first\r\nthird\r\n");
}
#endif
