// drasken_probe: binds the stand-in quote engine drasken.dll as the program
// does and works it against a running quorvel-sim-server (started by
// tests/e2e/quote_engine.sh): quote packets with the tape's rows of the
// watched codes, in order, also when a packet's handling lets further quote
// messages run; 0x465 and 0x467 around a feed drop and restore through the
// control interface; single quotes from four threads at once; Stock_Quit and
// an unload that leaves the window working.
//
//   drasken_probe DLL TAPE HOST QUOTE_PORT WEB_PORT
#include <windows.h>

#include <asio.hpp>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/fixed_text.h"
#include "base/gbk.h"
#include "quotes/Ustockdrv.h"
#include "quotes/login_session.h"
#include "quotes/quote_tape.h"

namespace {

using quotes::TQuoteReport;
using quotes::TStockLabel;

using InitFn = int(__stdcall*)(HWND, UINT, int);
using QuitFn = int(__stdcall*)(HWND);
using StartFn = int(__stdcall*)(const void*, int32_t, const char*);
using SetLabelsFn = int(__stdcall*)(const TStockLabel*, int32_t);
using GetInfoFn = int(__stdcall*)(void*, const char*, const char*, int32_t);

int failures = 0;
void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

struct State {
  std::vector<TQuoteReport> reports;
  size_t packets = 0;
  int32_t largestPacket = 0;
  int lost = 0, restored = 0;
  bool nestedDone = false, outerIntact = false, slowDone = false;
  int depth = 0, deepest = 0;
} state;

void PumpFor(DWORD ms) {
  DWORD end = GetTickCount() + ms;
  while (static_cast<int32_t>(end - GetTickCount()) > 0) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

template <class Pred>
bool PumpUntil(Pred pred, DWORD ms) {
  DWORD end = GetTickCount() + ms;
  while (!pred()) {
    if (static_cast<int32_t>(end - GetTickCount()) <= 0) return false;
    PumpFor(10);
  }
  return true;
}

LRESULT CALLBACK ProbeProc(HWND window, UINT m, WPARAM w, LPARAM l) {
  if (m == quotes::kQuoteMessage && w == quotes::kQuotePacketKind) {
    auto packet = quotes::ReadPacket(reinterpret_cast<const void*>(l));
    ++state.packets;
    state.largestPacket = std::max(state.largestPacket, packet.count);
    std::vector<TQuoteReport> mine;
    for (int32_t i = 0; i < packet.count; ++i) mine.push_back(packet.At(i));
    state.reports.insert(state.reports.end(), mine.begin(), mine.end());
    state.deepest = std::max(state.deepest, ++state.depth);
    if (!state.nestedDone) {
      // As the program does while it types an order: other messages run,
      // quote messages among them, before this one returns.
      state.nestedDone = true;
      PumpFor(300);
      bool same = true;
      for (int32_t i = 0; i < packet.count; ++i) {
        TQuoteReport again = packet.At(i);
        same = same && std::memcmp(&again, &mine[static_cast<size_t>(i)], sizeof again) == 0;
      }
      state.outerIntact = same;
    } else if (!state.slowDone && state.restored > 0 && state.depth == 1) {
      // A slow handling that lets nothing run: the engine must hold back.
      state.slowDone = true;
      Sleep(250);
    }
    --state.depth;
    return 0;
  }
  if (m == quotes::kQuoteConnectionLost) return ++state.lost, 0;
  if (m == quotes::kQuoteConnectionRestored) return ++state.restored, 0;
  return DefWindowProcW(window, m, w, l);
}

// POST to the control interface; the answer's body.
std::string Admin(const std::string& host, int port, const std::string& path) {
  try {
    asio::io_context io;
    asio::ip::tcp::socket s(io);
    s.connect({asio::ip::make_address(host), static_cast<uint16_t>(port)});
    std::string req = "POST " + path + " HTTP/1.1\r\nHost: " + host +
                      "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    asio::write(s, asio::buffer(req));
    std::string all;
    char buf[1024];
    std::error_code ec;
    for (size_t n; (n = s.read_some(asio::buffer(buf), ec)) > 0 || !ec;) all.append(buf, n);
    return all;
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
}

std::string Code(const TQuoteReport& r) { return std::string(quotes::ReportCode(r)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: drasken_probe DLL TAPE HOST QUOTE_PORT WEB_PORT\n");
    return 2;
  }
  std::string host = argv[3];
  int quotePort = std::atoi(argv[4]), webPort = std::atoi(argv[5]);
  std::ifstream tapeFile(argv[2], std::ios::binary);
  std::stringstream tapeText;
  tapeText << tapeFile.rdbuf();
  auto tape = quotes::ParseTape(tapeText.str());
  if (!tape.ok || tape.lines.empty()) {
    std::fprintf(stderr, "bad tape %s: %s\n", argv[2], tape.error.c_str());
    return 2;
  }

  std::u16string dllPath = base::Utf8ToUtf16(argv[1]);
  HMODULE dll = LoadLibraryW(reinterpret_cast<LPCWSTR>(dllPath.c_str()));
  Check(dll != nullptr, "drasken.dll loads");
  if (!dll) return 1;
  const char* names[] = {"Stock_Init", "Stock_Quit", "SetupReceiver", "Stock_Start",
                         "Stock_SetLabels", "Stock_GetStockInfo", "Stock_GetStockNewReport"};
  std::map<std::string, FARPROC> fn;
  bool all = true;
  for (const char* n : names) all = (fn[n] = GetProcAddress(dll, n)) != nullptr && all;
  Check(all, "the seven exports are found by their plain names");
  if (!all) return 1;
  auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(fn["Stock_Init"]));
  auto quit = reinterpret_cast<QuitFn>(reinterpret_cast<void*>(fn["Stock_Quit"]));
  auto start = reinterpret_cast<StartFn>(reinterpret_cast<void*>(fn["Stock_Start"]));
  auto setLabels = reinterpret_cast<SetLabelsFn>(reinterpret_cast<void*>(fn["Stock_SetLabels"]));
  auto getInfo = reinterpret_cast<GetInfoFn>(reinterpret_cast<void*>(fn["Stock_GetStockInfo"]));

  WNDCLASSW wc{};
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"DraskenProbe";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(L"DraskenProbe", L"drasken probe", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                              nullptr, wc.hInstance, nullptr);

  // The watched codes: the first two of the tape, in a three-slot array
  // with an unused slot between them; the third code is not watched.
  std::vector<std::string> codes;
  for (const auto& line : tape.lines)
    if (std::find(codes.begin(), codes.end(), Code(line.report)) == codes.end()) codes.push_back(Code(line.report));
  if (codes.size() < 3) {
    std::fprintf(stderr, "the tape wants three codes\n");
    return 2;
  }
  std::vector<TStockLabel> labels(3);
  base::WriteFixedText(labels[0].code, codes[0]);
  base::WriteFixedText(labels[2].code, codes[1]);
  std::vector<TQuoteReport> expected;
  std::map<std::string, TQuoteReport> newest;
  for (const auto& line : tape.lines) {
    newest[Code(line.report)] = line.report;
    if (Code(line.report) != codes[2]) expected.push_back(line.report);
  }

  // The engine start of a login: labels, Init, Start with the session record.
  quotes::TLoginSessionRecord session{};
  base::WriteFixedText(session.quoteServer, host);
  session.quotePort = quotePort;
  session.startToken = 4711;
  setLabels(labels.data(), 2);
  labels.assign(3, TStockLabel{});  // the program replaces its array: the engine must have copied it
  init(window, quotes::kQuoteMessage, 4);
  Check((start(&session, session.startToken, "probe") & 0xFF) != 0, "Stock_Start succeeds");

  // A few rows in, the feed drops and comes back.
  Check(PumpUntil([&] { return state.reports.size() >= 6; }, 15000), "quote packets arrive");
  std::string dropped = Admin(host, webPort, "/admin/quote-feed/drop");
  Check(dropped.find("\"ok\":true") != std::string::npos, "the feed drops through the control interface");
  Check(PumpUntil([&] { return state.lost == 1; }, 5000), "0x465 when the feed drops");
  PumpFor(400);
  Check(state.lost == 1 && state.restored == 0, "one 0x465 for the whole outage");
  Admin(host, webPort, "/admin/quote-feed/restore");
  Check(PumpUntil([&] { return state.restored == 1; }, 8000), "0x467 when the feed is back");
  Check(PumpUntil([&] { return state.reports.size() >= expected.size(); }, 20000), "every watched row arrives");
  PumpFor(300);

  bool inOrder = state.reports.size() == expected.size();
  for (size_t i = 0; inOrder && i < expected.size(); ++i)
    inOrder = std::memcmp(&state.reports[i], &expected[i], sizeof(TQuoteReport)) == 0;
  Check(inOrder, "the packets hold exactly the watched rows in tape order (" + std::to_string(state.reports.size()) +
                     " of " + std::to_string(expected.size()) + " in " + std::to_string(state.packets) + " packets)");
  Check(state.nestedDone && state.outerIntact && state.deepest >= 2,
        "a packet stays intact while nested quote messages are handled (depth " + std::to_string(state.deepest) + ")");
  Check(state.largestPacket > 1, "reports that arrive while the window is busy come batched (largest packet " +
                                     std::to_string(state.largestPacket) + ")");

  // Single quotes from four threads at once, watched or not, known or not.
  std::atomic<int> wrong{0}, calls{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        std::string code = i % 5 == 4 ? "999999" : codes[static_cast<size_t>(t + i) % 3];
        TQuoteReport buffer;
        std::memset(&buffer, 0x5A, sizeof buffer);
        getInfo(&buffer, (" " + code + " ").c_str(), host.c_str(), quotePort);
        TQuoteReport want{};
        if (newest.count(code)) want = newest[code];
        if (std::memcmp(&buffer, &want, sizeof buffer) != 0) ++wrong;
        ++calls;
      }
    });
  for (auto& t : threads) t.join();
  Check(calls == 80 && wrong == 0, "80 single quotes from 4 threads answer the newest rows (" +
                                       std::to_string(wrong.load()) + " wrong)");

  quit(window);
  size_t before = state.packets;
  FreeLibrary(dll);
  Check(GetModuleHandleW(reinterpret_cast<LPCWSTR>(u"drasken.dll")) == nullptr, "the DLL unloads after Stock_Quit");
  // The window still works without the engine's procedure.
  PostMessageW(window, quotes::kQuoteConnectionLost, 0, 0);
  PumpFor(100);
  Check(state.lost == 2 && state.packets == before, "the window handles its messages after the unload");
  DestroyWindow(window);
  std::printf("%s\n", failures ? "drasken probe FAILED" : "drasken probe passed");
  return failures ? 1 : 0;
}
