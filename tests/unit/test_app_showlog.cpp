// The trade log viewer: the tokeniser, the rows it makes of log\trade.log,
// showing, refreshing, clearing and closing, and the round trip with the
// lines the monitor loop writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/unt_frmshowlog.h"
#include "base/datetime.h"
#include "base/files.h"
#include "base/gbk.h"
#include "policy/unt_monitorloop.h"
#include "policy/unt_policy_describe.h"
#include "support/policy_fixtures.h"
#include "support/temp_dir.h"

using namespace app;
using testing_support::TempDir;

namespace {

using Tokens = std::vector<std::string>;

struct FakeUi : IShowLogUi {
  bool answer = true;
  std::vector<std::string> questions;  // "title|text"
  std::vector<std::string> infos;
  int closes = 0;
  bool AskYesNo(const std::string& text, const std::string& title) override {
    questions.push_back(title + "|" + text);
    return answer;
  }
  void ShowInformation(const std::string& text, const std::string& title) override {
    infos.push_back(title + "|" + text);
  }
  void CloseWindow() override { ++closes; }
};

// The disk, except that emptying can be made to fail as with a log that
// another program holds open for writing.
struct Files : DiskShowLogFiles {
  bool truncateFails = false;
  bool Truncate(const std::string& path, std::string* error) override {
    if (truncateFails) {
      *error = "locked";
      return false;
    }
    return DiskShowLogFiles::Truncate(path, error);
  }
};

struct ViewerFixture : ::testing::Test {
  TempDir dir;
  Files files;
  FakeUi ui;
  Tfrmshowlog form{base::PathToUtf8(dir.path()), files, ui};

  ViewerFixture() { std::filesystem::create_directories(dir.path() / "log"); }
  std::string LogPath() { return base::PathToUtf8(dir.path() / "log" / "trade.log"); }
  void WriteLog(const std::string& utf8) { ASSERT_TRUE(base::AtomicReplace(LogPath(), base::Utf8ToGbkLossy(utf8))); }
  void AppendLog(const std::string& utf8) { ASSERT_TRUE(base::AppendToFile(LogPath(), base::Utf8ToGbkLossy(utf8))); }
  std::vector<std::string> Row(size_t row) {
    std::vector<std::string> cells;
    for (int c = 0; c < kShowLogColumnCount; ++c) cells.push_back(form.CellText(row, c));
    return cells;
  }
};

const char* const kLine1 =
    "12-05-18, 10:31:07, [触发交易], 600000, 浦发银行, 卖出, 移动止盈, 10.200, 10.098, 1000, u1001, 回落0.5元卖出\r\n";
const char* const kLine2 =
    "12-05-18, 14:02:00, [触发交易], 600036, 招商银行, 买入, 按价位监控, 9.870, 9.880, 500, u1001, 跌破9.9元买入\r\n";

}  // namespace

TEST(TradeLogTokens, QuotingBlanksAndCommas) {
  // Comma and blank both end tokens; blanks around a comma are one break.
  EXPECT_EQ(TradeLogTokens("a, b ,c  d"), (Tokens{"a", "b", "c", "d"}));
  // Two commas give an empty token; a comma as the very last character a final one.
  EXPECT_EQ(TradeLogTokens("a,,b,"), (Tokens{"a", "", "b", ""}));
  EXPECT_EQ(TradeLogTokens(","), (Tokens{"", ""}));
  EXPECT_EQ(TradeLogTokens("a, "), (Tokens{"a"}));
  // Leading and trailing characters 1..32 are skipped, control characters end tokens.
  EXPECT_EQ(TradeLogTokens("\t\x01 a\x1F" "b \r"), (Tokens{"a", "b"}));
  EXPECT_EQ(TradeLogTokens(""), Tokens{});
  EXPECT_EQ(TradeLogTokens(" \t "), Tokens{});
  // Quotes keep blanks and commas; "" inside quotes is one quote.
  EXPECT_EQ(TradeLogTokens("\"a b, c\", \"say \"\"hi\"\"\",x"), (Tokens{"a b, c", "say \"hi\"", "x"}));
  EXPECT_EQ(TradeLogTokens("\"\",\"\"\"\""), (Tokens{"", "\""}));
  // Text right after a closing quote is a token of its own; an unclosed quote runs to the end.
  EXPECT_EQ(TradeLogTokens("\"ab\"cd,e"), (Tokens{"ab", "cd", "e"}));
  EXPECT_EQ(TradeLogTokens("x, \"open, end"), (Tokens{"x", "open, end"}));
  // A quote inside an unquoted token is an ordinary character.
  EXPECT_EQ(TradeLogTokens("a\"b"), (Tokens{"a\"b"}));
  // A NUL ends the line.
  EXPECT_EQ(TradeLogTokens(std::string("a,b\0,c", 6)), (Tokens{"a", "b"}));
  // GBK bytes pass whole: no trail byte is a delimiter.
  EXPECT_EQ(TradeLogTokens(base::Utf8ToGbkLossy("浦发 银行,卖出")),
            (Tokens{base::Utf8ToGbkLossy("浦发"), base::Utf8ToGbkLossy("银行"), base::Utf8ToGbkLossy("卖出")}));

  // The marker counts only on character boundaries: here its bytes start
  // on the trail byte of the character before.
  EXPECT_TRUE(IsTradeTriggerLine(base::Utf8ToGbkLossy("x, [触发交易], y")));
  EXPECT_FALSE(IsTradeTriggerLine("\x81\xB4\xA5\xB7\xA2\xBD\xBB\xD2\xD7"));
  EXPECT_TRUE(IsTradeTriggerLine("\x81\xB4\xB4\xA5\xB7\xA2\xBD\xBB\xD2\xD7"));
  EXPECT_FALSE(IsTradeTriggerLine(base::Utf8ToGbkLossy("触发 交易")));
}

TEST_F(ViewerFixture, ShowsTriggerLinesWithTheirColumnsAndSurvivesOddLines) {
  WriteLog(std::string(kLine1) + "some other line without the marker\r\n" + kLine2 +
           // A name with a blank: its second half lands under 交易方向 and later columns shift.
           "12-05-18, 14:30:00, [触发交易], 000001, 平安 银行, 卖出, 条件止损, 8.000, 7.920, 300, u1001, 止损\r\n"
           // Fewer than twelve tokens: the missing columns stay empty.
           "12-05-18, 14:31:00, [触发交易], 000002\n"
           // Lines after a short one still load; a lone CR also ends a line.
           "12-05-18, 14:32:00, [触发交易], 000003, 万科A, 买入, 按时间监控, 1.000, 1.010, 100, u1001, x\r"
           "\r\n");
  form.FormShow();
  EXPECT_EQ(form.LogPath(), LogPath());
  ASSERT_EQ(form.RowCount(), 5u);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"0", "12-05-18 10:31:07", "600000", "浦发银行", "卖出", "移动止盈",
                                               "10.200", "10.098", "1000", "u1001", "回落0.5元卖出"}));
  EXPECT_EQ(Row(1), (std::vector<std::string>{"1", "12-05-18 14:02:00", "600036", "招商银行", "买入", "按价位监控",
                                               "9.870", "9.880", "500", "u1001", "跌破9.9元买入"}));
  EXPECT_EQ(Row(2), (std::vector<std::string>{"2", "12-05-18 14:30:00", "000001", "平安", "银行", "卖出", "条件止损",
                                               "8.000", "7.920", "300", "u1001"}));
  EXPECT_EQ(Row(3), (std::vector<std::string>{"3", "12-05-18 14:31:00", "000002", "", "", "", "", "", "", "", ""}));
  EXPECT_EQ(Row(4)[2], "000003");
  EXPECT_EQ(Row(4)[10], "x");
  EXPECT_EQ(form.CellText(99, 1), "");
}

TEST_F(ViewerFixture, RefreshReloadsTheRememberedLogOnly) {
  // No log when shown: nothing remembered, and a log written later is not
  // picked up by "刷新", only by showing again.
  form.FormShow();
  EXPECT_EQ(form.LogPath(), "");
  EXPECT_EQ(form.RowCount(), 0u);
  WriteLog(kLine1);
  form.BtnRefreshClick();
  EXPECT_EQ(form.RowCount(), 0u);
  form.FormShow();
  EXPECT_EQ(form.RowCount(), 1u);

  // A line appended while shown appears with "刷新", after the others.
  AppendLog(kLine2);
  const uint64_t version = form.RowsVersion();
  form.BtnRefreshClick();
  EXPECT_GT(form.RowsVersion(), version);
  ASSERT_EQ(form.RowCount(), 2u);
  EXPECT_EQ(form.CellText(1, 0), "1");
  EXPECT_EQ(form.CellText(1, 2), "600036");

  // The log removed while hidden: the next showing shows nothing.
  std::filesystem::remove(base::PathFromUtf8(LogPath()));
  form.FormShow();
  EXPECT_EQ(form.RowCount(), 0u);
  EXPECT_EQ(form.LogPath(), "");
}

TEST_F(ViewerFixture, ClearingAsksEmptiesTheFileOnDiskAndKeepsIt) {
  WriteLog(std::string(kLine1) + kLine2);
  form.FormShow();
  ui.answer = false;
  form.BtnClearLogClick();
  EXPECT_EQ(ui.questions, (std::vector<std::string>{"提示|您确定要清空日志吗？"}));
  EXPECT_EQ(form.RowCount(), 2u);
  EXPECT_EQ(base::ReadFileBytes(LogPath())->size(), base::Utf8ToGbkLossy(std::string(kLine1) + kLine2).size());

  // A log another program holds for writing cannot be emptied: the user is
  // told, and the rows stay as the file still holds them.
  ui.answer = true;
  files.truncateFails = true;
  form.BtnClearLogClick();
  EXPECT_EQ(ui.infos.size(), 1u);
  EXPECT_EQ(form.RowCount(), 2u);

  files.truncateFails = false;
  form.BtnClearLogClick();
  EXPECT_EQ(form.RowCount(), 0u);
  EXPECT_TRUE(base::FileExists(LogPath()));
  EXPECT_EQ(base::ReadFileBytes(LogPath()), "");

  // Without rows there is nothing to ask.
  form.BtnClearLogClick();
  EXPECT_EQ(ui.questions.size(), 3u);
  // The monitor loop keeps appending to the emptied log.
  AppendLog(kLine2);
  form.BtnRefreshClick();
  EXPECT_EQ(form.RowCount(), 1u);
}

TEST_F(ViewerFixture, CloseAndEscapeCloseTheViewer) {
  form.BtnCloseClick();
  form.FormKeyDown('A');
  form.FormKeyDown(Tfrmshowlog::kKeyEscape);
  EXPECT_EQ(ui.closes, 2);
  EXPECT_STREQ(Tfrmshowlog::kCaption, "触发记录查看");
  EXPECT_STREQ(kShowLogColumns[9].caption, "用户ID");
  EXPECT_EQ(kShowLogColumns[10].width, 400);
  EXPECT_EQ(kShowLogColumns[6].align, ColumnAlign::kRight);
  EXPECT_EQ(kShowLogColumns[9].align, ColumnAlign::kCentre);
}

TEST_F(ViewerFixture, LinesOfTheMonitorLoopComeBackAsTheirColumns) {
  using namespace policy;
  TPolicyRecord monitor = testing_support::Monitor(7, kKindPrice, "600036", 9.9f);
  SetName(monitor, "招商银行");
  monitor.quantity = 2500;
  SetDescription(monitor, "跌破9.900元时买入2500股");
  TTradeRecord order;
  order.tradeType = kTradeBuy;
  order.code = "600036";
  order.name = "招商银行";
  order.buyPrice = "9.880";
  order.buyQuantity = "2500";
  const quotes::TQuoteReport report = testing_support::Report("600036", 9.87f);
  const base::TDateTime at = base::EncodeDateTime(2012, 5, 18, 9, 35, 2);
  // An order with a broken trade type is logged with its error texts.
  TTradeRecord broken = order;
  broken.tradeType = 9;
  WriteLog(TradeLogLine(order, report, monitor, "u1001", at) + "\r\n" +
           TradeLogLine(broken, report, monitor, "u1001", at) + "\r\n");
  form.FormShow();
  ASSERT_EQ(form.RowCount(), 2u);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"0", "12-05-18 09:35:02", "600036", "招商银行", "买入", KindName(kKindPrice),
                                               "9.870", "9.880", "2500", "u1001", "跌破9.900元时买入2500股"}));
  EXPECT_EQ(form.CellText(1, 4), "交易类型错误");
  EXPECT_EQ(form.CellText(1, 7), "委托价格错误");
}
