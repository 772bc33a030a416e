// The daily log and the order-step log: file names, line formats, GBK with
// CR LF, the login rule, the 3007 send, and writers that meet a locked file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/unt_logs.h"
#include "base/datetime.h"
#include "base/files.h"
#include "base/gbk.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

using namespace app;
using testing_support::TempDir;

namespace {

struct FakeSender : IMessageSender {
  bool connected = true;
  std::vector<std::string> sent;  // "user|text"
  std::function<void()> onSend;
  bool Connected() override { return connected; }
  void SendText(const std::string& userId, const std::string& text) override {
    sent.push_back(userId + "|" + text);
    if (onSend) onSend();
  }
};

struct LogsFixture : ::testing::Test {
  TempDir dir;
  ProcessFlags flags;
  FakeSender sender;
  base::TDateTime now = base::EncodeDateTime(2012, 5, 18, 10, 31, 7);
  TLogWriters logs{base::PathToUtf8(dir.path()), flags, &sender, [this] { return now; }, "yyyy/M/d"};

  LogsFixture() {
    std::filesystem::create_directories(dir.path() / "log");
    flags.loggedIn = true;
    flags.userId = "u1001";
  }
  std::string LogFile(const std::string& name) {
    return base::GbkToUtf8Lossy(base::ReadFileBytes(dir.File("log/" + name)).value_or("<missing>"));
  }
  int FilesInLog() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path() / "log")) ++n;
    return n;
  }
};

}  // namespace

TEST_F(LogsFixture, DailyLogAppendsPerDaySendsFirstAndStartsANewFileAfterMidnight) {
  // The send comes before the line reaches the file.
  std::vector<bool> fileExistedAtSend;
  sender.onSend = [&] { fileExistedAtSend.push_back(base::FileExists(dir.File("log/2012-05-18.log"))); };
  ASSERT_TRUE(logs.WriteDailyLog("  关联交易软件失败！ \t"));
  now = base::EncodeDateTime(2012, 5, 18, 23, 59, 59);
  ASSERT_TRUE(logs.WriteDailyLog("晒股 600000"));
  EXPECT_EQ(LogFile("2012-05-18.log"),
            "2012-05-18 10:31:07[u1001]关联交易软件失败！\r\n"
            "2012-05-18 23:59:59[u1001]晒股 600000\r\n");
  EXPECT_EQ(fileExistedAtSend, (std::vector<bool>{false, true}));
  // The text goes out as given; only the file line is trimmed.
  EXPECT_EQ(sender.sent, (std::vector<std::string>{"u1001|  关联交易软件失败！ \t", "u1001|晒股 600000"}));
  // The bytes are GBK.
  EXPECT_EQ(base::ReadFileBytes(dir.File("log/2012-05-18.log"))->substr(19, 7), "[u1001]");
  EXPECT_EQ(base::ReadFileBytes(dir.File("log/2012-05-18.log"))->substr(26, 4), "\xB9\xD8\xC1\xAA");

  now = base::EncodeDateTime(2012, 5, 19, 0, 0, 1);
  ASSERT_TRUE(logs.WriteDailyLog("新的一天"));
  EXPECT_EQ(LogFile("2012-05-19.log"), "2012-05-19 00:00:01[u1001]新的一天\r\n");
  EXPECT_EQ(FilesInLog(), 2);
}

TEST_F(LogsFixture, DailyLogWithoutFileOnlySendsAndNeedsTheConnectionToSend) {
  ASSERT_TRUE(logs.WriteDailyLog("只发送", false));
  EXPECT_EQ(sender.sent, (std::vector<std::string>{"u1001|只发送"}));
  EXPECT_EQ(FilesInLog(), 0);

  sender.connected = false;
  ASSERT_TRUE(logs.WriteDailyLog("只写文件"));
  EXPECT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(LogFile("2012-05-18.log"), "2012-05-18 10:31:07[u1001]只写文件\r\n");

  // No message connection at all is the same as a closed one.
  TLogWriters unconnected(base::PathToUtf8(dir.path()), flags, nullptr, [this] { return now; }, "yyyy/M/d");
  ASSERT_TRUE(unconnected.WriteDailyLog("second"));
  EXPECT_EQ(LogFile("2012-05-18.log"), "2012-05-18 10:31:07[u1001]只写文件\r\n2012-05-18 10:31:07[u1001]second\r\n");
}

TEST_F(LogsFixture, LoggedOutTheDailyLogDoesNothingButTheOrderStepLogIsWritten) {
  flags.loggedIn = false;
  EXPECT_TRUE(logs.WriteDailyLog("不该出现"));
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_EQ(FilesInLog(), 0);

  now = base::EncodeDateTime(2012, 5, 8, 9, 30, 0);
  ASSERT_TRUE(logs.WriteOrderStepLog("Warning", " 缺少交易类型！ "));
  ASSERT_TRUE(logs.WriteOrderStepLog("Step", "F1"));
  // "yyyy/M/d" gives 2012/5/8, and "/" becomes "-".
  EXPECT_EQ(LogFile("u10012012-5-8.log"),
            "2012-05-08 09:30:00[u1001][Warning]缺少交易类型！\r\n"
            "2012-05-08 09:30:00[u1001][Step]F1\r\n");
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_EQ(FilesInLog(), 1);
}

TEST(LogNames, ShortDatePatternsAndFileNames) {
  const base::TDateTime d = base::EncodeDate(2009, 3, 7);
  EXPECT_EQ(FormatShortDate("yyyy/M/d", d), "2009/3/7");
  EXPECT_EQ(FormatShortDate("yyyy-MM-dd", d), "2009-03-07");
  EXPECT_EQ(FormatShortDate("dd.MM.yy", d), "07.03.09");
  EXPECT_EQ(FormatShortDate("M/d/y", d), "3/7/09");
  EXPECT_EQ(FormatShortDate("yyyy'年'M'月'd'日'", d), "2009年3月7日");
  EXPECT_EQ(FormatShortDate("d 'de' MMM 'o''clock'", d), "7 de 03 o'clock");
  EXPECT_EQ(DailyLogFileName(d + base::EncodeTime(23, 59, 59)), "2009-03-07.log");
  EXPECT_EQ(OrderStepLogFileName("", "yyyy/M/d", d), "2009-3-7.log");
  // Nothing in the user identifier or the pattern can lead out of log\.
  EXPECT_EQ(OrderStepLogFileName("..\\..\\x", "yyyy/M/d", d), "..-..-x2009-3-7.log");
  EXPECT_EQ(OrderStepLogFileName("a:b", "d\\M\\yyyy", d), "a-b7-3-2009.log");
  EXPECT_FALSE(SystemShortDatePattern().empty());
}

TEST_F(LogsFixture, AMissingLogFolderIsReportedToTheCaller) {
  std::filesystem::remove_all(dir.path() / "log");
  std::string error;
  EXPECT_FALSE(logs.WriteDailyLog("x", true, &error));
  EXPECT_NE(error.find("2012-05-18.log"), std::string::npos);
  EXPECT_FALSE(logs.WriteOrderStepLog("Warning", "x", &error));
  EXPECT_NE(error.find("u10012012-5-18.log"), std::string::npos);
}

#ifndef _WIN32
// (The Windows share-mode lock has its own test under Wine.)
TEST_F(LogsFixture, AWriterWaitsBrieflyForAnotherWriterAndThenReportsFailure) {
  const std::string path = logs.DailyLogPath(now);
  ASSERT_TRUE(logs.WriteDailyLog("first"));
  const int holder = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  // Held on: the line is refused, and the caller hears it.
  std::string error;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(logs.WriteDailyLog("second", true, &error));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200));
  EXPECT_NE(error.find("locked"), std::string::npos);
  // Held for a moment only: the line waits and lands.
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ::flock(holder, LOCK_UN);
  });
  EXPECT_TRUE(logs.WriteDailyLog("third"));
  release.join();
  ::close(holder);
  EXPECT_EQ(LogFile("2012-05-18.log"), "2012-05-18 10:31:07[u1001]first\r\n2012-05-18 10:31:07[u1001]third\r\n");
}
#endif
