// quorvel-sim-server's binary quote feed, web pages and control interface,
// worked in process by the smallest client of the feed's wire and by an
// HTTP client, as an engine and a test script meet them.
#include <gtest/gtest.h>
#include <httplib.h>

#include <asio.hpp>

#include <chrono>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "base/fixed_text.h"
#include "base/gbk.h"
#include "quote_wire.h"
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

// The smallest client of the feed's wire: one connection, frames out,
// messages in, every read bounded by a time limit.
class FeedClient {
 public:
  FeedClient(const std::string& host, int port) : socket_(io_) {
    std::error_code ec;
    socket_.connect({asio::ip::make_address(host), static_cast<uint16_t>(port)}, ec);
    closed_ = static_cast<bool>(ec);
  }
  void Send(const std::string& frame) {
    std::error_code ec;
    asio::write(socket_, asio::buffer(frame), ec);
  }
  // The next message; nullopt when none came in time or the feed closed
  // the connection (Closed()).
  std::optional<quotewire::Message> Next(std::chrono::milliseconds limit = 5000ms) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
      if (auto m = reader_.Next()) return m;
      if (closed_ || reader_.Failed()) return std::nullopt;
      bool done = false;
      socket_.async_read_some(asio::buffer(chunk_), [&](std::error_code ec, size_t n) {
        done = ec != asio::error::operation_aborted;
        if (!ec) reader_.Feed(chunk_, n);
        else if (done) closed_ = true;
      });
      io_.restart();
      io_.run_until(deadline);
      if (!done) {
        socket_.cancel();
        io_.restart();
        io_.run();
        if (!done) return std::nullopt;
      }
    }
  }
  bool Closed() const { return closed_; }
  // An engine's start: hello, the feed's welcome, then the watched labels.
  std::optional<quotewire::Message> Subscribe(const std::string& user, int32_t token,
                                              const std::vector<TStockLabel>& labels) {
    Send(quotewire::EncodeHello(token, user));
    auto welcome = Next();
    if (welcome && welcome->kind == quotewire::kWelcome) Send(quotewire::EncodeSubscribe(labels));
    return welcome;
  }
  // Reads reports into `out` until it holds `count` (true) or nothing more comes.
  bool Reports(std::vector<TQuoteReport>& out, size_t count, std::vector<Clock::time_point>* times = nullptr) {
    while (out.size() < count) {
      auto m = Next();
      if (!m) return false;
      if (m->kind != quotewire::kReports) continue;
      for (const auto& r : m->reports) {
        out.push_back(r);
        if (times) times->push_back(Clock::now());
      }
    }
    return true;
  }

 private:
  asio::io_context io_;
  asio::ip::tcp::socket socket_;
  unsigned char chunk_[16384];
  quotewire::Reader reader_;
  bool closed_ = false;
};

// One single-quote request on a connection of its own: the feed's answer,
// or nullopt when it gave none in time.
std::optional<quotewire::Message> Query(const std::string& host, int port, const std::string& code,
                                        std::chrono::milliseconds limit = 2000ms) {
  FeedClient client(host, port);
  client.Send(quotewire::EncodeQuery(7, code));
  auto m = client.Next(limit);
  if (m && m->kind == quotewire::kAnswer && m->requestId == 7 && m->reports.size() == 1) return m;
  return std::nullopt;
}

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
// answer the newest row played; a drop closes the feed's connections,
// refuses new ones and pauses playback, and after the restore an engine
// that subscribes again gets the rest of the tape, nothing lost or doubled.
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
  httplib::Client web(host, server.options.webPort);
  auto nextRow = [&] { return nlohmann::json::parse(web.Get("/admin/status")->body)["quote"]["nextRow"].get<int>(); };

  // Known but not played yet: answered as unknown, all zero.
  auto answer = Query(host, port, "600000");
  ASSERT_TRUE(answer);
  EXPECT_FALSE(answer->known);
  EXPECT_EQ(answer->reports[0].quoteTime, 0);
  EXPECT_EQ(Code(answer->reports[0]), "");

  // Labels with an empty slot between them, as the program publishes them.
  const std::vector<TStockLabel> labels = {Label("600000"), TStockLabel{}, Label("000001")};
  std::vector<TQuoteReport> got;
  std::vector<Clock::time_point> times;
  std::vector<TQuoteReport> expected;
  for (const auto& line : tape.lines)
    if (Code(line.report) != "600036") expected.push_back(line.report);

  {
    FeedClient engine(host, port);
    auto welcome = engine.Subscribe("alice", 77, labels);
    ASSERT_TRUE(welcome && welcome->kind == quotewire::kWelcome);
    EXPECT_EQ(welcome->securities, 3u);
    // Two rows in, the feed drops: the connection is closed (what was sent
    // before still arrives), a new one is refused, playback pauses.
    ASSERT_TRUE(engine.Reports(got, 2, &times));
    server.hooks.setQuoteFeedUp(false);
    engine.Reports(got, expected.size(), &times);
    EXPECT_TRUE(engine.Closed());
  }
  EXPECT_LE(got.size(), 3u);
  EXPECT_FALSE(Query(host, port, "600000", 500ms));
  const int pausedAt = nextRow();
  std::this_thread::sleep_for(300ms);  // several rows' pace
  EXPECT_EQ(nextRow(), pausedAt);

  server.hooks.setQuoteFeedUp(true);
  FeedClient engine(host, port);
  ASSERT_TRUE(engine.Subscribe("alice", 77, labels));
  ASSERT_TRUE(engine.Reports(got, expected.size(), &times));
  EXPECT_FALSE(engine.Next(150ms));  // nothing more may follow
  EXPECT_FALSE(engine.Closed());

  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(std::memcmp(&got[i], &expected[i], sizeof(TQuoteReport)), 0);
  }
  // 600000 and 000001 rows 0 and 1 are tape rows 0 and 1: a pace apart.
  EXPECT_GE(times[1] - times[0], 50ms);

  // The newest row played of a code no connection watches.
  answer = Query(host, port, "600036");
  ASSERT_TRUE(answer);
  EXPECT_TRUE(answer->known);
  EXPECT_EQ(std::memcmp(&answer->reports[0], &tape.lines[5].report, sizeof(TQuoteReport)), 0);

  auto record = RecordLines(server.options.recordPath);
  EXPECT_EQ(CountEvents(record, "quote-play-start"), 1u);
  EXPECT_EQ(CountEvents(record, "quote-tape-end"), 1u);
  EXPECT_EQ(CountEvents(record, "quote-connect"), 2u);
  EXPECT_GE(CountEvents(record, "quote-refused"), 1u);
  EXPECT_EQ(CountEvents(record, "quote-query"), 2u);
  EXPECT_EQ(CountEvents(record, "admin"), 0u);  // the hooks were called directly
  size_t hellos = 0, subscriptions = 0;
  for (const auto& l : record) {
    hellos += l["event"] == "quote-connect" && l["user"] == "alice" && l["token"] == 77;
    subscriptions += l["event"] == "quote-subscribe" && l["codes"] == nlohmann::json{"600000", "000001"};
  }
  EXPECT_EQ(hellos, 2u);
  EXPECT_EQ(subscriptions, 2u);
}

// The web pages and the control interface as a test script uses them:
// built-in pages, a --web-dir file overriding one, system message, notice
// and share post frames reaching the message hook, the status answer, the
// feed dropped and restored over HTTP, and a synthetic stream reaching a
// subscriber.
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
  std::vector<TQuoteReport> reports;
  {
    FeedClient engine(server.options.host, server.options.quotePort);
    ASSERT_TRUE(engine.Subscribe("bob", 1, {Label("000002")}));
    ASSERT_TRUE(engine.Reports(reports, 3));
    auto status = nlohmann::json::parse(web.Get("/admin/status")->body);
    EXPECT_EQ(status["quote"]["securities"], 2);
    EXPECT_EQ(status["quote"]["connections"], 1);
    EXPECT_TRUE(status["quote"]["up"].get<bool>());

    auto drop = web.Post("/admin/quote-feed/drop", "", "application/json");
    ASSERT_TRUE(drop);
    EXPECT_EQ(drop->status, 200);
    engine.Reports(reports, SIZE_MAX);
    EXPECT_TRUE(engine.Closed());
  }
  // The client may see its connection closed before the server has marked
  // the feed down: the status is asked again for up to 2 s.
  const auto up = [&] { return nlohmann::json::parse(web.Get("/admin/status")->body)["quote"]["up"].get<bool>(); };
  for (int i = 0; i < 200 && up(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(up());
  ASSERT_TRUE(web.Post("/admin/quote-feed/restore", "", "application/json"));
  FeedClient again(server.options.host, server.options.quotePort);
  auto welcome = again.Subscribe("bob", 1, {Label("000002")});
  EXPECT_TRUE(welcome && welcome->kind == quotewire::kWelcome);
  for (const auto& r : reports) {
    EXPECT_EQ(Code(r), "000002");
    EXPECT_EQ(r.market, quotes::kMarketShenzhen);
    EXPECT_EQ(base::ReadFixedUtf8(r.name, sizeof r.name), "合成000002");
    EXPECT_GT(r.newestPrice, 0.0f);
  }

  auto record = RecordLines(server.options.recordPath);
  EXPECT_EQ(CountEvents(record, "admin"), 5u);
  EXPECT_GE(CountEvents(record, "web"), 6u);
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
