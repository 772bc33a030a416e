// The quote feed in the real main window under Wine: posted quote packets
// change the price column and frame its cells, the connection messages give
// their notice on the fourth, the debug window counts only the selected
// security, the tip shows its code's quote; screenshots of both windows go
// into the test logs. Last, the time of a 5000-report packet against 1000
// running monitors handled end to end, beside the monitor loop alone.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "app/unt_frmmain.h"
#include "app/unt_frmmain_win.h"
#include "base/files.h"
#include "base/ini_file.h"
#include "policy/unt_policy_describe.h"
#include "quotes/unt_frmstocktip.h"
#include "screenshot_win.h"
#include "support/main_window_win.h"
#include "support/policy_fixtures.h"
#include "support/temp_dir.h"
#include "win/all_win.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Packet {
  explicit Packet(std::vector<quotes::TQuoteReport> list) : reports(std::move(list)) {
    std::memset(&header, 0, sizeof header);
    header.count = static_cast<int32_t>(reports.size());
    header.firstReport = reinterpret_cast<const unsigned char*>(reports.data());
  }
  quotes::TQuotePacket header;
  std::vector<quotes::TQuoteReport> reports;
};

quotes::TQuoteReport Quote(const std::string& code, float open, float price) {
  quotes::TQuoteReport r = testing_support::Report(code, price);
  base::WriteFixedUtf8(r.name, "浦发银行");
  r.open = open;
  r.prevClose = open - 0.1f;
  r.high = price + 0.2f;
  r.low = open - 0.3f;
  r.volume = 45678;
  for (int i = 0; i < 3; ++i) {
    r.bidPrice[i] = price - 0.01f * static_cast<float>(i + 1);
    r.askPrice[i] = price + 0.01f * static_cast<float>(i + 1);
    r.bidVolume[i] = r.askVolume[i] = 100.0f * static_cast<float>(i + 1);
  }
  r.bidPrice4 = price - 0.04f, r.askPrice4 = price + 0.04f, r.bidVolume4 = r.askVolume4 = 400;
  r.bidPrice5 = price - 0.05f, r.askPrice5 = price + 0.05f, r.bidVolume5 = r.askVolume5 = 500;
  r.quoteTime = 1765247415;  // 2025-12-09 10:30:15 in Beijing
  return r;
}

std::string ListCell(HWND list, int row, int column) {
  wchar_t text[128] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 128;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return win::Utf8(text);
}

// The texts of a window's static children, in creation order.
std::vector<std::string> StaticTexts(HWND window) {
  std::vector<std::string> texts;
  for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(c, cls, 32);
    if (lstrcmpiW(cls, L"Static") == 0) texts.push_back(win::WindowText(c));
  }
  return texts;
}

std::string After(const std::vector<std::string>& texts, const std::string& caption) {
  const auto it = std::find(texts.begin(), texts.end(), caption);
  return it == texts.end() || it + 1 == texts.end() ? "<none>" : *(it + 1);
}

class QuoteFeedWin : public ::testing::Test {
 protected:
  void SetUp() override {
    win::App::Init();
    folder = testing_support::PrepareMainWindowFolder(dir);
  }
  void Seed(int count, int codes) {
    policy::TPolicyList seed;
    for (int i = 0; i < count; ++i) {
      // Stop-losses far below the quotes: tested on every report, never fired.
      auto m = testing_support::Monitor(i, policy::kKindLossLimit, std::to_string(600000 + i % codes), 1.0f);
      policy::UpdateDescription(m);
      seed.Add(m);
    }
    ASSERT_TRUE(seed.SaveStore(policy::PolicyStorePath(folder)).ok);
  }
  void Shot(HWND window, const char* name) {
    RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const auto path = base::PathFromUtf8(testing_support::SourcePath(std::string("build/test-logs/") + name));
    EXPECT_TRUE(testing_support::SaveWindowPng(window, path)) << name;
  }

  testing_support::TempDir dir;
  std::string folder;
  testing_support::LoginDialogCanceller cancelLogin;
};

TEST_F(QuoteFeedWin, PostedPacketsNoticesDebugWindowAndTip) {
  Seed(3, 3);
  auto view = std::make_unique<app::TfrmmainView>(folder);
  view->Show();
  const HWND window = static_cast<HWND>(view->Handle());
  app::Tfrmmain& model = view->Model();
  model.SetLoggedIn(true, "u1");
  model.EnableLoggedInFeatures(true);
  model.StartAllMonitoring();
  const HWND list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
  ASSERT_NE(list, nullptr);
  win::PumpUntil([&] { return IsWindowEnabled(list) != FALSE; }, 2000);

  // Rising, falling and unchanged at three decimals, as the engine posts them.
  Packet packet({Quote("600000", 10.0f, 10.5f), Quote("600001", 11.0f, 10.75f), Quote("600002", 12.0001f, 12.0004f)});
  PostMessageW(window, quotes::kQuoteMessage, quotes::kQuotePacketKind, reinterpret_cast<LPARAM>(&packet.header));
  ASSERT_TRUE(win::PumpUntil([&] { return ListCell(list, 2, 5) == "12.000"; }, 3000));
  EXPECT_EQ(ListCell(list, 0, 5), "10.500");
  EXPECT_EQ(ListCell(list, 1, 5), "10.750");
  EXPECT_EQ(model.ActivityParts(), 1);
  // The frames are drawn inside the cells: a pixel of each frame's left edge.
  UpdateWindow(list);
  win::PumpUntil([] { return false; }, 100);
  HDC dc = GetDC(list);
  const COLORREF expected[3] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(255, 255, 0)};
  for (int row = 0; row < 3; ++row) {
    RECT cell{};
    ListView_GetSubItemRect(list, row, 5, LVIR_LABEL, &cell);
    EXPECT_EQ(GetPixel(dc, cell.left + 2, (cell.top + cell.bottom) / 2), expected[row]) << "row " << row;
  }
  ReleaseDC(list, dc);
  // Another kind of data moves nothing but the message pass.
  PostMessageW(window, quotes::kQuoteMessage, 7, reinterpret_cast<LPARAM>(&packet.header));
  win::PumpUntil([] { return false; }, 100);
  EXPECT_EQ(model.ActivityParts(), 1);
  Shot(window, "quote_feed_main.png");

  // Two lost, two restored: the fourth gives the restored notice.
  for (UINT m : {quotes::kQuoteConnectionLost, quotes::kQuoteConnectionLost, quotes::kQuoteConnectionRestored}) {
    PostMessageW(window, m, 0, 0);
  }
  win::PumpUntil([&] { return model.ConnectionNoticeCount() == 3; }, 2000);
  EXPECT_EQ(view->LastBalloon(), ": ");
  PostMessageW(window, quotes::kQuoteConnectionRestored, 0, 0);
  ASSERT_TRUE(win::PumpUntil([&] { return model.ConnectionNoticeCount() == 0; }, 2000));
  EXPECT_EQ(view->LastBalloon(), std::string("提示！: ") + app::kQuoteRestoredText);

  // The debug window from "下单测试", following the row clicked last.
  model.RzListViewClick({1, 2, 0, 0, 0});
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(static_cast<int>(app::Cmd::OrderTest), 0), 0);
  HWND debug = nullptr;
  ASSERT_TRUE(win::PumpUntil([&] { return (debug = FindWindowW(nullptr, L"测试窗口")) && IsWindowVisible(debug); }, 3000));
  EXPECT_EQ(After(StaticTexts(debug), "收到行情数："), "0");
  Packet mixed({Quote("600000", 10.0f, 10.6f), Quote("600001", 11.0f, 10.8f), Quote("600001", 11.0f, 10.85f),
                Quote("600002", 12.0f, 12.1f), Quote("600001", 11.0f, 10.9f)});
  PostMessageW(window, quotes::kQuoteMessage, quotes::kQuotePacketKind, reinterpret_cast<LPARAM>(&mixed.header));
  ASSERT_TRUE(win::PumpUntil([&] { return After(StaticTexts(debug), "收到行情数：") == "3"; }, 3000));
  const auto texts = StaticTexts(debug);
  EXPECT_EQ(After(texts, "证券代码："), "600001");
  EXPECT_EQ(After(texts, "现价："), "10.900");
  EXPECT_EQ(After(texts, "成交量："), "45678.000");
  Shot(debug, "quote_debug_window.png");

  // The tip of a hovered row, filled by the next report of its code.
  model.Command(app::Cmd::QuoteTip);
  RECT r{};
  GetWindowRect(list, &r);
  model.RzListViewMouseMove(0, true, r.left + 100, r.top + 40);
  HWND tip = FindWindowW(nullptr, L"Tfrmstocktip");
  ASSERT_NE(tip, nullptr);
  EXPECT_TRUE(IsWindowVisible(tip));
  EXPECT_EQ(After(StaticTexts(tip), "现价："), "");
  PostMessageW(window, quotes::kQuoteMessage, quotes::kQuotePacketKind, reinterpret_cast<LPARAM>(&mixed.header));
  ASSERT_TRUE(win::PumpUntil([&] { return After(StaticTexts(tip), "现价：") == "10.600"; }, 3000));
  RECT client{};
  GetClientRect(tip, &client);
  EXPECT_EQ(client.right, win::Dpi::Of(tip).Scale(quotes::kStockTipWidth));
  EXPECT_EQ(client.bottom, win::Dpi::Of(tip).Scale(quotes::kStockTipHeight));
  EXPECT_EQ(After(StaticTexts(tip), "时间："), "10:30:15");
  Shot(tip, "quote_tip.png");
  // A click on it closes it.
  SendMessageW(tip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_FALSE(IsWindowVisible(tip));
  testing_support::DestroyMainWindow(window);
}

TEST_F(QuoteFeedWin, PacketOfFiveThousandReportsEndToEndBesideTheMonitorLoop) {
  Seed(1000, 500);
  auto view = std::make_unique<app::TfrmmainView>(folder);
  view->Show();
  const HWND window = static_cast<HWND>(view->Handle());
  app::Tfrmmain& model = view->Model();
  model.SetLoggedIn(true, "u1");
  model.EnableLoggedInFeatures(true);
  model.StartAllMonitoring();
  win::PumpUntil([] { return false; }, 200);
  ASSERT_EQ(model.RowCount(), 1000u);

  std::vector<quotes::TQuoteReport> reports;
  for (int i = 0; i < 5000; ++i) {
    reports.push_back(Quote(std::to_string(600000 + i % 500), 10.0f, 10.0f + 0.001f * static_cast<float>(i % 97)));
  }
  Packet packet(reports);
  auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  const HWND list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
  double loopOnly = 1e9, endToEnd = 1e9, handlerOnly = 1e9;
  for (int round = 0; round < 5; ++round) {
    // Every round brings new prices, so every price cell in view changes.
    for (auto& r : packet.reports) r.newestPrice += 0.01f;
    const auto t0 = Clock::now();
    for (const auto& r : packet.reports) model.MonitorLoop().Run(r);
    const auto t1 = Clock::now();
    // The message as the engine posts it, and the paint it caused.
    SendMessageW(window, quotes::kQuoteMessage, quotes::kQuotePacketKind, reinterpret_cast<LPARAM>(&packet.header));
    UpdateWindow(list);
    const auto t2 = Clock::now();
    // The handler's own work without the message pass and the paint.
    for (auto& r : packet.reports) r.newestPrice += 0.01f;
    app::IQuoteDispatchHost* host = model.QuoteDispatchHost();
    model.SetQuoteDispatchHost(nullptr);
    const auto t3 = Clock::now();
    model.QuoteMessage(quotes::kQuotePacketKind, &packet.header);
    const auto t4 = Clock::now();
    model.SetQuoteDispatchHost(host);
    view->Sync();
    UpdateWindow(list);
    loopOnly = std::min(loopOnly, ms(t1 - t0));
    endToEnd = std::min(endToEnd, ms(t2 - t1));
    handlerOnly = std::min(handlerOnly, ms(t4 - t3));
  }
  char line[300];
  std::snprintf(line, sizeof line,
                "quote packet of 5000 reports, 1000 running monitors on 500 codes: end to end %.2f ms "
                "(of which the handler without the message pass and the paint %.2f ms), monitor loop alone %.2f ms, "
                "ratio %.2f\n",
                endToEnd, handlerOnly, loopOnly, endToEnd / loopOnly);
  std::fputs(line, stdout);
  RecordProperty("packet_end_to_end_ms", std::to_string(endToEnd));
  RecordProperty("packet_handler_ms", std::to_string(handlerOnly));
  RecordProperty("packet_monitor_loop_ms", std::to_string(loopOnly));
  const auto after = model.Monitors().Snapshot();
  EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](const auto& m) { return m.state == policy::kStateRunning; }))
      << "a monitor fired";
  testing_support::DestroyMainWindow(window);
}

}  // namespace
