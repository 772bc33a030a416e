// drasken.dll, the quote engine: the exports the program binds, window
// messages to the window given to Stock_Init, and the packets' life. The
// sources and intervals come from drasken.ini beside the DLL, read when
// an export is first called (engine_core.h); DllMain does nothing, as
// nothing may be done under the loader lock. The engine's log goes to
// log\drasken-YYYYMMDD.log in the DLL's folder.
//
// Packets: the window is subclassed in Stock_Init (which runs on its
// thread). A packet posted with 0x463 stays alive until the window
// procedure has returned from that message, then it is freed and what
// waits is posted; at most four packets are posted and not yet handled,
// everything else waits in the engine's backlog and goes out together in
// the next packet (see engine::PacketPump). Stock_Quit and the
// window's destruction take the engine's packets out of the queue and free
// them; a packet whose message is being handled at that moment is freed
// when its handling returns.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <string>

#include "drasken_winhttp_win.h"
#include "engine_core.h"
#include "engine_log.h"
#include "engine_packets.h"

namespace {

using quotes::TQuoteReport;
using quotes::TStockLabel;

constexpr UINT_PTR kSubclassId = 0x463D;

// The folder of this DLL, with its trailing backslash.
std::wstring DllFolder() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&DllFolder), &self);
  wchar_t path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH * 2);
  std::wstring file(path, n < MAX_PATH * 2 ? n : 0);
  size_t slash = file.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : file.substr(0, slash + 1);
}

// Each line opened, appended and closed: one WriteFile of the whole line on
// a handle opened for appending, so lines of several threads never mix and
// the file is never held open.
class FileLogSink : public engine::ILogSink {
 public:
  explicit FileLogSink(std::wstring folder) : folder_(std::move(folder) + L"log\\") {}
  void Append(std::string_view day, std::string_view line) override {
    std::wstring file = folder_ + L"drasken-" + std::wstring(day.begin(), day.end()) + L".log";
    std::string bytes = std::string(line) + "\r\n";
    HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
      CreateDirectoryW(folder_.c_str(), nullptr);
      h = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
  }

 private:
  std::wstring folder_;
};

// drasken.ini in the DLL's folder; no file gives the public services.
engine::EngineConfig ConfigIn(const std::wstring& folder) {
  std::wstring file = folder + L"drasken.ini";
  std::string bytes;
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    char chunk[4096];
    DWORD got = 0;
    while (bytes.size() < (1u << 20) && ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0)
      bytes.append(chunk, got);
    CloseHandle(h);
  }
  return engine::ReadEngineConfig(bytes);
}

// The platform's HTTP stack: https, the user's proxy settings, redirects.
engine::TransportFactory Transports() { return engine::WinHttpTransports(); }

class Engine : public engine::IEngineEvents {
 public:
  explicit Engine(const std::wstring& folder)
      : sink_(folder),
        log_(&sink_),
        core(*this, ConfigIn(folder), Transports(), {}, &log_),
        pump([this](const engine::PacketPump::Packet& p) {
          HWND w = window_;
          return w && PostMessageW(w, message_, static_cast<WPARAM>(quotes::kQuotePacketKind),
                                   reinterpret_cast<LPARAM>(&p.header));
        }) {}

  void Reports(const TQuoteReport* reports, size_t count) override { pump.Add(reports, count); }
  void SourcesDown() override { Post(quotes::kQuoteConnectionLost); }
  void SourcesBack() override { Post(quotes::kQuoteConnectionRestored); }

  // On the window's thread.
  void Attach(HWND window, UINT message);
  void Detach();
  void Pin();
  void Unpin();
  bool IsEngineMessage(UINT m, WPARAM w) const { return m == message_ && w == quotes::kQuotePacketKind; }

  FileLogSink sink_;
  engine::EngineLog log_;
  engine::QuoteEngine core;
  engine::PacketPump pump;

 private:
  void Post(UINT m) {
    HWND w = window_;
    if (w) PostMessageW(w, m, 0, 0);
  }
  std::atomic<HWND> window_{nullptr};
  std::atomic<UINT> message_{quotes::kQuoteMessage};
  HMODULE pinned_ = nullptr;
};

// Built by the first export called, never in DllMain, and never
// destroyed: at process exit other threads are gone and nothing may be
// joined; FreeLibrary with the worker running or the window subclassed
// cannot happen (Pin).
Engine& TheEngine() {
  static Engine* engine = new Engine(DllFolder());
  return *engine;
}

LRESULT CALLBACK EngineSubclass(HWND window, UINT m, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR) {
  Engine& e = TheEngine();
  const void* packet = reinterpret_cast<const void*>(l);
  if (e.IsEngineMessage(m, w) && e.pump.Owns(packet)) {
    e.pump.Handling(packet);
    LRESULT result = DefSubclassProc(window, m, w, l);
    try {
      e.pump.Release(packet);
    } catch (...) {
      // Out of memory posting what waits: it goes with the next release.
    }
    return result;
  }
  if (m == WM_NCDESTROY) {
    try {
      e.Detach();
    } catch (...) {
    }
  }
  return DefSubclassProc(window, m, w, l);
}

void Engine::Attach(HWND window, UINT message) {
  if (window_ && window_ != window) Detach();
  message_ = message;
  if (window && SetWindowSubclass(window, EngineSubclass, kSubclassId, 0)) {
    // The window's procedure now runs through this DLL: it stays loaded
    // until Stock_Quit, whatever the program does.
    Pin();
    pump.Resume();
    window_ = window;
  }
}

void Engine::Detach() {
  HWND w = window_;
  if (!w) return;
  window_ = nullptr;
  if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) {
    // Posted packets the window will now never see through us.
    MSG msg;
    while (PeekMessageW(&msg, w, message_, message_, PM_REMOVE | PM_NOYIELD)) {
    }
    pump.Abandon();
    RemoveWindowSubclass(w, EngineSubclass, kSubclassId);
  }
}

// While the worker runs or the window is subclassed the DLL stays loaded.
void Engine::Pin() {
  if (!pinned_)
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&EngineSubclass),
                       &pinned_);
}

void Engine::Unpin() {
  if (pinned_) FreeLibrary(pinned_);
  pinned_ = nullptr;
}

std::string BoundedText(const char* text, size_t max) {
  if (!text) return {};
  size_t n = 0;
  while (n < max && text[n]) ++n;
  return std::string(text, n);
}

}  // namespace

extern "C" {

__declspec(dllexport) int __stdcall Stock_Init(HWND window, UINT message, int /*mode*/) {
  try {
    TheEngine().Attach(window, message);
    return 1;
  } catch (...) {
    return 0;
  }
}

__declspec(dllexport) int __stdcall Stock_Quit(HWND /*window*/) {
  try {
    Engine& e = TheEngine();
    e.core.Stop();
    e.Detach();
    e.Unpin();
    return 1;
  } catch (...) {
    return 0;
  }
}

// Another way to name the receiving window, as Stock_Init does.
__declspec(dllexport) int __stdcall SetupReceiver(HWND window, UINT message) {
  return Stock_Init(window, message, 0);
}

// The login session's quote server is not used: the sources are the
// public services named by drasken.ini.
__declspec(dllexport) int __stdcall Stock_Start(const void* /*session*/, int32_t /*startToken*/,
                                                const char* /*user*/) {
  try {
    Engine& e = TheEngine();
    e.core.Start();
    e.Pin();
    return 1;
  } catch (...) {
    return 0;
  }
}

__declspec(dllexport) int __stdcall Stock_SetLabels(const TStockLabel* labels, int32_t highestIndex) {
  try {
    TheEngine().core.SetLabels(labels, highestIndex);
    return 1;
  } catch (...) {
    return 0;
  }
}

// The newest report of the code: asked of a source on a connection of its
// own; when none answers, the newest one this engine received. A code no
// source knows leaves the buffer as it was.
__declspec(dllexport) int __stdcall Stock_GetStockInfo(void* buffer, const char* code, const char* /*server*/,
                                                       int32_t /*port*/) {
  try {
    if (!buffer) return 0;
    TQuoteReport report;
    if (!TheEngine().core.Single(BoundedText(code, 32), report)) return 0;
    std::memcpy(buffer, &report, sizeof report);
    return 1;
  } catch (...) {
    return 0;
  }
}

// The newest report of the code this engine received, without asking the feed.
__declspec(dllexport) int __stdcall Stock_GetStockNewReport(void* buffer, const char* code) {
  try {
    TQuoteReport report;
    std::string c = BoundedText(code, 32);
    size_t b = c.find_first_not_of(" \t"), e = c.find_last_not_of(" \t");
    if (!buffer || b == std::string::npos || !TheEngine().core.Cached(c.substr(b, e - b + 1), report)) return 0;
    std::memcpy(buffer, &report, sizeof report);
    return 1;
  } catch (...) {
    return 0;
  }
}

// Today's limit-up and limit-down prices of the code as a source published
// them with its newest report of today; 0 (both untouched) when none did.
__declspec(dllexport) int __stdcall Stock_GetLimits(const char* code, double* limitUp, double* limitDown) {
  try {
    if (!limitUp || !limitDown) return 0;
    std::string c = BoundedText(code, 32);
    size_t b = c.find_first_not_of(" \t"), e = c.find_last_not_of(" \t");
    double up = 0, down = 0;
    if (b == std::string::npos || !TheEngine().core.Limits(c.substr(b, e - b + 1), up, down)) return 0;
    *limitUp = up;
    *limitDown = down;
    return 1;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"

// Nothing under the loader lock: the engine is built on the first export
// called, and the DLL is pinned while anything of it runs (Engine::Pin).
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
