// The trade log viewer as a user meets it: a real window over a prepared
// trade log, its rows read back from the list view, "清空日志" pressed on
// the toolbar, Esc, and a screenshot into the test logs.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/unt_frmshowlog_win.h"
#include "base/datetime.h"
#include "base/files.h"
#include "base/gbk.h"
#include "base/text.h"
#include "policy/unt_monitorloop.h"
#include "policy/unt_policy.h"
#include "support/temp_dir.h"
#include "win/app_win.h"
#include "screenshot_win.h"

using testing_support::TempDir;

namespace {

// Trigger lines as the monitor loop writes them, one other line among them.
std::string PreparedLog(int lines) {
  const char* names[] = {"浦发银行", "招商银行", "平安银行", "万科A"};
  std::string log;
  for (int i = 0; i < lines; ++i) {
    policy::TPolicyRecord m = policy::NewPolicyRecord();
    m.kind = i % 3 == 0 ? policy::kKindPayoff : policy::kKindPrice;
    m.quantity = 100 * (i + 1);
    policy::SetDescription(m, i % 2 ? "最高价回落0.500元时卖出" : "跌破9.900元时买入");
    policy::TTradeRecord order;
    order.tradeType = i % 2 ? policy::kTradeSell : policy::kTradeBuy;
    order.code = std::to_string(600000 + i);
    order.name = names[i % 4];
    order.buyPrice = order.sellPrice = base::FormatPrice(9.88 + i / 100.0);
    quotes::TQuoteReport report{};
    report.newestPrice = 9.87f + static_cast<float>(i) / 100.0f;
    const base::TDateTime at = base::EncodeDateTime(2012, 5, 18, 9 + (30 + i) / 60, (30 + i) % 60, 2);
    log += policy::TradeLogLine(order, report, m, "u1001", at) + "\r\n";
    if (i == 1) log += "2012-05-18 09:31:00 关联交易软件成功\r\n";
  }
  return base::Utf8ToGbkLossy(log);
}

bool PressToolButton(win::ToolBar& bar, int id) {
  const RECT r = bar.ButtonRect(id);
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageW(bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(bar.Handle(), WM_LBUTTONUP, 0, at);
  return r.right > r.left;
}

}  // namespace

TEST(ShowLogWindow, ShowsTheTradeLogClearsItAndClosesWithEscape) {
  win::App::Init();
  TempDir app;
  std::filesystem::create_directories(app.path() / "log");
  const std::string logPath = app.File("log/trade.log");
  ASSERT_TRUE(base::AtomicReplace(logPath, PreparedLog(24)));

  app::TfrmshowlogWin view(base::PathToUtf8(app.path()), nullptr);
  view.Show();
  HWND window = view.Window().Handle();
  ASSERT_TRUE(win::PumpUntil([&] { return IsWindowVisible(window) != FALSE; }, 5000));

  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  EXPECT_EQ(base::Utf16ToUtf8(reinterpret_cast<const char16_t*>(title)), "触发记录查看");
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) << "stays above the other windows";

  // Rows and cells as the list view gives them.
  win::ListView& list = view.List();
  ASSERT_EQ(list.RowCount(), 24);
  EXPECT_EQ(list.ColumnCount(), 11);
  EXPECT_EQ(list.Cell(0, 0), "0");
  EXPECT_EQ(list.Cell(0, 1), "12-05-18 09:30:02");
  EXPECT_EQ(list.Cell(2, 2), "600002");
  EXPECT_EQ(list.Cell(2, 3), "平安银行");
  EXPECT_EQ(list.Cell(1, 4), "卖出");
  EXPECT_EQ(list.Cell(23, 0), "23");
  EXPECT_EQ(list.Cell(23, 9), "u1001");
  EXPECT_EQ(list.ColumnWidth(10), 400);
  EXPECT_EQ(view.ToolBar().ButtonText(app::TfrmshowlogWin::kBtnClearLog), "清空日志");

  RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  const std::filesystem::path shot = base::PathFromUtf8(testing_support::SourcePath("build/test-logs/showlog.png"));
  EXPECT_TRUE(testing_support::SaveWindowPng(window, shot));

  // "清空日志" from the toolbar, the question answered Yes through the port.
  std::string asked;
  view.askYesNo = [&](const std::string& text, const std::string& boxTitle) {
    asked = boxTitle + "|" + text;
    return true;
  };
  ASSERT_TRUE(PressToolButton(view.ToolBar(), app::TfrmshowlogWin::kBtnClearLog));
  ASSERT_TRUE(win::PumpUntil([&] { return list.RowCount() == 0; }, 5000));
  EXPECT_EQ(asked, "提示|您确定要清空日志吗？");
  EXPECT_TRUE(base::FileExists(logPath));
  EXPECT_EQ(base::ReadFileBytes(logPath), "");

  // A new line and "刷新".
  ASSERT_TRUE(base::AppendToFile(logPath, PreparedLog(1)));
  ASSERT_TRUE(PressToolButton(view.ToolBar(), app::TfrmshowlogWin::kBtnRefresh));
  ASSERT_TRUE(win::PumpUntil([&] { return list.RowCount() == 1; }, 5000));

  // Esc in the list closes (hides) the viewer; showing it again reloads.
  list.Focus();
  PostMessageW(list.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageW(list.Handle(), WM_KEYUP, VK_ESCAPE, 0);
  EXPECT_TRUE(win::PumpUntil([&] { return IsWindowVisible(window) == FALSE; }, 5000));
  view.Show();
  EXPECT_TRUE(win::PumpUntil([&] { return IsWindowVisible(window) != FALSE; }, 5000));
  EXPECT_EQ(list.RowCount(), 1);

  // "关闭".
  ASSERT_TRUE(PressToolButton(view.ToolBar(), app::TfrmshowlogWin::kBtnClose));
  EXPECT_TRUE(win::PumpUntil([&] { return IsWindowVisible(window) == FALSE; }, 5000));
}

TEST(ShowLogWindow, AHundredThousandLinesShowAtOnce) {
  win::App::Init();
  TempDir app;
  std::filesystem::create_directories(app.path() / "log");
  const std::string block = PreparedLog(100);  // 100 trigger lines and one other
  std::string log;
  for (int i = 0; i < 1000; ++i) log += block;
  ASSERT_TRUE(base::AtomicReplace(app.File("log/trade.log"), log));

  app::TfrmshowlogWin view(base::PathToUtf8(app.path()), nullptr);
  const DWORD t0 = GetTickCount();
  view.Show();
  HWND window = view.Window().Handle();
  ASSERT_TRUE(win::PumpUntil([&] { return IsWindowVisible(window) != FALSE; }, 10000));
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  const DWORD shownMs = GetTickCount() - t0;
  ASSERT_EQ(view.List().RowCount(), 100000);
  view.List().EnsureVisible(99999);
  EXPECT_EQ(view.List().Cell(99999, 0), "99999");
  EXPECT_EQ(view.List().Cell(99999, 2), "600099");
  RecordProperty("shown_ms", static_cast<int>(shownMs));
  std::printf("100,000 rows loaded and shown in %lu ms\n", static_cast<unsigned long>(shownMs));
  view.Window().Destroy();
}
