// Day tapes: a file cut off by a killed program reads up to its last whole
// block and the next run goes on after it; CSV and day tapes convert into
// each other without a change and replay alike; old days go, nothing else.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <future>
#include <limits>
#include <sstream>

#include "base/datetime.h"
#include "base/files.h"
#include "quotes/quote_tape.h"
#include "quotes/unt_daytape.h"
#include "quotes/unt_taperecorder.h"
#include "support/policy_fixtures.h"
#include "support/replay_examples.h"
#include "support/temp_dir.h"
#include "tool/tool.h"

using testing_support::TempDir;

namespace {

// Reports with every field set, odd floats among them: a tape gives back
// the very bits.
quotes::TQuoteReport FullReport(const std::string& code, int i) {
  quotes::TQuoteReport r = testing_support::Report(code, 10.0f + 0.01f * static_cast<float>(i));
  quotes::LocalTimeToQuoteTime(2026, 12, 11, 10, 0, 0, r.quoteTime);
  r.quoteTime += 3 * i;
  std::snprintf(r.name, sizeof r.name, "\xC6\xD6\xB7\xA2%d", i % 3);  // GBK, and renamed now and then
  r.prevClose = 9.87f;
  r.open = 10.01f;
  r.high = 10.5f + static_cast<float>(i);
  r.low = -0.0f;
  r.volume = 1e9f + static_cast<float>(i) * 100.0f;
  r.amount = std::numeric_limits<float>::quiet_NaN();
  for (int k = 0; k < 3; ++k) {
    r.bidPrice[k] = r.newestPrice - 0.01f * static_cast<float>(k + 1);
    r.askVolume[k] = static_cast<float>(i * 7 + k);
  }
  r.bidVolume4 = std::numeric_limits<float>::denorm_min();
  r.askPrice5 = std::numeric_limits<float>::infinity();
  return r;
}

bool SameBytes(const quotes::TQuoteReport& a, const quotes::TQuoteReport& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

struct ToolRun {
  int status;
  std::string out, err;
};
ToolRun Tool(const tool::Args& args) {
  std::ostringstream out, err;
  const int status = tool::Main(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace

TEST(DayTape, ACutOffTapeReadsUpToItsLastWholeBlockAndTheNextRunGoesOnAfterIt) {
  TempDir dir;
  const std::string folder = quotes::DayTapesFolder(base::PathToUtf8(dir.path()) + "/");
  base::TDateTime clock = base::EncodeDateTime(2026, 12, 11, 10, 0, 0);
  std::vector<std::string> reports;
  quotes::TDayTapeRecorder::Options options;
  options.folder = folder;
  options.watchedCodes = [] { return std::vector<std::string>{"600000", "000001"}; };
  options.marketClock = [&] { return clock; };
  options.report = [&](const std::string& text) { reports.push_back(text); };
  options.interval = std::chrono::hours(1);  // blocks only on Flush

  std::vector<quotes::TQuoteReport> kept;
  {
    quotes::TDayTapeRecorder recorder(options);
    for (int block = 0; block < 2; ++block) {
      for (int i = 0; i < 40; ++i) {
        const quotes::TQuoteReport r = FullReport(i % 3 == 0 ? "000001" : i % 3 == 1 ? "600000" : "300999", i);
        recorder.Record(r);
        if (i % 3 != 2) kept.push_back(r);
      }
      quotes::TQuoteReport stale = FullReport("600000", block);  // of yesterday, as an engine may pass on
      stale.quoteTime -= 86400;
      recorder.Record(stale);
      recorder.Flush();
    }
  }
  const std::string path = folder + "20261211";
  const auto whole = base::ReadFileBytes(path);
  ASSERT_TRUE(whole);
  const quotes::DayTapeReadResult full = quotes::ReadDayTape(*whole);
  ASSERT_TRUE(full.ok) << full.error;
  ASSERT_FALSE(full.truncated) << full.error;
  ASSERT_EQ(full.lines.size(), kept.size());
  for (size_t i = 0; i < kept.size(); ++i) EXPECT_TRUE(SameBytes(full.lines[i].report, kept[i])) << i;
  EXPECT_EQ(full.day, 20261211u);

  // Killed in the middle of writing the second block.
  std::filesystem::resize_file(base::PathFromUtf8(path), whole->size() - 7);
  const quotes::DayTapeReadResult cut = quotes::ReadDayTapeFile(path);
  ASSERT_TRUE(cut.ok) << cut.error;
  EXPECT_TRUE(cut.truncated);
  const size_t firstBlock = kept.size() / 2;
  ASSERT_EQ(cut.lines.size(), firstBlock);
  for (size_t i = 0; i < firstBlock; ++i) EXPECT_TRUE(SameBytes(cut.lines[i].report, kept[i])) << i;

  // The next run cuts the broken tail off and appends in a chain of its own.
  {
    quotes::TDayTapeRecorder recorder(options);
    recorder.Record(FullReport("600000", 99));
  }
  const quotes::DayTapeReadResult resumed = quotes::ReadDayTapeFile(path);
  ASSERT_TRUE(resumed.ok) << resumed.error;
  EXPECT_FALSE(resumed.truncated) << resumed.error;
  ASSERT_EQ(resumed.lines.size(), firstBlock + 1);
  EXPECT_TRUE(SameBytes(resumed.lines[firstBlock - 1].report, kept[firstBlock - 1]));
  EXPECT_TRUE(SameBytes(resumed.lines.back().report, FullReport("600000", 99)));
  EXPECT_TRUE(reports.empty()) << reports.front();

  // A file of the day that is no day tape is never written over.
  clock += 1;
  base::AtomicReplace(folder + "20261212", "my notes");
  {
    quotes::TDayTapeRecorder recorder(options);
    quotes::TQuoteReport nextDay = FullReport("600000", 1);
    nextDay.quoteTime += 86400;
    recorder.Record(nextDay);
    recorder.Record(FullReport("600000", 2));  // of the day before: not kept
  }
  EXPECT_EQ(base::ReadFileBytes(folder + "20261212"), "my notes");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("not a day tape"), std::string::npos) << reports[0];
}

TEST(DayTape, AFlushForGivesUpOnADiskThatHangsAndTheReportsAreWrittenLater) {
  TempDir dir;
  const std::string folder = quotes::DayTapesFolder(base::PathToUtf8(dir.path()) + "/");
  std::promise<void> disk;
  std::shared_future<void> back = disk.get_future().share();
  quotes::TDayTapeRecorder::Options options;
  options.folder = folder;
  // The worker's first step of a block, held as a hanging disk would hold it.
  options.watchedCodes = [back] {
    back.wait();
    return std::vector<std::string>{"600000"};
  };
  options.marketClock = [] { return base::EncodeDateTime(2026, 12, 11, 10, 0, 0); };
  options.interval = std::chrono::hours(1);
  quotes::TDayTapeRecorder recorder(options);
  const quotes::TQuoteReport report = FullReport("600000", 1);
  recorder.Record(report);
  EXPECT_FALSE(recorder.FlushFor(std::chrono::milliseconds(50)));
  disk.set_value();
  recorder.Flush();
  const quotes::DayTapeReadResult tape = quotes::ReadDayTapeFile(folder + "20261211");
  ASSERT_TRUE(tape.ok) << tape.error;
  ASSERT_EQ(tape.lines.size(), 1u);
  EXPECT_TRUE(SameBytes(tape.lines[0].report, report));
  EXPECT_TRUE(recorder.FlushFor(std::chrono::seconds(10)));
}

TEST(DayTape, CsvAndDayTapeConvertIntoEachOtherAndReplayAlike) {
  TempDir dir;
  const std::string csv = dir.File("day.csv"), tape = dir.File("day.tape"), back = dir.File("back.csv");
  const std::string store = dir.File("policy.tmp");
  ASSERT_TRUE(base::AtomicReplace(store, testing_support::ExampleStore()));
  // The worked examples, and names and markets that need quoting or a number.
  const std::string text = std::string(testing_support::kExampleTape) +
                           "2012-05-18 14:35:00,000002,SZ,\"万 科,A\"\"\",7.1,7.2,7.3,7.05,7.125\n"
                           "2012-05-18 14:35:01,900901,21330,,0,0,0,0,0.001\n";
  ASSERT_TRUE(base::AtomicReplace(csv, text));

  const ToolRun toTape = Tool({"tape", csv, tape});
  ASSERT_EQ(toTape.status, 0) << toTape.err;
  const auto tapeBytes = base::ReadFileBytes(tape);
  ASSERT_TRUE(tapeBytes && quotes::LooksLikeDayTape(*tapeBytes));
  EXPECT_EQ(quotes::ReadDayTape(*tapeBytes).day, 20120518u);
  const ToolRun toCsv = Tool({"tape", tape, back});
  ASSERT_EQ(toCsv.status, 0) << toCsv.err;

  const quotes::TapeParseResult original = quotes::ParseTape(text);
  const auto backText = base::ReadFileBytes(back);
  ASSERT_TRUE(backText);
  const quotes::TapeParseResult again = quotes::ParseTape(*backText);
  ASSERT_TRUE(original.ok && again.ok) << again.error << " at " << again.errorLine;
  ASSERT_EQ(again.lines.size(), original.lines.size());
  for (size_t i = 0; i < original.lines.size(); ++i) {
    EXPECT_TRUE(SameBytes(again.lines[i].report, original.lines[i].report)) << i;
    EXPECT_EQ(again.lines[i].time, original.lines[i].time) << i;
  }
  // Converting the converted text again changes not a byte.
  EXPECT_EQ(quotes::DayTapeToCsv(again.lines), *backText);

  const ToolRun fromCsv = Tool({"replay", "--store", store, "--tape", csv, "--start", "all", "--json"});
  const ToolRun fromTape = Tool({"replay", "--store", store, "--tape", tape, "--start", "all", "--json"});
  ASSERT_EQ(fromCsv.status, 0) << fromCsv.err;
  ASSERT_EQ(fromTape.status, 0) << fromTape.err;
  EXPECT_EQ(std::count(fromCsv.out.begin(), fromCsv.out.end(), '\n'), 8) << fromCsv.out;
  EXPECT_EQ(fromTape.out, fromCsv.out);

  // A cut-off day tape replays its whole blocks and says what is missing.
  const auto cutAt = tapeBytes->size() - 3;
  ASSERT_TRUE(base::AtomicReplace(tape, tapeBytes->substr(0, cutAt)));
  const ToolRun cut = Tool({"replay", "--store", store, "--tape", tape, "--start", "all"});
  EXPECT_EQ(cut.status, 0);
  EXPECT_NE(cut.err.find("cut off"), std::string::npos) << cut.err;
}

TEST(DayTape, RetentionDeletesOnlyDayTapesOlderThanTheDaysKept) {
  TempDir dir;
  const std::string folder = base::PathToUtf8(dir.path()) + "/";
  for (const char* name : {"20261211", "20261013", "20261012", "20250101", "20261212", "notes.txt", "2026101",
                           "20261301", "20261010.csv"})
    ASSERT_TRUE(base::AtomicReplace(folder + name, "x")) << name;
  std::filesystem::create_directory(dir.path() / "20200101");
  EXPECT_EQ(quotes::ListDayTapes(folder),
            (std::vector<std::string>{"20261212", "20261211", "20261013", "20261012", "20250101"}));

  const base::TDateTime today = base::EncodeDateTime(2026, 12, 11, 9, 0, 0);
  EXPECT_EQ(quotes::DeleteOldDayTapes(folder, 0, today), 0);  // recording off keeps what there is
  EXPECT_EQ(quotes::ListDayTapes(folder).size(), 5u);
  // 60 days: today and the 59 before it; 2026-10-12 is the 61st.
  EXPECT_EQ(quotes::DeleteOldDayTapes(folder, 60, today), 2);
  EXPECT_EQ(quotes::ListDayTapes(folder), (std::vector<std::string>{"20261212", "20261211", "20261013"}));
  for (const char* name : {"notes.txt", "2026101", "20261301", "20261010.csv", "20200101"})
    EXPECT_TRUE(std::filesystem::exists(dir.path() / name)) << name;
}
