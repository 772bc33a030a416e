// The price editor's real window, opened and closed by every way a user
// closes it: what a user typed reaches the model, the live price reaches
// its label, and no updater thread, handle or window object stays behind.
// (Each hiding of a window costs Wine two seconds without a window manager,
// so the thousand openings are the model's test; here each way is taken
// once, Esc in the first opening.) A screenshot goes into the test logs.
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "base/files.h"
#include "policy/unt_frmpolicyindex_win.h"
#include "policy/unt_frmprice_win.h"
#include "screenshot_win.h"
#include "support/editor_fakes.h"
#include "support/temp_dir.h"
#include "win/app_win.h"

namespace {

int ThreadCount() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int n = 0;
  for (BOOL ok = Thread32First(snap, &entry); ok; ok = Thread32Next(snap, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  }
  CloseHandle(snap);
  return n;
}

struct Counts {
  int threads = ThreadCount();
  DWORD handles = [] {
    DWORD n = 0;
    GetProcessHandleCount(GetCurrentProcess(), &n);
    return n;
  }();
  DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
};

}  // namespace

TEST(EditorWindows, PriceEditorClosedEveryWayLeavesNothingBehind) {
  win::App::Init();
  testing_support::EditorRig rig;
  rig.Know(testing_support::MakeQuote("600000", "浦发银行", 10.10f, 10.20f, 10.23f));
  win::GuiQueue queue;
  policy::TEditorViewArgs args;
  args.services = rig.Services();
  // A live price every 30 ms: often enough for the test, seldom enough for
  // the message loop to see an empty queue between them.
  args.services.livePricePause = [](std::chrono::milliseconds, const std::atomic<bool>& stop) {
    for (int i = 0; i < 30 && !stop; ++i) Sleep(1);
  };
  args.poster = queue.Poster();
  policy::TfrmpriceView view(args);
  const HWND dialog = view.Handle();
  const HWND code = GetDlgItem(dialog, policy::kIdCode);
  const HWND quantity = GetDlgItem(dialog, policy::kIdQuantity);
  ASSERT_TRUE(code && quantity);

  // One opening as a user: a code typed, the live price shown, a quantity
  // typed and spun, the screenshot, Esc.
  bool shot = false;
  queue.Post([&] {
    SetWindowTextW(code, L"600000");
    SendMessageW(code, WM_KEYUP, VK_END, 0);
    EXPECT_EQ("浦发银行", view.Model().nameText);
    EXPECT_TRUE(win::PumpUntil([&] { return view.Model().LivePriceText(policy::TLiveRole::Main) == "10.230"; }, 5000));
    SetWindowTextW(quantity, L"250");
    SendMessageW(code, WM_LBUTTONDOWN, MK_LBUTTON, 0);  // a click into the code box takes the fields
    SendMessageW(code, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ("250", view.Model().quantityText);
    // Enter in a field moves on to the next one.
    SetFocus(quantity);
    PostMessageW(quantity, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(win::PumpUntil([&] { return GetFocus() != quantity; }, 2000));
    EXPECT_TRUE(IsChild(dialog, GetFocus()));
    EXPECT_TRUE(IsWindowVisible(dialog)) << "Enter saves nothing and closes nothing";
    RedrawWindow(dialog, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    shot = testing_support::SaveWindowPng(
        dialog, base::PathFromUtf8(testing_support::SourcePath("build/test-logs/editor-price-win.png")));
    PostMessageW(code, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  view.OpenForAdd();
  EXPECT_TRUE(shot);
  EXPECT_FALSE(IsWindowVisible(dialog));
  EXPECT_FALSE(view.Model().LivePriceRunning(policy::TLiveRole::Main));

  const Counts before;
  for (int i = 1; i < 3; ++i) {
    queue.Post([&, i] {
      SetWindowTextW(code, L"600000");
      SendMessageW(code, WM_KEYUP, VK_END, 0);
      ASSERT_TRUE(view.Model().LivePriceRunning(policy::TLiveRole::Main));
      switch (i % 3) {
        case 0: PostMessageW(code, WM_KEYDOWN, VK_ESCAPE, 0); break;
        case 1: PostMessageW(dialog, WM_CLOSE, 0, 0); break;
        default:
          for (HWND b = GetWindow(dialog, GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT)) {
            wchar_t text[32] = {};
            GetWindowTextW(b, text, 32);
            if (std::wstring(text) == L"取消[&C]") PostMessageW(b, BM_CLICK, 0, 0);
          }
          break;
      }
    });
    view.OpenForAdd();
    ASSERT_FALSE(view.Model().LivePriceRunning(policy::TLiveRole::Main)) << "pass " << i;
  }
  queue.Drain();
  const Counts after;
  EXPECT_EQ(before.threads, after.threads);
  EXPECT_LE(after.handles, before.handles);
  EXPECT_LE(after.gdi, before.gdi);
  EXPECT_LE(after.user, before.user);
  EXPECT_EQ(0u, rig.monitors.Count());
}

// The index editor's window as a user works it: a click on an item's box
// ticks it and shows the index, a click on the value takes it as the set
// point, the spin buttons move it by ten points, OK and Yes save the
// monitor with the index and the target.
TEST(EditorWindows, IndexEditorTicksAnIndexAndTakesItsValue) {
  win::App::Init();
  testing_support::EditorRig rig;
  rig.Know(testing_support::MakeQuote("000001", "平安银行", 12.0f, 11.9f, 12.345f, quotes::kMarketShenzhen));
  rig.Know(testing_support::MakeQuote("399001", "深证指数", 9900.0f, 9950.0f, 10012.6f, quotes::kMarketShenzhen));
  rig.settings.monitorDefaults[settings::TMonitorSection::TakeProfit].quantity = "100";
  win::GuiQueue queue;
  policy::TEditorViewArgs args;
  args.services = rig.Services();
  // Live prices as seldom as the price editor's test has them.
  args.services.livePricePause = [](std::chrono::milliseconds, const std::atomic<bool>& stop) {
    for (int i = 0; i < 30 && !stop; ++i) Sleep(1);
  };
  args.poster = queue.Poster();
  policy::TfrmindexView view(args);
  const HWND dialog = view.Handle();
  const HWND code = GetDlgItem(dialog, policy::kIdCode);
  const HWND list = GetDlgItem(dialog, policy::kIdEditorFields + 1);
  const HWND value = GetDlgItem(dialog, policy::kIdEditorFields + 2);
  const HWND setPoint = GetDlgItem(dialog, policy::kIdSetPrice);
  const HWND change = GetDlgItem(dialog, policy::kIdEditorFields);
  ASSERT_TRUE(code && list && value && setPoint && change);

  bool shot = false;
  queue.Post([&] {
    SetWindowTextW(code, L"000001");
    SendMessageW(code, WM_KEYUP, VK_END, 0);
    EXPECT_EQ("平安银行", view.Model().nameText);
    // The box of the second item, as a click on it changes it.
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(2);
    SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&item));
    wchar_t text[64] = {};
    GetWindowTextW(value, text, 64);
    EXPECT_EQ(std::wstring(L"10012.600"), text);
    SendMessageW(value, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SendMessageW(value, WM_LBUTTONUP, 0, 0);
    GetWindowTextW(setPoint, text, 64);
    EXPECT_EQ(std::wstring(L"10013.000"), text);
    SetWindowTextW(change, L"30");
    RedrawWindow(dialog, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    shot = testing_support::SaveWindowPng(
        dialog, base::PathFromUtf8(testing_support::SourcePath("build/test-logs/editor-index-win.png")));
    for (HWND b = GetWindow(dialog, GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT)) {
      wchar_t caption[32] = {};
      GetWindowTextW(b, caption, 32);
      if (std::wstring(caption) == L"确定[&O]") PostMessageW(b, BM_CLICK, 0, 0);
    }
  });
  // The confirmation is a real message box: Yes once it shows; a refusal
  // shows none, and the dialog is closed after five seconds.
  std::thread answerer([dialog] {
    for (int i = 0; i < 500; ++i, Sleep(10)) {
      if (HWND box = FindWindowW(nullptr, L"确认提示！")) {
        PostMessageW(box, WM_COMMAND, IDYES, 0);
        return;
      }
    }
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  });
  view.OpenForAdd();
  answerer.join();
  EXPECT_EQ("", view.Model().statusText);
  EXPECT_TRUE(shot);
  EXPECT_FALSE(IsWindowVisible(dialog));
  EXPECT_FALSE(view.Model().LivePriceRunning(policy::TLiveRole::Main));
  ASSERT_EQ(1u, rig.monitors.Count());
  const policy::TPolicyRecord saved = rig.monitors.Snapshot()[0];
  EXPECT_EQ("399001", policy::CodeText(saved));
  EXPECT_EQ("深证指数", policy::NameUtf8(saved));
  EXPECT_EQ(quotes::kMarketShenzhen, saved.market);
  EXPECT_FLOAT_EQ(10013.0f, saved.setPrice);
  EXPECT_FLOAT_EQ(30.0f, saved.changeAmount);
  EXPECT_EQ(1, saved.targetFlag);
  EXPECT_EQ("当所监控的深证指数相对于设定点位10013.000上涨30.000点时及时提示卖出100股", policy::DescriptionUtf8(saved));
}
