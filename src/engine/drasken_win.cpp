// drasken.dll, the quote engine: the exports the program binds, window
// messages to the window given to Stock_Init, and the packets' life. The
// sources and intervals come from drasken.ini beside the DLL, read when
// the engine is first used (engine_core.h).
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

#include "engine_core.h"
#include "engine_packets.h"

namespace {

using quotes::TQuoteReport;
using quotes::TStockLabel;

constexpr UINT_PTR kSubclassId = 0x463D;

class Engine : public engine::IEngineEvents {
 public:
  explicit Engine(engine::EngineConfig config)
      : core(*this, std::move(config)), pump([this](const engine::PacketPump::Packet& p) {
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

// Never destroyed: at process exit other threads are gone and nothing may
// be joined; FreeLibrary with the worker running cannot happen (Pin).
Engine& TheEngine();

// drasken.ini in the DLL's folder; no file gives the public services.
engine::EngineConfig ConfigBesideDll() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&TheEngine), &self);
  wchar_t path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH * 2);
  std::wstring file(path, n < MAX_PATH * 2 ? n : 0);
  size_t slash = file.find_last_of(L"\\/");
  file = (slash == std::wstring::npos ? std::wstring() : file.substr(0, slash + 1)) + L"drasken.ini";
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

Engine& TheEngine() {
  static Engine* engine = new Engine(ConfigBesideDll());
  return *engine;
}

LRESULT CALLBACK EngineSubclass(HWND window, UINT m, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR) {
  Engine& e = TheEngine();
  const void* packet = reinterpret_cast<const void*>(l);
  if (e.IsEngineMessage(m, w) && e.pump.Owns(packet)) {
    e.pump.Handling(packet);
    LRESULT result = DefSubclassProc(window, m, w, l);
    e.pump.Release(packet);
    return result;
  }
  if (m == WM_NCDESTROY) e.Detach();
  return DefSubclassProc(window, m, w, l);
}

void Engine::Attach(HWND window, UINT message) {
  if (window_ && window_ != window) Detach();
  message_ = message;
  if (window && SetWindowSubclass(window, EngineSubclass, kSubclassId, 0)) {
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

// While the worker runs the DLL stays loaded, whatever the program does.
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

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // Unloaded by FreeLibrary without Stock_Quit: the window must not keep a
  // procedure that is about to go away.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) TheEngine().Detach();
  return TRUE;
}
