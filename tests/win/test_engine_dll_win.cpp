// The shipped quote engine drasken.dll under Wine, copied into an
// application folder whose drasken.ini names two loopback sources: the
// first accepts and never answers, the second answers. A single quote is
// answered by the second within its two seconds; the worker fails over and
// posts; Stock_Quit with a request in flight returns at once; the engine's
// log holds the sources, the failover and its cause. Figures printed.
#include <gtest/gtest.h>

#include <windows.h>

#include <asio.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "base/fixed_text.h"
#include "base/gbk.h"
#include "engine/engine_formats.h"
#include "quotes/Ustockdrv.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using quotes::TQuoteReport;
using quotes::TStockLabel;

// A loopback web server: silent ones read requests and never answer;
// answering ones give one comma-format record per request and close.
class Loopback {
 public:
  explicit Loopback(bool answers) : answers_(answers), acceptor_(io_, {asio::ip::make_address("127.0.0.1"), 0}) {
    Accept();
    thread_ = std::thread([this] { io_.run(); });
  }
  ~Loopback() {
    asio::post(io_, [this] {
      std::error_code ignored;
      acceptor_.close(ignored);
      for (auto& s : open_) s->close(ignored);
    });
    thread_.join();
  }
  uint16_t Port() const { return acceptor_.local_endpoint().port(); }
  int Requests() const { return requests_; }

 private:
  struct Connection {
    explicit Connection(asio::io_context& io) : socket(io) {}
    asio::ip::tcp::socket socket;
    std::string in;
    char buffer[4096];
    std::string out;
  };
  void Accept() {
    acceptor_.async_accept([this](std::error_code ec, asio::ip::tcp::socket socket) {
      if (ec) return;
      auto c = std::make_shared<Connection>(io_);
      c->socket = std::move(socket);
      open_.push_back(std::shared_ptr<asio::ip::tcp::socket>(c, &c->socket));
      Read(c);
      Accept();
    });
  }
  void Read(std::shared_ptr<Connection> c) {
    c->socket.async_read_some(asio::buffer(c->buffer), [this, c](std::error_code ec, size_t n) {
      if (ec) return;
      c->in.append(c->buffer, n);
      size_t end;
      while ((end = c->in.find("\r\n\r\n")) != std::string::npos) {
        ++requests_;
        std::string head = c->in.substr(0, end);
        c->in.erase(0, end + 4);
        if (!answers_) continue;
        size_t eq = head.find("list="), sp = head.find(' ', eq);
        std::string symbol = eq == std::string::npos ? "" : head.substr(eq + 5, sp - eq - 5);
        TQuoteReport r{};
        r.quoteTime = static_cast<int32_t>(std::time(nullptr));
        base::WriteFixedText(r.name, "name");
        r.prevClose = r.open = r.high = r.low = 10;
        r.newestPrice = 10.95f;
        r.volume = 1000;
        std::string body;
        engine::AppendAnswerLine(body, engine::Format::Comma, symbol, r);
        c->out = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                 "\r\nConnection: close\r\n\r\n" + body;
        asio::async_write(c->socket, asio::buffer(c->out), [c](std::error_code, size_t) {
          std::error_code ignored;
          c->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        });
        return;
      }
      Read(c);
    });
  }
  bool answers_;
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
  std::vector<std::shared_ptr<asio::ip::tcp::socket>> open_;
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// The DLL of this build; QV_ENGINE_DLL names another (an older build, to
// measure beside it).
std::filesystem::path BuiltEngine() {
  if (const wchar_t* other = _wgetenv(L"QV_ENGINE_DLL")) return other;
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path().parent_path() / "src" / "engine" / "drasken.dll";
}

int packets = 0;
LRESULT CALLBACK Receiver(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == quotes::kQuoteMessage && wp == quotes::kQuotePacketKind) ++packets;
  return DefWindowProcW(w, m, wp, lp);
}

template <class Pred>
bool PumpUntil(Pred pred, std::chrono::milliseconds timeout) {
  auto end = Clock::now() + timeout;
  while (!pred()) {
    if (Clock::now() > end) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

std::string Log(const std::filesystem::path& folder) {
  // The engine's day is Beijing's.
  std::time_t beijing = std::time(nullptr) + 8 * 3600;
  char name[32];
  std::strftime(name, sizeof name, "drasken-%Y%m%d.log", std::gmtime(&beijing));
  auto bytes = base::ReadFileBytes(base::PathToUtf8(folder / "log" / name));
  return bytes ? base::GbkToUtf8Lossy(*bytes) : std::string();
}

TEST(EngineDll, QuitsAtOnceDuringARequestAndTheLogSaysWhy) {
  const auto built = BuiltEngine();
  ASSERT_TRUE(std::filesystem::exists(built)) << built;
  testing_support::TempDir dir;
  std::filesystem::copy_file(built, dir.path() / "drasken.dll");
  Loopback silent(false), live(true);
  const std::string silentBase = "http://127.0.0.1:" + std::to_string(silent.Port()) + "/list=";
  {
    std::ofstream ini(dir.path() / "drasken.ini", std::ios::binary);
    ini << "[sources]\r\norder=Silent,Live\r\nsilent=" << silentBase << "\r\nsilent.format=comma\r\nlive=http://127.0.0.1:"
        << live.Port() << "/list=\r\nlive.format=comma\r\ninterval_ms=100\r\nidle_interval_ms=100\r\n";
  }
  HMODULE dll = LoadLibraryW((dir.path() / "drasken.dll").wstring().c_str());
  ASSERT_NE(dll, nullptr);
  auto fn = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(dll, name)); };
  auto init = reinterpret_cast<int(__stdcall*)(HWND, UINT, int)>(fn("Stock_Init"));
  auto quit = reinterpret_cast<int(__stdcall*)(HWND)>(fn("Stock_Quit"));
  auto start = reinterpret_cast<int(__stdcall*)(const void*, int32_t, const char*)>(fn("Stock_Start"));
  auto labels = reinterpret_cast<int(__stdcall*)(const TStockLabel*, int32_t)>(fn("Stock_SetLabels"));
  auto info = reinterpret_cast<int(__stdcall*)(void*, const char*, const char*, int32_t)>(fn("Stock_GetStockInfo"));
  auto limits = reinterpret_cast<int(__stdcall*)(const char*, double*, double*)>(fn("Stock_GetLimits"));
  ASSERT_TRUE(init && quit && start && labels && info);
  EXPECT_TRUE(limits);

  // A single quote: the first source silent, the second answers in time.
  TQuoteReport r{};
  auto t0 = Clock::now();
  EXPECT_EQ(info(&r, "000001", "127.0.0.1", 7709), 1);
  auto single = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0);
  std::printf("Stock_GetStockInfo, first source silent: %lld ms (limit 2000 ms)\n",
              static_cast<long long>(single.count()));
  EXPECT_LT(single, 2100ms);
  EXPECT_FLOAT_EQ(r.newestPrice, 10.95f);
  EXPECT_EQ(quotes::ReportCode(r), "000001");
  double up = -1, down = -1;
  if (limits) {
    EXPECT_EQ(limits("000001", &up, &down), 0);  // the comma format publishes none
  }
  EXPECT_EQ(up, -1);

  WNDCLASSW wc{};
  wc.lpfnWndProc = Receiver;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"EngineDllTest";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(L"EngineDllTest", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                              wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  TStockLabel label{};
  base::WriteFixedText(label.code, "000001");
  label.market = quotes::kMarketShenzhen;
  labels(&label, 0);
  init(window, quotes::kQuoteMessage, 4);
  char session[128] = {};
  ASSERT_NE(start(session, 0, "user") & 0xFF, 0);
  // The silent source's time-out, then the live one posts.
  const int asked = silent.Requests();
  ASSERT_TRUE(PumpUntil([&] { return packets > 0; }, 8s));
  // Back-off over, the silent source is asked again: quit while it hangs.
  ASSERT_TRUE(PumpUntil([&] { return silent.Requests() > asked + 1; }, 8s));
  PumpUntil([] { return false; }, 100ms);
  t0 = Clock::now();
  quit(window);
  auto quitTook = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0);
  std::printf("Stock_Quit with a request in flight: %lld ms (limit 200 ms; request time-out 3000 ms)\n",
              static_cast<long long>(quitTook.count()));
  EXPECT_LT(quitTook, 200ms);
  const int after = packets;
  PumpUntil([] { return false; }, 300ms);
  EXPECT_EQ(packets, after);  // nothing posted after the quit

  const std::string log = Log(dir.path());
  std::printf("%s", log.c_str());
  EXPECT_NE(log.find("行情源: silent (comma) " + silentBase + "; live (comma)"), std::string::npos) << log;
  EXPECT_NE(log.find("行情源 silent 失效: no answer in time"), std::string::npos) << log;
  EXPECT_NE(log.find("改问下一个行情源"), std::string::npos) << log;
  // Pinned by its WinHTTP transport, whose callbacks may outlive a closed
  // request: FreeLibrary leaves it loaded, and nothing of it runs any more.
  FreeLibrary(dll);
  EXPECT_NE(GetModuleHandleW(L"drasken.dll"), nullptr);
  DestroyWindow(window);
}

}  // namespace
