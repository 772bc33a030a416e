// Pellumin.dll as built: its one export, its string table read through the
// string cache, its dialog templates and version resource, the module
// command switching the resource module, and the module's message
// pre-translation against real windows.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "base/gbk.h"
#include "plugin/addin/unt_module_win.h"
#include "sim/host/host_objects.h"
#include "support/host_kv.h"
#include "support/push_fakes.h"

namespace {

// System functions of libraries the test programs do not link.
template <class F>
F SystemFunction(const wchar_t* dll, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryW(dll), name)));
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::wstring DllPath() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring folder(exe);
  folder = folder.substr(0, folder.find_last_of(L'\\'));      // <build>\tests
  folder = folder.substr(0, folder.find_last_of(L'\\'));      // <build>
  return folder + L"\\plugin\\Pellumin.dll";
}

class PluginDll : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(module_, nullptr) << "build the Pellumin target first";
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  kv::KvValue Handle() const { return reinterpret_cast<kv::KvValue>(module_); }
  HMODULE module_ = nullptr;
};

TEST_F(PluginDll, ExportsOnlyAddinGetObjectUndecorated) {
  const auto* base = reinterpret_cast<const unsigned char*>(module_);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(dir.VirtualAddress, 0u);
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  ASSERT_EQ(exports->NumberOfNames, 1u);
  EXPECT_EQ(exports->NumberOfFunctions, 1u);
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  EXPECT_STREQ(reinterpret_cast<const char*>(base + names[0]), "Addin_GetObject");

  const auto get = reinterpret_cast<kv::AddinGetObjectFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(module_, "Addin_GetObject")));
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(get(), get());
  EXPECT_STREQ(get()->GetName(), "Pellumin");
}

TEST_F(PluginDll, StringTableGivesEveryTextAsGbk) {
  addin::CWinStringResources resources;
  for (const auto& [id, utf8] : testing_support::PluginTexts()) {
    char buffer[256];
    const int n = resources.LoadText(Handle(), id, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(n)), *base::Utf8ToGbk(utf8)) << id;
  }
  char buffer[8] = "x";
  EXPECT_EQ(resources.LoadText(Handle(), 10004, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  // A short buffer cuts between characters, never inside one.
  EXPECT_EQ(resources.LoadText(Handle(), 10024, buffer, 6), 4);
  EXPECT_EQ(base::GbkToUtf8Lossy(buffer), "成交");
}

TEST_F(PluginDll, StringsAreStoredInLanguage2052) {
  // String ids 10002..10015 live in block 626 (id / 16 + 1).
  EXPECT_NE(FindResourceExW(module_, RT_STRING, MAKEINTRESOURCEW(10002 / 16 + 1),
                            MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)),
            nullptr);
  EXPECT_NE(FindResourceExW(module_, RT_DIALOG, MAKEINTRESOURCEW(4000), 2052), nullptr);
  EXPECT_NE(FindResourceExW(module_, RT_DIALOG, MAKEINTRESOURCEW(4001), 2052), nullptr);
}

TEST_F(PluginDll, StringCacheOverTheModuleKeepsTrailingBlanks) {
  addin::CWinStringResources resources;
  addin::CStringCache cache(resources);
  cache.Setup(Handle(), 10240);
  const char* title = cache.Get(10024);
  EXPECT_EQ(base::GbkToUtf8Lossy(title), "成交回报信息    ");
  EXPECT_EQ(cache.Get(10024), title);
}

TEST_F(PluginDll, FillListTemplateHoldsTheOwnerDataList) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"note", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
  const auto init = SystemFunction<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>(L"comctl32.dll", "InitCommonControlsEx");
  ASSERT_NE(init, nullptr);
  init(&icc);
  HWND dialog = CreateDialogParamW(module_, MAKEINTRESOURCEW(4001), parent, PlainDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  const LONG style = GetWindowLongW(dialog, GWL_STYLE);
  EXPECT_TRUE(style & WS_CHILD);
  EXPECT_FALSE((style & WS_CAPTION) == WS_CAPTION);
  HWND list = GetDlgItem(dialog, 4000);
  ASSERT_NE(list, nullptr);
  wchar_t cls[64] = {};
  GetClassNameW(list, cls, 64);
  EXPECT_STREQ(cls, L"SysListView32");
  const LONG listStyle = GetWindowLongW(list, GWL_STYLE);
  EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_TRUE(listStyle & LVS_OWNERDATA);
  // The dialog manager draws a bordered control with the 3-D client edge.
  EXPECT_TRUE((listStyle & WS_BORDER) || (GetWindowLongW(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
  EXPECT_TRUE(listStyle & WS_VISIBLE);
  EXPECT_TRUE(listStyle & WS_TABSTOP);
  for (int id : {IDOK, IDCANCEL}) {
    HWND button = GetDlgItem(dialog, id);
    ASSERT_NE(button, nullptr) << id;
    EXPECT_FALSE(IsWindowVisible(button));
    EXPECT_FALSE(IsWindowEnabled(button));
  }
  RECT units{0, 0, 256, 94}, client{};
  MapDialogRect(dialog, &units);
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.right, units.right);
  EXPECT_EQ(client.bottom, units.bottom);
  DestroyWindow(dialog);
  DestroyWindow(parent);
}

TEST_F(PluginDll, PlainDialogTemplateIsCaptionedDialog) {
  HWND dialog = CreateDialogParamW(module_, MAKEINTRESOURCEW(4000), nullptr, PlainDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  wchar_t caption[32] = {};
  GetWindowTextW(dialog, caption, 32);
  EXPECT_STREQ(caption, L"Dialog");
  EXPECT_NE(GetDlgItem(dialog, IDOK), nullptr);
  EXPECT_NE(GetDlgItem(dialog, IDCANCEL), nullptr);
  DestroyWindow(dialog);
}

TEST_F(PluginDll, VersionResourceHasTheStatedValues) {
  const auto infoSize = SystemFunction<DWORD(WINAPI*)(const wchar_t*, DWORD*)>(L"version.dll", "GetFileVersionInfoSizeW");
  const auto info = SystemFunction<BOOL(WINAPI*)(const wchar_t*, DWORD, DWORD, void*)>(L"version.dll", "GetFileVersionInfoW");
  const auto VerQueryValueW =
      SystemFunction<BOOL(WINAPI*)(const void*, const wchar_t*, void**, UINT*)>(L"version.dll", "VerQueryValueW");
  ASSERT_TRUE(infoSize && info && VerQueryValueW);
  const std::wstring path = DllPath();
  DWORD ignored = 0;
  const DWORD size = infoSize(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string data(size, '\0');
  ASSERT_TRUE(info(path.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(9, 6));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 39));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(9, 6));
  EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(0, 39));
  const auto value = [&](const wchar_t* name) {
    wchar_t* text = nullptr;
    UINT n = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&text), &n) || !text) return std::wstring();
    return std::wstring(text);
  };
  EXPECT_EQ(value(L"FileVersion"), L"1, 0, 0, 1");
  EXPECT_EQ(value(L"ProductVersion"), L"1, 0, 0, 1");
  EXPECT_EQ(value(L"InternalName"), L"Pellumin");
  EXPECT_EQ(value(L"OriginalFilename"), L"Pellumin.DLL");
  EXPECT_EQ(value(L"ProductName"), L"Pellumin Dynamic Link Library");
  EXPECT_EQ(value(L"FileDescription"), L"ZhenkarV6\u63A8\u9001\u6A21\u5757");
}

TEST_F(PluginDll, ModuleCommandSwitchesTheResourceModule) {
  const auto get = reinterpret_cast<kv::AddinGetObjectFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(module_, "Addin_GetObject")));
  kv::IAddin* addin = get();
  kv::IFeatureEntry* group = nullptr;
  ASSERT_EQ(addin->GetFeatureEntries(&group, 1), 1);
  EXPECT_EQ(base::GbkToUtf8Lossy(group->GetCaption()), "推送服务");
  // The test program has no string table: every text becomes empty.
  const auto other = reinterpret_cast<kv::KvValue>(GetModuleHandleW(nullptr));
  EXPECT_EQ(addin->OnModuleCommand(kv::kModuleCommandSetResource, other, 0, 0, 0), 0u);
  EXPECT_STREQ(group->GetCaption(), "");
  EXPECT_STREQ(addin->GetDescription(), "");
  EXPECT_EQ(addin->OnModuleCommand(0x1234, 0, 0, 0, 0), 0u);
  EXPECT_STREQ(group->GetCaption(), "");
  EXPECT_EQ(addin->OnModuleCommand(kv::kModuleCommandSetResource, 0, 0, 0, 0), 0u);
  EXPECT_EQ(base::GbkToUtf8Lossy(group->GetCaption()), "推送服务");
}

// ---------------------------------------------------------------------------
// Message pre-translation against real windows

class OwnWindow final : public addin::IModuleWindow {
 public:
  bool PreTranslateMessage(void* message) override {
    if (!message) return false;
    seen = static_cast<MSG*>(message)->message;
    return consumes;
  }
  UINT seen = 0;
  bool consumes = false;
};

class PluginPreTranslate : public ::testing::Test {
 protected:
  void SetUp() override {
    top_ = CreateWindowExW(0, L"STATIC", L"top", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                           nullptr);
    child_ = CreateWindowExW(0, L"STATIC", L"child", WS_CHILD | WS_VISIBLE, 0, 0, 100, 50, top_, nullptr,
                             nullptr, nullptr);
    ASSERT_TRUE(top_ && child_);
    module_.Start(reinterpret_cast<kv::KvValue>(GetModuleHandleW(nullptr)));
    ASSERT_EQ(module_.Addin().Initialize(testing_support::Kv(port_), 0, 0), 1);
  }
  void TearDown() override {
    module_.Addin().Uninitialize();
    module_.End();
    DestroyWindow(top_);
  }
  bool Run(HWND window, UINT message) {
    MSG msg{window, message, 0, 0, 0, {0, 0}};
    return module_.PreTranslateMessage(&msg);
  }

  simhost::CCallLog log_;
  simhost::CHostPort port_{log_};
  addin::CPelluminModule module_;
  HWND top_ = nullptr;
  HWND child_ = nullptr;
};

TEST_F(PluginPreTranslate, BusyHostSwallowsClicksWithTheArrowAndShowsWaitOnMoves) {
  port_.SetBusy(true);
  SetCursor(nullptr);
  EXPECT_TRUE(Run(child_, WM_LBUTTONDOWN));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(log_.Count("Port.OnUserActivity"), 1u);
  EXPECT_EQ(log_.Count("Port.PreTranslateForeign"), 0u);
  EXPECT_FALSE(Run(child_, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  EXPECT_EQ(log_.Count("Port.PreTranslateForeign"), 2u) << "the move still walks the child and its parent";
}

TEST_F(PluginPreTranslate, OwnWindowsFilterTheirMessagesForeignOnesGoToTheHost) {
  OwnWindow own;
  module_.Windows().Add(top_, &own);
  EXPECT_FALSE(Run(child_, WM_CHAR));
  EXPECT_EQ(own.seen, static_cast<UINT>(WM_CHAR));
  EXPECT_EQ(log_.Matching("Port.PreTranslateForeign"),
            std::vector<std::string>{"Port.PreTranslateForeign(" +
                                     std::to_string(reinterpret_cast<uintptr_t>(child_)) + ")"});
  own.consumes = true;
  EXPECT_TRUE(Run(child_, WM_CHAR));
  EXPECT_EQ(module_.Addin().PreTranslateModuleMessage(top_, nullptr), 0) << "null message: nothing consumed";
  MSG msg{top_, WM_KEYDOWN, 0, 0, 0, {0, 0}};
  EXPECT_EQ(module_.Addin().PreTranslateModuleMessage(top_, &msg), 1);
  EXPECT_EQ(module_.Addin().PreTranslateModuleMessage(child_, &msg), 0) << "not a window of the module";
  module_.Windows().Remove(top_);
}

}  // namespace
