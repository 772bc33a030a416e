// The quote engine binding against a small engine DLL copied into an
// application folder as drasken.dll, and against a folder without one: the
// exports found, the calls and their arguments as the engine sees them,
// the engine start of a login, and single-quote requests side by side; and
// the live-price updater bound to a real label.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "account/unt_accountservice_win.h"
#include "base/fixed_text.h"
#include "quotes/Ustockdrv_win.h"
#include "quotes/login_session.h"
#include "quotes/unt_getstockinfotread_win.h"
#include "quotes/unt_externalapi.h"
#include "support/temp_dir.h"
#include "win/all_win.h"

namespace {

using quotes::TQuoteReport;

std::filesystem::path ExeFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path();
}

struct ProbeLog {
  std::string text;
  int mostInFlight = 0;
};

ProbeLog ReadProbe(const wchar_t* library = L"drasken.dll") {
  using LogFn = int32_t(__stdcall*)(char*, int32_t);
  HMODULE probe = GetModuleHandleW(library);
  auto log = reinterpret_cast<LogFn>(reinterpret_cast<void*>(GetProcAddress(probe, "Probe_Log")));
  if (!log) return {};
  std::vector<char> buffer(8192);
  ProbeLog r;
  r.mostInFlight = log(buffer.data(), static_cast<int32_t>(buffer.size()));
  r.text = buffer.data();
  return r;
}

class QuoteBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = base::PathToUtf8(dir.path()) + "\\";
    std::memset(&quotes::LoginSession(), 0, sizeof(quotes::TLoginSessionRecord));
  }
  void InstallEngine() {
    const std::filesystem::path probe = ExeFolder() / "engine_probe.dll";
    std::filesystem::copy_file(probe, dir.path() / "drasken.dll");
  }
  testing_support::TempDir dir;
  std::string folder;
};

TEST_F(QuoteBinding, MissingLibraryLeavesEveryCallSkipped) {
  quotes::TStockDrv engine;
  EXPECT_FALSE(engine.Bind(folder));
  EXPECT_FALSE(engine.Loaded());
  TQuoteReport report{};
  report.newestPrice = 7.5f;
  EXPECT_FALSE(quotes::RequestQuote(engine, "600000", report));
  EXPECT_FLOAT_EQ(report.newestPrice, 7.5f);
  double up = 1, down = 2;
  EXPECT_FALSE(engine.GetLimits("600000", up, down));
  EXPECT_EQ(up, 1);
  EXPECT_EQ(down, 2);
  bool loggedIn = true;
  int shown = 0;
  quotes::EngineStartArgs args;
  args.session = &quotes::LoginSession();
  EXPECT_TRUE(quotes::StartQuoteEngine(engine, args, loggedIn, [&](const std::string&, const std::string&) { ++shown; }));
  EXPECT_TRUE(loggedIn);
  EXPECT_EQ(shown, 0);
  engine.Quit(0);
}

TEST_F(QuoteBinding, EngineSeesTheCallsOfALoginAndConcurrentQuotes) {
  InstallEngine();
  quotes::TStockDrv engine;
  ASSERT_TRUE(engine.Bind(folder));
  const auto bound = engine.Bound();
  EXPECT_TRUE(bound.init && bound.quit && bound.start && bound.setLabels && bound.getStockInfo && bound.getLimits);
  EXPECT_FALSE(bound.setupReceiver || bound.getStockNewReport);

  quotes::TLoginSessionRecord& session = quotes::LoginSession();
  base::WriteFixedText(session.quoteServer, "127.0.0.1");
  session.quotePort = 7709;
  session.startToken = 4242;
  quotes::TStockLabel labels[2] = {};
  std::memcpy(labels[0].code, "600000", 6);
  labels[0].market = quotes::kMarketShanghai;
  std::memcpy(labels[1].code, "000001", 6);
  const HWND window = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);

  // A login: labels, Init, Start with the record's server, port and token.
  quotes::EngineStartArgs args;
  args.mainWindow = reinterpret_cast<uintptr_t>(window);
  args.labels = labels;
  args.highestLabel = 1;
  args.session = &session;
  args.userId = "trader1";
  bool loggedIn = true;
  std::vector<std::string> shown;
  auto show = [&](const std::string& text, const std::string& title) { shown.push_back(title + text); };
  EXPECT_TRUE(quotes::StartQuoteEngine(engine, args, loggedIn, show));
  EXPECT_TRUE(loggedIn);
  EXPECT_EQ(ReadProbe().text,
            "labels 1 600000 000001\n"
            "init window 0x463 4\n"
            "start 127.0.0.1:7709 token 4242 user trader1\n");

  // A refused start: the flag cleared, one Quit, the message.
  args.userId = "refuse";
  args.labels = nullptr;
  EXPECT_FALSE(quotes::StartQuoteEngine(engine, args, loggedIn, show));
  EXPECT_FALSE(loggedIn);
  EXPECT_EQ(ReadProbe().text,
            "labels -1 null\n"
            "init window 0x463 4\n"
            "start 127.0.0.1:7709 token 4242 user refuse\n"
            "quit window\n");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "提示！启动盯盘模块失败，请重新登录！");

  // Four threads ask at once; the requests overlap in the engine. A code it
  // does not know leaves the buffer as it was.
  std::atomic<int> filled{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      TQuoteReport r{};
      quotes::RequestQuote(engine, " 600000 ", r);
      if (r.newestPrice == 10.25f && base::ReadFixedUtf8(r.name) == "浦发银行") ++filled;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(filled.load(), 4);
  const ProbeLog quotesLog = ReadProbe();
  EXPECT_GE(quotesLog.mostInFlight, 2);
  EXPECT_NE(quotesLog.text.find("quote 600000 127.0.0.1:7709"), std::string::npos);
  TQuoteReport unknown{};
  unknown.newestPrice = 3.5f;
  EXPECT_TRUE(quotes::RequestQuote(engine, "999999", unknown));
  EXPECT_FLOAT_EQ(unknown.newestPrice, 3.5f);

  // The optional limits: known ones filled, unknown ones leave both alone.
  double up = 0, down = 0;
  EXPECT_TRUE(engine.GetLimits("600000", up, down));
  EXPECT_DOUBLE_EQ(up, 11.28);
  EXPECT_DOUBLE_EQ(down, 9.22);
  up = down = 5;
  EXPECT_FALSE(engine.GetLimits("999999", up, down));
  EXPECT_EQ(up, 5);
  EXPECT_EQ(down, 5);
  EXPECT_NE(ReadProbe().text.find("limits 600000\nlimits 999999\n"), std::string::npos);

  engine.Unbind();
  EXPECT_EQ(GetModuleHandleW(L"drasken.dll"), nullptr);
  EXPECT_FALSE(engine.GetLimits("600000", up, down));
  DestroyWindow(window);
}

// A library that fails inside a call (an access violation, an exception of
// its own language) ends that call only, on any thread, as often as it
// happens: the caller's buffer stays as it was and the program goes on.
TEST_F(QuoteBinding, AFaultInsideAnOutsideLibraryEndsOnlyThatCall) {
  InstallEngine();
  quotes::TStockDrv engine;
  ASSERT_TRUE(engine.Bind(folder));
  for (const char* code : {"900001", "900002", "900001"}) {
    TQuoteReport report{};
    report.newestPrice = 7.5f;
    EXPECT_FALSE(quotes::RequestQuote(engine, code, report)) << code;
    EXPECT_FLOAT_EQ(report.newestPrice, 7.5f);
    EXPECT_EQ(report.market, 0);
  }
  bool workerGot = true;
  std::thread([&] {
    TQuoteReport r{};
    workerGot = quotes::RequestQuote(engine, "900001", r);
  }).join();
  EXPECT_FALSE(workerGot);
  TQuoteReport report{};
  EXPECT_TRUE(quotes::RequestQuote(engine, "600000", report));
  EXPECT_FLOAT_EQ(report.newestPrice, 10.25f);

  // The account service's online-time call, from the same kind of library.
  std::filesystem::copy_file(ExeFolder() / "engine_probe.dll", dir.path() / "velmora.dll");
  account::BindAccountService(folder);
  account::AccountService().UpdateOnlineTime("fault");
  account::AccountService().UpdateOnlineTime("demo");
  EXPECT_EQ(ReadProbe(L"velmora.dll").text, "online demo\n");
  account::UnbindAccountService();
  engine.Unbind();
}

// An editor that changes its code, a window that closes, the program that
// ends: none of them waits for a single-quote request in flight. The
// request finishes on its own with the library still loaded, which is
// released once nothing is inside it.
TEST_F(QuoteBinding, NothingWaitsForASlowRequestInFlight) {
  InstallEngine();
  auto engine = std::make_shared<quotes::TStockDrv>();
  ASSERT_TRUE(engine->Bind(folder));
  using InFlightFn = int32_t(__stdcall*)();
  auto inFlight = reinterpret_cast<InFlightFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"drasken.dll"), "Probe_InFlight")));
  ASSERT_NE(inFlight, nullptr);

  win::App::Init();
  win::GuiQueue queue;
  win::Window form({.title = "editor", .rect = {0, 0, 200, 60}});
  win::Label label(form, {.text = "", .rect = {10, 10, 100, 20}});
  auto request = [engine](const std::string& code, TQuoteReport& out) { quotes::RequestQuote(*engine, code, out); };
  auto fast = [](std::chrono::milliseconds, const std::atomic<bool>&) { Sleep(5); };
  auto live = std::make_unique<quotes::TLivePriceLabel>("900003", label, queue.Poster(), request, fast);
  ASSERT_TRUE(win::PumpUntil([&] { return inFlight() == 1; }, 3000));
  auto t0 = std::chrono::steady_clock::now();
  live.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(700));

  t0 = std::chrono::steady_clock::now();
  engine->Unbind();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(700));
  EXPECT_NE(GetModuleHandleW(L"drasken.dll"), nullptr);  // still inside it
  EXPECT_EQ(inFlight(), 1);

  ASSERT_TRUE(win::PumpUntil([&] { return inFlight() == 0; }, 5000));
  EXPECT_EQ(ReadProbe().text.find("quote 900003"), 0u);
  engine->Unbind();
  EXPECT_EQ(GetModuleHandleW(L"drasken.dll"), nullptr);
  EXPECT_EQ(label.Text(), "");  // nothing landed after the label's end
}

}  // namespace

namespace {

// An editor's label kept current by the updater: captions arrive on the GUI
// thread, the last one empties it, and nothing lands after destruction.
TEST(LivePriceLabelWin, CaptionsReachTheLabelOnTheGuiThread) {
  win::App::Init();
  win::GuiQueue queue;
  win::Window form({.title = "editor", .rect = {0, 0, 200, 60}});
  win::Label label(form, {.text = "", .rect = {10, 10, 100, 18}});
  const DWORD guiThread = GetCurrentThreadId();
  std::atomic<DWORD> requestThread{0};
  auto request = [&](const std::string&, quotes::TQuoteReport& out) {
    requestThread = GetCurrentThreadId();
    out.newestPrice = 10.25f;
  };
  auto fast = [](std::chrono::milliseconds, const std::atomic<bool>&) { Sleep(5); };
  auto live = std::make_unique<quotes::TLivePriceLabel>("600000", label, queue.Poster(), request, fast);
  ASSERT_TRUE(win::PumpUntil([&] { return label.Text() == "10.250"; }, 3000));
  EXPECT_NE(requestThread.load(), guiThread);
  live->Stop();
  ASSERT_TRUE(win::PumpUntil([&] { return label.Text().empty(); }, 3000));
  live.reset();
  label.SetText("kept");
  win::PumpUntil([] { return false; }, 50);
  EXPECT_EQ(label.Text(), "kept");
}

}  // namespace
