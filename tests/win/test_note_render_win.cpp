// The fill note's body window as the host's note utility makes it: the
// renderer of the real module object over Pellumin.dll's resources, its
// list's styles, its keys, and its end (destroyed while the host still
// talks to it, or never made). What the list shows is read from outside
// by tests/e2e/plugin_note.sh.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "base/gbk.h"
#include "plugin/addin/unt_module_win.h"
#include "plugin/push/unt_pushcenter.h"
#include "plugin/ui/unt_listnoterender_win.h"
#include "sim/host/host_objects.h"
#include "support/host_kv.h"

namespace {

std::wstring DllPath() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring folder(exe);
  folder = folder.substr(0, folder.find_last_of(L'\\'));  // <build>\tests
  folder = folder.substr(0, folder.find_last_of(L'\\'));  // <build>
  return folder + L"\\plugin\\Pellumin.dll";
}

push::TFillRecord Fill(int n, uint8_t direction) {
  push::TFillRecord r{};
  base::WriteFixedText(r.code, std::to_string(600000 + n));
  base::WriteFixedText(r.name, base::Utf8ToGbkLossy("浦发银行"));
  base::WriteFixedText(r.quantity, std::to_string(100 * n));
  base::WriteFixedText(r.price, "10.25");
  base::WriteFixedText(r.time, "09:31:05");
  r.direction = direction;
  return r;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

class NoteWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    dll_ = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(dll_, nullptr) << "build the Pellumin target first";
    module_.Start(reinterpret_cast<kv::KvValue>(dll_));
    port_.SetModule("KvNoteUtility", notes_.Abi());
    ASSERT_EQ(module_.Addin().Initialize(testing_support::Kv(port_), 0, 0), 1);
    parent_ = CreateWindowExW(0, L"STATIC", L"note", WS_OVERLAPPEDWINDOW, 0, 0, 640, 300, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
  }
  void TearDown() override {
    if (parent_ && IsWindow(parent_)) DestroyWindow(parent_);
    EXPECT_EQ(ui::CNoteViewFactoryWin::LiveViews(), 0) << "a view outlived its renderer";
    module_.Addin().Uninitialize();
    module_.End();
    if (dll_) FreeLibrary(dll_);
  }
  kv::IListNoteRender* MakeRenderer(HWND parent) {
    kv::IFeatureEntry* entries[4] = {};
    module_.Addin().GetFeatureEntries(entries, 4);
    void* out = nullptr;
    EXPECT_EQ(entries[3]->CreateFeature(reinterpret_cast<kv::KvValue>(parent), nullptr, &out), 1);
    return static_cast<kv::IListNoteRender*>(out);
  }
  kv::IKvNote* Note() { return static_cast<kv::IKvNote*>(note_.Abi()); }

  HMODULE dll_ = nullptr;
  simhost::CCallLog log_;
  simhost::CHostPort port_{log_};
  simhost::CHostNoteUtility notes_{log_};
  simhost::CHostNote note_{log_};
  addin::CPelluminModule module_;
  HWND parent_ = nullptr;
};

TEST_F(NoteWindow, BodyIsAnOwnerDrawnChildThatPostsItsKeysToTheParent) {
  push::CPushCenter* center = module_.Addin().Center();
  center->SetShowTiming(false);
  for (int n = 1; n <= 3; ++n) center->AddFill(Fill(n, n == 3 ? 2 : 1));
  kv::IListNoteRender* renderer = MakeRenderer(parent_);
  ASSERT_NE(renderer, nullptr);
  HWND dialog = static_cast<HWND>(renderer->Create(7, Note()));
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetParent(dialog), parent_);
  HWND list = GetDlgItem(dialog, 4000);
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & LVS_OWNERDRAWFIXED);
  EXPECT_TRUE(GetWindowLongW(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  const auto extended = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  EXPECT_EQ(extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT), DWORD{LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT});

  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 4);
  UpdateWindow(parent_);  // paints through the owner draw

  // Enter and Esc in the list, as the host's loop pre-translates them.
  for (const auto& [key, id] : {std::pair{VK_RETURN, 1}, std::pair{VK_ESCAPE, 2}}) {
    MSG msg{list, WM_KEYDOWN, static_cast<WPARAM>(key), 0, 0, {0, 0}};
    EXPECT_EQ(module_.Addin().PreTranslateModuleMessage(list, &msg), 0) << "the list itself filters nothing";
    EXPECT_EQ(module_.Addin().PreTranslateModuleMessage(dialog, &msg), 1);
    MSG posted{};
    ASSERT_TRUE(PeekMessageW(&posted, parent_, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(posted.wParam, static_cast<WPARAM>(id));
    EXPECT_EQ(posted.lParam, 0);
  }
  EXPECT_TRUE(IsWindow(dialog)) << "the dialog itself stays";

  renderer->Destroy();
  EXPECT_FALSE(IsWindow(dialog));
  MSG late{dialog, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
  EXPECT_EQ(module_.Addin().PreTranslateModuleMessage(dialog, &late), 0) << "no longer a window of the module";
}

TEST_F(NoteWindow, DestroyWhileTheHostStillTalksToTheWindowLeavesNothingBehind) {
  module_.Addin().Center()->AddFill(Fill(1, 1));
  // The host's note window goes first, taking the body with it; the host
  // still sends to the body and updates the note, then destroys the renderer.
  kv::IListNoteRender* first = MakeRenderer(parent_);
  HWND body = static_cast<HWND>(first->Create(1, Note()));
  ASSERT_NE(body, nullptr);
  DestroyWindow(parent_);
  parent_ = nullptr;
  EXPECT_FALSE(IsWindow(body));
  SendMessageW(body, WM_COMMAND, IDOK, 0);
  first->OnNoteUpdate(0);
  first->OnNoteUpdate(0);
  EXPECT_NE(first->GetStatusText(0), nullptr);
  EXPECT_EQ(ui::CNoteViewFactoryWin::LiveViews(), 1) << "the view waits for its renderer";
  first->Destroy();
  EXPECT_EQ(ui::CNoteViewFactoryWin::LiveViews(), 0);

  // Messages queued for the body before Destroy arrive after it.
  HWND parent = CreateWindowExW(0, L"STATIC", L"note2", WS_OVERLAPPEDWINDOW, 0, 0, 640, 300, nullptr, nullptr,
                                nullptr, nullptr);
  kv::IListNoteRender* second = MakeRenderer(parent);
  HWND dialog = static_cast<HWND>(second->Create(2, Note()));
  ASSERT_NE(dialog, nullptr);
  HWND list = GetDlgItem(dialog, 4000);
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  InvalidateRect(list, nullptr, TRUE);
  second->Destroy();
  Pump();
  EXPECT_FALSE(IsWindow(dialog));
  MSG stray{};
  EXPECT_FALSE(PeekMessageW(&stray, parent, WM_COMMAND, WM_COMMAND, PM_REMOVE)) << "nothing came from a dead body";
  DestroyWindow(parent);
}

// A host that watches the list itself and destroys the renderer while the
// list is asked for a cell's text in the middle of drawing a row.
WNDPROC g_listProc = nullptr;
kv::IListNoteRender* g_destroyOnText = nullptr;
LRESULT CALLBACK HostListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == LVM_GETITEMTEXTW && g_destroyOnText) {
    kv::IListNoteRender* renderer = g_destroyOnText;
    g_destroyOnText = nullptr;
    renderer->Destroy();
  }
  return CallWindowProcW(g_listProc, window, message, wParam, lParam);
}

TEST_F(NoteWindow, DestroyInsideTheBodysOwnDrawingFreesItOnlyAfterwards) {
  module_.Addin().Center()->AddFill(Fill(1, 1));
  kv::IListNoteRender* renderer = MakeRenderer(parent_);
  HWND dialog = static_cast<HWND>(renderer->Create(4, Note()));
  ASSERT_NE(dialog, nullptr);
  HWND list = GetDlgItem(dialog, 4000);
  g_listProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HostListProc)));
  g_destroyOnText = renderer;
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_LISTVIEW;
  item.CtlID = 4000;
  item.itemID = 0;
  item.hwndItem = list;
  item.hDC = GetDC(parent_);
  GetClientRect(list, &item.rcItem);
  SendMessageW(dialog, WM_DRAWITEM, 4000, reinterpret_cast<LPARAM>(&item));
  ReleaseDC(parent_, item.hDC);
  EXPECT_EQ(g_destroyOnText, nullptr) << "the host destroyed the renderer while the row was drawn";
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(ui::CNoteViewFactoryWin::LiveViews(), 0) << "freed once the drawing returned";
}

TEST_F(NoteWindow, CreateWithoutTheDialogTemplateAnswersNoWindowAndLeaksNothing) {
  module_.Addin().Center()->AddFill(Fill(1, 1));
  // A resource module that lacks template 4001 (this test program).
  module_.Addin().OnModuleCommand(kv::kModuleCommandSetResource, reinterpret_cast<kv::KvValue>(GetModuleHandleW(nullptr)),
                                  0, 0, 0);
  kv::IListNoteRender* renderer = MakeRenderer(parent_);
  EXPECT_EQ(renderer->Create(3, Note()), nullptr);
  EXPECT_EQ(ui::CNoteViewFactoryWin::LiveViews(), 0);
  EXPECT_EQ(renderer->OnNoteUpdate(0), 1u) << "the note utility is still updated";
  // Back on the module's own resources the same renderer makes its window,
  // and the fill is still new.
  module_.Addin().OnModuleCommand(kv::kModuleCommandSetResource, 0, 0, 0, 0);
  HWND dialog = static_cast<HWND>(renderer->Create(3, Note()));
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(base::GbkToUtf8Lossy(renderer->GetStatusText(0)), "共接收数据1条,新接收数据1条");
  EXPECT_EQ(SendMessageW(GetDlgItem(dialog, 4000), LVM_GETITEMCOUNT, 0, 0), 2);
  renderer->Destroy();
}

}  // namespace
