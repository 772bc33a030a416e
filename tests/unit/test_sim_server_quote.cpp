// quorvel-sim-server's quote feed, web pages and control interface, worked
// in process by the stand-in engine's own worker (the code drasken.dll
// runs) and by an HTTP client, as the program and a test script meet them.
#include <gtest/gtest.h>
#include <httplib.h>

#include <asio.hpp>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "base/fixed_text.h"
#include "base/gbk.h"
#include "quote_engine_core.h"
#include "quotes/quote_tape.h"
#include "sim_server.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using quotes::TQuoteReport;
using quotes::TStockLabel;
using Clock = std::chrono::steady_clock;

// The server's services on their own io thread, as server_main runs them.
struct Server {
  simserver::ServerOptions options;
  std::unique_ptr<simserver::Recorder> recorder;
  simserver::ControlHooks hooks;
  asio::io_context io;
  std::vector<simserver::ServicePtr> services;
  std::thread thread;

  void Start() {
    recorder = std::make_unique<simserver::Recorder>(options.recordPath);
    services.push_back(simserver::StartQuoteFeed(io, options, *recorder, hooks));
    services.push_back(simserver::StartWebPages(io, options, *recorder, hooks));
    thread = std::thread([this] { io.run(); });
  }
  ~Server() {
    io.stop();
    if (thread.joinable()) thread.join();
    while (!services.empty()) services.pop_back();
  }
};

// What the engine's worker tells the program, with arrival times.
struct Events : quoteengine::IEngineEvents {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<TQuoteReport> reports;
  std::vector<Clock::time_point> times;
  std::vector<std::string> notices;

  void Reports(const TQuoteReport* r, size_t n) override {
    std::lock_guard lock(mutex);
    for (size_t i = 0; i < n; ++i) reports.push_back(r[i]), times.push_back(Clock::now());
    changed.notify_all();
  }
  void FeedLost() override { Notice("lost"); }
  void FeedRestored() override { Notice("restored"); }
  void Notice(const char* what) {
    std::lock_guard lock(mutex);
    notices.push_back(what);
    changed.notify_all();
  }
  template <class Pred>
  bool WaitFor(Pred pred, std::chrono::milliseconds limit = 5000ms) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, limit, [&] { return pred(); });
  }
};

TStockLabel Label(const char* code) {
  TStockLabel l{};
  base::WriteFixedText(l.code, code);
  l.market = quotes::kMarketShanghai;
  return l;
}

std::string Code(const TQuoteReport& r) { return std::string(quotes::ReportCode(r)); }

constexpr char kTape[] =
    "time,code,market,name,prev_close,open,high,low,price\n"
    "2012-05-18 10:31:00,600000,SH,浦发银行,10.100,10.150,10.900,10.050,10.200\n"
    "2012-05-18 10:31:01,000001,SZ,平安银行,9.100,9.150,9.900,9.050,9.200\n"
    "2012-05-18 10:31:02,600036,SH,招商银行,12.000,12.100,12.300,11.900,12.050\n"
    "2012-05-18 10:31:03,600000,SH,浦发银行,10.100,10.150,10.900,10.050,10.300\n"
    "2012-05-18 10:31:04,000001,SZ,平安银行,9.100,9.150,9.900,9.050,9.250\n"
    "2012-05-18 10:31:05,600036,SH,招商银行,12.000,12.100,12.300,11.900,12.150\n"
    "2012-05-18 10:31:06,600000,SH,浦发银行,10.100,10.150,10.900,10.050,10.400\n"
    "2012-05-18 10:31:07,000001,SZ,平安银行,9.100,9.150,9.900,9.050,9.300\n";

std::vector<nlohmann::json> RecordLines(const std::string& path) {
  std::vector<nlohmann::json> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

size_t CountEvents(const std::vector<nlohmann::json>& lines, const std::string& event) {
  size_t n = 0;
  for (const auto& l : lines) n += l.value("event", "") == event;
  return n;
}

}  // namespace

// An engine subscribes two of three codes: it receives exactly their tape
// rows, in tape order, with the tape's fields, a pace apart; single quotes
// answer the newest row played; a drop closes the feed (the engine says so
// once and keeps trying), pauses playback, and after the restore the rest
// of the tape arrives with nothing lost or doubled.
TEST(SimServerQuoteFeed, PlaysTheTapeToSubscribersThroughDropAndRestore) {
  testing_support::TempDir dir;
  std::ofstream(dir.File("tape.csv")) << kTape;
  auto tape = quotes::ParseTape(kTape);
  ASSERT_TRUE(tape.ok);

  Server server;
  server.options.host = "127.61.0.1";
  server.options.quotePort = 17709;
  server.options.webPort = 17780;
  server.options.tapePath = dir.File("tape.csv");
  server.options.paceMs = 60;
  server.options.recordPath = dir.File("record.jsonl");
  server.Start();
  const std::string host = server.options.host;
  const int port = server.options.quotePort;

  // Known but not played yet: an all-zero answer.
  TQuoteReport answer;
  std::memset(&answer, 0xAB, sizeof answer);
  ASSERT_TRUE(quoteengine::QueryQuote(host, port, "600000", answer));
  EXPECT_EQ(answer.quoteTime, 0);
  EXPECT_EQ(Code(answer), "");

  Events events;
  quoteengine::QuoteEngineCore engine(events, {20ms, 200ms});
  // Labels before the start, as the program publishes them at login.
  std::vector<TStockLabel> labels = {Label("600000"), TStockLabel{}, Label("000001")};
  engine.SetLabels(labels.data(), static_cast<int32_t>(labels.size()) - 1);
  ASSERT_TRUE(engine.Start(host, port, 77, "alice"));

  std::vector<TQuoteReport> expected;
  for (const auto& line : tape.lines)
    if (Code(line.report) != "600036") expected.push_back(line.report);

  // Two rows in, the feed drops.
  ASSERT_TRUE(events.WaitFor([&] { return events.reports.size() >= 2; }));
  server.hooks.setQuoteFeedUp(false);
  ASSERT_TRUE(events.WaitFor([&] { return !events.notices.empty(); }));
  EXPECT_FALSE(quoteengine::QueryQuote(host, port, "600000", answer, 500ms));
  std::this_thread::sleep_for(300ms);  // several reconnection attempts, no rows meanwhile
  size_t duringDrop = 0;
  {
    std::lock_guard lock(events.mutex);
    duringDrop = events.reports.size();
    EXPECT_EQ(events.notices, std::vector<std::string>{"lost"});
  }
  EXPECT_LE(duringDrop, 3u);
  server.hooks.setQuoteFeedUp(true);
  ASSERT_TRUE(events.WaitFor([&] { return events.reports.size() >= expected.size(); }));
  std::this_thread::sleep_for(150ms);  // nothing more may follow

  {
    std::lock_guard lock(events.mutex);
    EXPECT_EQ(events.notices, (std::vector<std::string>{"lost", "restored"}));
    ASSERT_EQ(events.reports.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(std::memcmp(&events.reports[i], &expected[i], sizeof(TQuoteReport)), 0);
    }
    // 600000 and 000001 rows 0 and 1 are tape rows 0 and 1: a pace apart.
    EXPECT_GE(events.times[1] - events.times[0], 50ms);
  }

  // The newest row played, from the feed and from the engine's cache.
  ASSERT_TRUE(quoteengine::QueryQuote(host, port, "600036", answer));
  EXPECT_EQ(std::memcmp(&answer, &tape.lines[5].report, sizeof answer), 0);
  ASSERT_TRUE(engine.Cached("000001", answer));
  EXPECT_EQ(std::memcmp(&answer, &tape.lines[7].report, sizeof answer), 0);
  EXPECT_FALSE(engine.Cached("600036", answer));  // never subscribed
  engine.Stop();

  auto record = RecordLines(server.options.recordPath);
  EXPECT_EQ(CountEvents(record, "quote-play-start"), 1u);
  EXPECT_EQ(CountEvents(record, "quote-tape-end"), 1u);
  EXPECT_GE(CountEvents(record, "quote-connect"), 2u);
  EXPECT_GE(CountEvents(record, "quote-refused"), 1u);
  EXPECT_EQ(CountEvents(record, "admin"), 0u);  // the hooks were called directly
  bool sawHello = false;
  for (const auto& l : record)
    if (l["event"] == "quote-connect") sawHello = l["user"] == "alice" && l["token"] == 77;
  EXPECT_TRUE(sawHello);
}

// The web pages and the control interface as a test script uses them:
// built-in pages, a --web-dir file overriding one, system message, notice
// and share post frames reaching the message hook, the status answer, the
// feed dropped over HTTP, and a synthetic stream reaching a subscriber.
TEST(SimServerWeb, PagesAndControlInterface) {
  testing_support::TempDir dir;
  std::filesystem::create_directories(dir.path() / "web" / "files");
  std::ofstream(dir.File("web/version")) << "version=1.8.0\ninstaller=/files/setup.exe\n";
  std::ofstream(dir.File("web/files/setup.exe")) << "MZ installer";

  Server server;
  server.options.host = "127.61.0.2";
  server.options.quotePort = 17709;
  server.options.webPort = 17780;
  server.options.webDir = dir.File("web");
  server.options.recordPath = dir.File("record.jsonl");
  server.options.syntheticCodes = {"600100", "000002"};
  server.options.syntheticIntervalMs = 30;
  std::vector<simserver::MessageFrame> frames;
  std::mutex framesMutex;
  server.hooks.pushFrame = [&](const simserver::MessageFrame& f) {
    std::lock_guard lock(framesMutex);
    frames.push_back(f);
    return 2;
  };
  server.Start();

  httplib::Client web(server.options.host, server.options.webPort);
  auto version = web.Get("/version");
  ASSERT_TRUE(version);
  EXPECT_EQ(version->body, "version=1.8.0\ninstaller=/files/setup.exe\n");
  auto installer = web.Get("/files/setup.exe");
  ASSERT_TRUE(installer);
  EXPECT_EQ(installer->body, "MZ installer");
  EXPECT_EQ(web.Get("/../record.jsonl")->status, 404);
  auto picture = web.Get("/notice/login.bmp");
  ASSERT_TRUE(picture);
  ASSERT_GT(picture->body.size(), 54u);
  EXPECT_EQ(picture->body.substr(0, 2), "BM");
  EXPECT_EQ(base::LoadLE<uint32_t>(picture->body.data() + 2), picture->body.size());
  for (const char* page : {"/notice", "/notice/login.html", "/updatehistory/updatehistory.htm"}) {
    auto r = web.Get(page);
    ASSERT_TRUE(r) << page;
    EXPECT_EQ(r->status, 200) << page;
    EXPECT_NE(r->body.find("<html>"), std::string::npos) << page;
  }

  auto message = web.Post("/admin/message", R"({"text":"系统将于今晚维护"})", "application/json");
  ASSERT_TRUE(message);
  EXPECT_EQ(nlohmann::json::parse(message->body)["reached"], 2);
  ASSERT_TRUE(web.Post("/admin/elsewhere", "", "application/json"));
  auto share = web.Post("/admin/share",
                        R"({"time":1337307067,"code":"600000","name":"浦发银行","price":"10.200","remark":"仅供内部交流"})",
                        "application/json");
  ASSERT_TRUE(share);
  EXPECT_EQ(share->status, 200);
  EXPECT_EQ(web.Post("/admin/message", R"({"words":1})", "application/json")->status, 400);
  {
    std::lock_guard lock(framesMutex);
    ASSERT_EQ(frames.size(), 3u);
    const auto* f = frames[0].data();
    EXPECT_EQ(base::LoadLE<int32_t>(f), 3001);
    EXPECT_EQ(base::ReadFixedText(reinterpret_cast<const char*>(f + 622), 1024),
              *base::Utf8ToGbk("系统将于今晚维护"));
    EXPECT_EQ(base::LoadLE<int32_t>(frames[1].data()), 3002);
    const auto* post = frames[2].data() + 88;
    EXPECT_EQ(base::LoadLE<int32_t>(frames[2].data()), 1006);
    EXPECT_EQ(base::LoadLE<int32_t>(post), 1337307067);
    EXPECT_EQ(base::ReadFixedText(reinterpret_cast<const char*>(post + 4), 10), "600000");
    EXPECT_EQ(base::ReadFixedUtf8(reinterpret_cast<const char*>(post + 14), 32), "浦发银行");
    EXPECT_EQ(base::ReadFixedText(reinterpret_cast<const char*>(post + 46), 10), "10.200");
    EXPECT_EQ(base::ReadFixedUtf8(reinterpret_cast<const char*>(post + 406), 128), "仅供内部交流");
  }

  // A subscriber of one synthetic code gets a steady stream of only that code.
  Events events;
  quoteengine::QuoteEngineCore engine(events, {20ms, 100ms});
  TStockLabel label = Label("000002");
  engine.SetLabels(&label, 0);
  ASSERT_TRUE(engine.Start(server.options.host, server.options.quotePort, 1, "bob"));
  ASSERT_TRUE(events.WaitFor([&] { return events.reports.size() >= 3; }));
  auto status = nlohmann::json::parse(web.Get("/admin/status")->body);
  EXPECT_EQ(status["quote"]["securities"], 2);
  EXPECT_EQ(status["quote"]["connections"], 1);
  EXPECT_TRUE(status["quote"]["up"].get<bool>());

  auto drop = web.Post("/admin/quote-feed/drop", "", "application/json");
  ASSERT_TRUE(drop);
  EXPECT_EQ(drop->status, 200);
  ASSERT_TRUE(events.WaitFor([&] { return events.notices.size() == 1; }));
  EXPECT_FALSE(nlohmann::json::parse(web.Get("/admin/status")->body)["quote"]["up"].get<bool>());
  ASSERT_TRUE(web.Post("/admin/quote-feed/restore", "", "application/json"));
  ASSERT_TRUE(events.WaitFor([&] { return events.notices.size() == 2; }));
  engine.Stop();
  {
    std::lock_guard lock(events.mutex);
    for (const auto& r : events.reports) {
      EXPECT_EQ(Code(r), "000002");
      EXPECT_EQ(r.market, quotes::kMarketShenzhen);
      EXPECT_EQ(base::ReadFixedUtf8(r.name, sizeof r.name), "合成000002");
      EXPECT_GT(r.newestPrice, 0.0f);
    }
  }

  auto record = RecordLines(server.options.recordPath);
  EXPECT_EQ(CountEvents(record, "admin"), 5u);
  EXPECT_GE(CountEvents(record, "web"), 6u);
}

// Packets handed to the window: never more than the limit in flight; what
// arrives meanwhile goes out together, in order; a backlog past its bound
// keeps the newest report of each code; abandoned packets are freed except
// the one being handled, which goes with its release.
TEST(SimQuoteEnginePump, BoundsPacketsInFlightAndBatchesTheBacklog) {
  std::vector<const quoteengine::PacketPump::Packet*> posted;
  quoteengine::PacketPump pump(
      [&](const quoteengine::PacketPump::Packet& p) {
        posted.push_back(&p);
        return true;
      },
      2, 100, 6);
  auto report = [](const char* code, float price) {
    TQuoteReport r{};
    base::WriteFixedText(r.code, code);
    r.newestPrice = price;
    return r;
  };
  auto one = report("600000", 1);
  pump.Add(&one, 1);
  pump.Add(&one, 1);
  std::vector<TQuoteReport> more = {report("600000", 2), report("000001", 3), report("600000", 4)};
  pump.Add(more.data(), more.size());
  EXPECT_EQ(posted.size(), 2u);
  EXPECT_EQ(pump.InFlight(), 2u);
  EXPECT_EQ(pump.Backlog(), 3u);
  const auto* first = posted[0];
  auto packet = quotes::ReadPacket(&first->header);
  EXPECT_EQ(packet.count, 1);
  EXPECT_EQ(first->header.dataKind, static_cast<int32_t>(quotes::kQuotePacketKind));

  pump.Handling(first);
  pump.Release(first);  // the three waiting go out in one packet
  ASSERT_EQ(posted.size(), 3u);
  packet = quotes::ReadPacket(&posted[2]->header);
  ASSERT_EQ(packet.count, 3);
  EXPECT_EQ(packet.At(0).newestPrice, 2.0f);
  EXPECT_EQ(packet.At(1).newestPrice, 3.0f);
  EXPECT_EQ(packet.At(2).newestPrice, 4.0f);
  EXPECT_EQ(pump.InFlight(), 2u);

  // Past the bound of 6: the newest of each code, in their order.
  std::vector<TQuoteReport> flood;
  for (int i = 0; i < 7; ++i) flood.push_back(report(i % 2 ? "000001" : "600000", 10.0f + i));
  pump.Add(flood.data(), flood.size());
  EXPECT_EQ(pump.Backlog(), 2u);

  pump.Handling(posted[1]);
  pump.Abandon();
  EXPECT_TRUE(pump.Owns(posted[1]));  // still being handled
  EXPECT_FALSE(pump.Owns(posted[2]));
  EXPECT_EQ(pump.Backlog(), 0u);
  pump.Release(posted[1]);
  EXPECT_EQ(pump.InFlight(), 0u);
  pump.Add(&one, 1);
  EXPECT_EQ(posted.size(), 3u);  // nothing posted until resumed
  pump.Resume();
  pump.Add(&one, 1);
  EXPECT_EQ(posted.size(), 4u);
}

TEST(SimServerOptions, CommandLine) {
  auto p = simserver::ParseServerOptions({"--host", "127.0.0.5", "--web-port", "8090", "--user", "alice:pw",
                                          "--user", "bob", "--user-info", "bob:level=3,email=b@x.cn",
                                          "--synthetic", "3:50", "--tape", "t.csv", "--pace-ms", "20"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.host, "127.0.0.5");
  EXPECT_EQ(p.options.webPort, 8090);
  EXPECT_EQ(p.options.quotePort, 7709);
  ASSERT_EQ(p.options.users.size(), 2u);
  EXPECT_EQ(p.options.users[0].password, "pw");
  EXPECT_EQ(p.options.users[1].password, "");
  EXPECT_EQ(p.options.users[1].level, 3);
  EXPECT_EQ(p.options.users[1].email, "b@x.cn");
  EXPECT_EQ(p.options.syntheticCodes, (std::vector<std::string>{"600000", "600001", "600002"}));
  EXPECT_EQ(p.options.syntheticIntervalMs, 50);
  EXPECT_EQ(p.options.paceMs, 20);
  for (auto bad : std::vector<std::vector<std::string>>{{"--host", "10.0.0.1"},
                                                        {"--web-port", "0"},
                                                        {"--user-info", "carol:level=1"},
                                                        {"--pace-ms"},
                                                        {"--frobnicate", "1"}})
    EXPECT_FALSE(simserver::ParseServerOptions(bad).ok) << bad[0];
  EXPECT_TRUE(simserver::ParseServerOptions({"--help"}).help);
}
