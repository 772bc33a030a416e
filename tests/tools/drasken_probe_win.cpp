// drasken_probe: binds the shipped quote engine drasken.dll as the program
// does and works its seven exports against a running quorvel-sim-server
// that plays a stepped tape on its comma and tilde formats (started by
// tests/e2e/quote_engine.sh, which also writes the engine's drasken.ini).
// The probe releases the tape row by row and checks: 0x463 packets with
// 0x3F001234 holding the tape's prices under the program's codes, exactly
// the watched rows in tape order, a packet intact while nested quote
// messages run, one poll's changes in one packet; the tilde format carrying
// on when the comma format fails, 0x465 once when both fail and 0x467 when
// one is back; single quotes from four threads at once (a code no source
// knows leaves the buffer as it was); Stock_Quit and an unload that leaves
// the window working.
//
//   drasken_probe DLL TAPE HOST WEB_PORT
#include <windows.h>

#include <asio.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
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
using ReceiverFn = int(__stdcall*)(HWND, UINT);
using StartFn = int(__stdcall*)(const void*, int32_t, const char*);
using SetLabelsFn = int(__stdcall*)(const TStockLabel*, int32_t);
using GetInfoFn = int(__stdcall*)(void*, const char*, const char*, int32_t);
using NewReportFn = int(__stdcall*)(void*, const char*);

int failures = 0;
void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

std::string Code(const TQuoteReport& r) { return std::string(quotes::ReportCode(r)); }

// What a report must carry of its tape row.
bool SameQuote(const TQuoteReport& got, const TQuoteReport& row) {
  auto within = [](float a, float b) { return std::fabs(a - b) < 0.0005f; };
  return Code(got) == Code(row) && got.market == row.market && got.quoteTime == row.quoteTime &&
         within(got.newestPrice, row.newestPrice) && within(got.prevClose, row.prevClose) && within(got.open, row.open) &&
         within(got.high, row.high) && within(got.low, row.low);
}

// POST to the control interface; true when it answered 200.
std::string gHost;
int gWebPort = 0;
bool Admin(const std::string& path, const std::string& body = "") {
  try {
    asio::io_context io;
    asio::ip::tcp::socket s(io);
    s.connect({asio::ip::make_address(gHost), static_cast<uint16_t>(gWebPort)});
    std::string req = "POST " + path + " HTTP/1.1\r\nHost: " + gHost + "\r\nContent-Type: application/json\r\n" +
                      "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    asio::write(s, asio::buffer(req));
    std::string all;
    char buf[1024];
    std::error_code ec;
    for (size_t n; (n = s.read_some(asio::buffer(buf), ec)) > 0 || !ec;) all.append(buf, n);
    return all.rfind("HTTP/1.1 200", 0) == 0;
  } catch (const std::exception&) {
    return false;
  }
}

struct State {
  std::vector<TQuoteReport> reports;
  size_t packets = 0;
  int32_t largestPacket = 0;
  bool wrongKind = false;
  int lost = 0, restored = 0;
  // The rows released so far; the first packet's handling releases one more.
  size_t released = 0;
  bool nestedDone = false, outerIntact = false, slow = false, slowDone = false;
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

bool Release(size_t rows) {
  state.released += rows;
  return Admin("/admin/tape/release", "{\"rows\":" + std::to_string(rows) + "}");
}

LRESULT CALLBACK ProbeProc(HWND window, UINT m, WPARAM w, LPARAM l) {
  if (m == quotes::kQuoteMessage) {
    if (w != quotes::kQuotePacketKind) {
      state.wrongKind = true;
      return 0;
    }
    auto packet = quotes::ReadPacket(reinterpret_cast<const void*>(l));
    ++state.packets;
    state.largestPacket = std::max(state.largestPacket, packet.count);
    std::vector<TQuoteReport> mine;
    for (int32_t i = 0; i < packet.count; ++i) mine.push_back(packet.At(i));
    state.reports.insert(state.reports.end(), mine.begin(), mine.end());
    state.deepest = std::max(state.deepest, ++state.depth);
    if (!state.nestedDone) {
      // As the program does while it types an order: other messages run,
      // the next row's packet among them, before this one returns.
      state.nestedDone = true;
      Release(1);
      PumpUntil([] { return state.deepest >= 2; }, 5000);
      bool same = true;
      for (int32_t i = 0; i < packet.count; ++i) {
        TQuoteReport again = packet.At(i);
        same = same && std::memcmp(&again, &mine[static_cast<size_t>(i)], sizeof again) == 0;
      }
      state.outerIntact = same;
    } else if (state.slow && !state.slowDone && state.depth == 1) {
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: drasken_probe DLL TAPE HOST WEB_PORT\n");
    return 2;
  }
  gHost = argv[3];
  gWebPort = std::atoi(argv[4]);
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
  auto receiver = reinterpret_cast<ReceiverFn>(reinterpret_cast<void*>(fn["SetupReceiver"]));
  auto start = reinterpret_cast<StartFn>(reinterpret_cast<void*>(fn["Stock_Start"]));
  auto setLabels = reinterpret_cast<SetLabelsFn>(reinterpret_cast<void*>(fn["Stock_SetLabels"]));
  auto getInfo = reinterpret_cast<GetInfoFn>(reinterpret_cast<void*>(fn["Stock_GetStockInfo"]));
  auto newReport = reinterpret_cast<NewReportFn>(reinterpret_cast<void*>(fn["Stock_GetStockNewReport"]));

  WNDCLASSW wc{};
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"DraskenProbe";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(L"DraskenProbe", L"drasken probe", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                              nullptr, wc.hInstance, nullptr);

  // The watched codes: the first two of the tape (a stock and an index, the
  // index under the program's code), in a three-slot array with an unused
  // slot between them and no market; the third code is not watched.
  std::vector<std::string> codes;
  for (const auto& line : tape.lines)
    if (std::find(codes.begin(), codes.end(), Code(line.report)) == codes.end()) codes.push_back(Code(line.report));
  if (codes.size() < 3 || tape.lines.size() < 12) {
    std::fprintf(stderr, "the tape wants three codes and twelve rows\n");
    return 2;
  }
  std::vector<TStockLabel> labels(3);
  base::WriteFixedText(labels[0].code, codes[0]);
  base::WriteFixedText(labels[2].code, codes[1]);
  // Per row: the number of watched rows up to and including it.
  std::vector<size_t> watchedUpTo;
  std::vector<TQuoteReport> expected;
  std::map<std::string, TQuoteReport> newestRow;
  for (const auto& line : tape.lines) {
    newestRow[Code(line.report)] = line.report;
    if (Code(line.report) != codes[2]) expected.push_back(line.report);
    watchedUpTo.push_back(expected.size());
  }
  const auto& newest = newestRow;
  // Releases rows up to (not including) `end` one at a time, each watched
  // row waited for in the packets.
  auto play = [&](size_t end, const char* what) {
    bool ok = true;
    while (ok && state.released < end) {
      ok = Release(1);
      size_t want = watchedUpTo[state.released - 1];
      ok = ok && PumpUntil([&] { return state.reports.size() >= want; }, 10000);
    }
    Check(ok, std::string("rows up to ") + std::to_string(end) + " arrive " + what);
  };

  // The engine start of a login: labels, Init, Start with the session
  // record (whose quote server this engine does not use).
  quotes::TLoginSessionRecord session{};
  base::WriteFixedText(session.quoteServer, "127.0.0.1");
  session.quotePort = 7709;
  session.startToken = 4711;
  setLabels(labels.data(), 2);
  labels.assign(3, TStockLabel{});  // the program replaces its array: the engine must have copied it
  receiver(window, quotes::kQuoteMessage);
  init(window, quotes::kQuoteMessage, 4);
  Check((start(&session, session.startToken, "probe") & 0xFF) != 0, "Stock_Start succeeds");

  // Both formats up. The first packet's handling releases the next row and
  // lets its packet run nested; then two watched rows at once.
  Check(Release(1), "the tape's first row is released");
  Check(PumpUntil([&] { return state.reports.size() >= watchedUpTo[1]; }, 15000), "quote packets arrive");
  Check(!state.wrongKind, "every quote message carries 0x3F001234");
  Check(state.nestedDone && state.outerIntact && state.deepest >= 2,
        "a packet stays intact while a nested quote message is handled (depth " + std::to_string(state.deepest) + ")");
  play(3, "from the comma format");
  Release(2);
  bool both = PumpUntil([&] { return state.reports.size() >= watchedUpTo[4]; }, 10000);
  Check(both && state.largestPacket == 2,
        "two watched rows played together come in one packet (largest packet " +
            std::to_string(state.largestPacket) + ")");
  play(6, "from the comma format");

  // The comma format fails: the tilde format carries on, no notice.
  Check(Admin("/admin/quote-format/comma/fail"), "the comma format fails through the control interface");
  play(9, "from the tilde format once the comma format fails");
  Check(state.lost == 0, "no 0x465 while one source answers");

  // Both fail: one 0x465 for the whole outage; the tilde format (whose
  // back-off is the shorter) comes back: 0x467.
  Check(Admin("/admin/quote-format/tilde/fail"), "the tilde format fails too");
  Check(PumpUntil([] { return state.lost == 1; }, 10000), "0x465 when every source fails");
  PumpFor(2500);
  Check(state.lost == 1 && state.restored == 0, "one 0x465 for the whole outage, retries included");
  Check(Admin("/admin/quote-format/tilde/recover"), "the tilde format recovers");
  Check(PumpUntil([] { return state.restored == 1; }, 10000), "0x467 when a source answers again");
  state.slow = true;
  play(tape.lines.size(), "after the outage, past a slow handling");
  PumpFor(300);
  Check(state.slowDone, "a packet's handling took 250 ms without letting anything run");

  // Exactly the watched rows, each code's in tape order (one poll's changes
  // come in the order of the request's symbols); during a session the
  // engine repeats an unchanged report every 20 s, which is nothing new.
  std::map<std::string, std::vector<TQuoteReport>> changes, rows;
  size_t repeats = 0;
  for (const auto& r : state.reports) {
    auto& mine = changes[Code(r)];
    if (!mine.empty() && std::memcmp(&mine.back(), &r, sizeof r) == 0)
      ++repeats;
    else
      mine.push_back(r);
  }
  for (const auto& r : expected) rows[Code(r)].push_back(r);
  bool inOrder = changes.size() == rows.size();
  size_t arrived = 0;
  for (const auto& [code, want] : rows) {
    const auto& got = changes[code];
    arrived += got.size();
    for (size_t i = 0; i < std::max(got.size(), want.size()); ++i)
      if (i >= got.size() || i >= want.size() || !SameQuote(got[i], want[i])) {
        inOrder = false;
        std::printf("  %s #%zu: %s\n", code.c_str(), i,
                    i < got.size() ? ("got " + Code(got[i]) + " at " + std::to_string(got[i].newestPrice) + " time " +
                                      std::to_string(got[i].quoteTime) + " market " + std::to_string(got[i].market))
                                         .c_str()
                                   : "missing");
      }
  }
  Check(inOrder, "the packets hold exactly the watched rows, each code's in tape order, with the tape's prices "
                 "under the program's codes (" + std::to_string(arrived) + " of " + std::to_string(expected.size()) +
                     " in " + std::to_string(state.packets) + " packets, " + std::to_string(repeats) + " repeats)");

  // The newest report received, without asking a source.
  TQuoteReport cached;
  Check(newReport(&cached, codes[1].c_str()) == 1 && SameQuote(cached, newest.at(codes[1])),
        "Stock_GetStockNewReport gives the newest report of " + codes[1]);

  // Single quotes from four threads at once: watched, not watched, unknown.
  std::atomic<int> wrong{0}, calls{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        const bool unknown = i % 5 == 4;
        std::string code = unknown ? "999999" : codes[static_cast<size_t>(t + i) % 3];
        TQuoteReport buffer;
        std::memset(&buffer, 0x5A, sizeof buffer);
        TQuoteReport untouched = buffer;
        int answered = getInfo(&buffer, (" " + code + " ").c_str(), "127.0.0.1", 7709);
        bool right = unknown ? answered == 0 && std::memcmp(&buffer, &untouched, sizeof buffer) == 0
                             : answered == 1 && SameQuote(buffer, newest.at(code));
        if (!right) ++wrong;
        ++calls;
      }
    });
  for (auto& t : threads) t.join();
  Check(calls == 40 && wrong == 0,
        "40 single quotes from 4 threads: the newest rows, and an unknown code leaves the buffer untouched (" +
            std::to_string(wrong.load()) + " wrong)");

  quit(window);
  size_t before = state.packets;
  FreeLibrary(dll);
  // WinHTTP may still call back into the engine after its requests are
  // closed, so once it has fetched the engine stays loaded to the end of the
  // process; what matters is that the window no longer runs its code.
  Check(GetModuleHandleW(L"drasken.dll") != nullptr, "the DLL stays pinned after Stock_Quit and FreeLibrary");
  // The window still works without the engine's procedure.
  PostMessageW(window, quotes::kQuoteConnectionLost, 0, 0);
  PumpFor(100);
  Check(state.lost == 2 && state.packets == before, "the window handles its messages after the unload");
  DestroyWindow(window);
  std::printf("%s\n", failures ? "drasken probe FAILED" : "drasken probe passed");
  return failures ? 1 : 0;
}
