// plugin_host.exe: the stand-in trade client. It loads Pellumin.dll from a
// folder (its own by default), shows the host feature window "Stock.zjgf",
// plays the scripted session against the DLL's add-in object and prints one
// line per check. Exit status 0 when every check passed.
//
//   plugin_host.exe [folder of Pellumin.dll]
//
// With --note it instead logs a user in, pushes FILLS fills (every third a
// sell), lets the push service raise the fill note and shows it until the
// note is closed; --timing turns the user's timing row on.
//
//   plugin_host.exe --note FILLS [--timing] [folder of Pellumin.dll]
#include <windows.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "base/gbk.h"
#include "sim/host/app/host_note_win.h"
#include "sim/host/host_abi.h"
#include "sim/host/host_scenario.h"

namespace {

constexpr UINT kStockRefresh = 6026;
int g_refreshes = 0;

LRESULT CALLBACK StockWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kStockRefresh && wParam == 0 && lParam == 1) {
    ++g_refreshes;
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateStockWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = StockWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QvHostStockZjgf";
  RegisterClassW(&wc);
  return CreateWindowExW(0, wc.lpszClassName, L"Stock.zjgf", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

// Lets the window's posted messages arrive.
void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

std::wstring ExeFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\'));
}

std::string Utf8(const std::wstring& wide) {
  return base::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

// Whether the address lies in an executable section of the module.
bool InCodeOf(HMODULE module, const void* address) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  const auto* at = static_cast<const unsigned char*>(address);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (!(section->Characteristics & IMAGE_SCN_MEM_EXECUTE)) continue;
    const unsigned char* start = base + section->VirtualAddress;
    if (at >= start && at < start + section->Misc.VirtualSize) return true;
  }
  return false;
}

std::string Today() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", t.wYear, t.wMonth, t.wDay);
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  simhost::TNoteOptions note;
  bool showNote = false;
  std::wstring folder = ExeFolder();
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--note" && i + 1 < argc) {
      showNote = true;
      note.fills = _wtoi(argv[++i]);
    } else if (arg == L"--timing") {
      note.timing = true;
    } else {
      folder = arg;
    }
  }
  const std::wstring dllPath = folder + L"\\Pellumin.dll";
  int failed = 0, passed = 0;
  const auto report = [&](bool ok, const std::string& what) {
    std::printf("%s - %s\n", ok ? "ok" : "not ok", what.c_str());
    (ok ? passed : failed) += 1;
  };

  HMODULE dll = LoadLibraryW(dllPath.c_str());
  report(dll != nullptr, "load " + Utf8(dllPath));
  if (!dll) return 1;
  // Through void (*)() so that the compiler accepts the cast of FARPROC.
  const auto getObject = reinterpret_cast<hostabi::GetObjectFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(dll, hostabi::kGetObjectExport)));
  report(getObject != nullptr, "the export Addin_GetObject");
  if (!getObject) return 1;
  void* addin = getObject();
  report(addin != nullptr && getObject() == addin, "Addin_GetObject answers the same object every time");
  if (!addin) return 1;
  if (showNote) {
    const int status = simhost::RunNoteWindow(addin, note);
    FreeLibrary(dll);
    return status;
  }

  HWND stock = CreateStockWindow();
  report(stock != nullptr, "the host feature window Stock.zjgf");

  simhost::THostScenarioEnv env;
  env.programFolder = Utf8(ExeFolder());
  env.today = Today;
  env.stockWindow = stock;
  env.stockRefreshes = [] {
    Pump();
    return g_refreshes;
  };
  env.report = [](const std::string& line) { std::printf("%s\n", line.c_str()); };
  env.isPluginCode = [dll](const void* address) { return InCodeOf(dll, address); };
  const simhost::THostScenarioResult result = simhost::PlayHostScenario(addin, env);
  passed += result.passed;
  failed += result.failed;

  DestroyWindow(stock);
  report(FreeLibrary(dll) != 0, "the DLL unloads");
  std::printf("%d passed, %d failed\n", passed, failed);
  for (const std::string& failure : result.failures) std::printf("FAILED: %s\n", failure.c_str());
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}
