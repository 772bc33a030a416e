// The push notifications against the stand-in server's robot pages: the
// server checks the signatures as the services do, answers as they do, and
// records what a phone would show; a page that is down for a while gets
// every message once it is back.
#include <gtest/gtest.h>
#include <httplib.h>

#include <asio/io_context.hpp>
#include <chrono>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <regex>
#include <thread>

#include "app/unt_notify.h"
#include "base/files.h"
#include "sim_server.h"
#include "support/temp_dir.h"

namespace {

using app::NotifyChannel;
using nlohmann::json;

constexpr char kSecret[] = "hook-secret-7";

using Clock = std::chrono::steady_clock;

// Posts through cpp-httplib, as WinHTTP does in the program (whose errors
// name the address too), and notes when each page was asked and answered.
struct HttplibPoster : app::IHookPoster {
  struct Sent {
    std::string page;
    Clock::time_point asked, answered;
    bool ok;
  };
  std::mutex mutex;
  std::vector<Sent> sent;

  app::HookReply Post(const std::string& url, const std::string& body, int timeoutMs) override {
    static const std::regex re(R"((http://[^/]+)(/hook/(\w+).*))");
    std::smatch m;
    if (!std::regex_match(url, m, re)) return {0, "", "bad address"};
    const auto asked = Clock::now();
    httplib::Client client(m[1].str());
    client.set_connection_timeout(std::chrono::milliseconds(timeoutMs));
    client.set_read_timeout(std::chrono::milliseconds(timeoutMs));
    auto res = client.Post(m[2].str(), body, "application/json");
    app::HookReply reply{0, "", ""};
    if (res)
      reply = {res->status, res->body, ""};
    else
      reply.error = "无法连接 " + url + "：" + httplib::to_string(res.error());
    std::lock_guard lock(mutex);
    sent.push_back({m[3].str(), asked, Clock::now(), res && res->body.find("\"errcode\":0") != std::string::npos});
    return reply;
  }
  std::vector<Sent> Of(const std::string& page) {
    std::lock_guard lock(mutex);
    std::vector<Sent> out;
    for (const Sent& s : sent)
      if (s.page == page) out.push_back(s);
    return out;
  }
};

struct LogLines {
  std::mutex mutex;
  std::vector<std::string> lines;
  app::NotifyLog Sink() {
    return [this](const std::string& l) {
      std::lock_guard lock(mutex);
      lines.push_back(l);
    };
  }
  int Count(const std::string& part) {
    std::lock_guard lock(mutex);
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& l) { return l.find(part) != std::string::npos; }));
  }
};

struct Server {
  simserver::ServerOptions options;
  std::unique_ptr<simserver::Recorder> recorder;
  simserver::ControlHooks hooks;
  asio::io_context io;
  std::vector<simserver::ServicePtr> services;

  void Start() {
    recorder = std::make_unique<simserver::Recorder>(options.recordPath);
    services.push_back(simserver::StartWebPages(io, options, *recorder, hooks));
  }
  std::string Url(const char* page) const {
    return "http://" + options.host + ":" + std::to_string(options.webPort) + "/hook/" + page;
  }
  void Admin(const std::string& path, const json& body = json::object()) {
    httplib::Client admin("http://" + options.host + ":" + std::to_string(options.webPort));
    auto res = admin.Post(path, body.dump(), "application/json");
    ASSERT_TRUE(res && res->status == 200) << path;
  }
  // The texts each page took, in the order they arrived.
  std::vector<std::string> Arrived(const std::string& channel) const {
    std::vector<std::string> out;
    for (const json& h : Hooks())
      if (h["channel"] == channel && h["ok"] == true) out.push_back(h["text"].get<std::string>());
    return out;
  }
  std::vector<json> Hooks() const {
    std::vector<json> out;
    std::ifstream in(options.recordPath);
    for (std::string line; std::getline(in, line);) {
      auto j = json::parse(line, nullptr, false);
      if (j.is_object() && j.value("event", "") == "hook") out.push_back(j);
    }
    return out;
  }
};

app::NotifyEvent Fire(const std::string& code) {
  app::NotifyEvent e;
  e.time = base::EncodeDateTime(2026, 12, 10, 10, 31, 7);
  e.kind = "按价位监控";
  e.code = code;
  e.name = "平安银行";
  e.side = "买入";
  e.price = 11.02;
  e.quantity = 200;
  e.outcome = "自动下单";
  return e;
}

TEST(SimServerHooks, SignedMessagesArriveBadSignaturesAreAnsweredAsTheServicesDoAndDownTimeIsRiddenOut) {
  testing_support::TempDir dir;
  Server server;
  server.options.host = "127.61.27.1";
  server.options.webPort = 17827;
  server.options.hookSecret = kSecret;
  server.options.recordPath = dir.File("record.jsonl");
  server.Start();

  app::NotifierOptions options;
  options.firstBackoffMs = 100;
  options.timeoutMs = 2000;
  app::TNotifier notifier(std::make_shared<HttplibPoster>(), nullptr, options);

  // A test message with the wrong secret: the service's own error, once.
  app::ChannelSettings wrong{true, server.Url("feishu"), "not-the-secret", ""};
  std::promise<app::HookVerdict> answered;
  notifier.SendTest(NotifyChannel::Feishu, wrong, Fire("000001"), [&](const app::HookVerdict& v) { answered.set_value(v); });
  auto future = answered.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const app::HookVerdict bad = future.get();
  EXPECT_FALSE(bad.delivered);
  EXPECT_NE(bad.text.find("\"code\":19021"), std::string::npos) << bad.text;
  EXPECT_NE(bad.text.find("sign match fail"), std::string::npos) << bad.text;

  // Two signing channels enabled; the pages go down, three fires queue, the
  // pages come back.
  app::NotifySettings settings;
  settings[NotifyChannel::DingTalk] = {true, server.Url("dingtalk") + "?access_token=abc", kSecret, ""};
  settings[NotifyChannel::Feishu] = {true, server.Url("feishu"), kSecret, ""};
  notifier.SetSettings(settings);
  httplib::Client admin("http://" + server.options.host + ":" + std::to_string(server.options.webPort));
  ASSERT_TRUE(admin.Post("/admin/hooks/down", "", "application/json"));
  const auto start = std::chrono::steady_clock::now();
  for (const char* code : {"000001", "000002", "000003"}) notifier.Queue(Fire(code));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  std::this_thread::sleep_for(std::chrono::milliseconds(250));  // the outage itself
  ASSERT_TRUE(admin.Post("/admin/hooks/up", "", "application/json"));
  notifier.Close(15000);
  EXPECT_EQ(notifier.Stats().delivered, 6);
  EXPECT_EQ(notifier.Stats().failed, 1);  // the test message with the wrong secret

  int refused = 0;
  std::map<std::pair<std::string, std::string>, int> arrived;  // (channel, text) -> count
  for (const json& h : server.Hooks()) {
    if (h["status"] == 503) ++refused;
    if (h["ok"] == true) ++arrived[{h["channel"].get<std::string>(), h["text"].get<std::string>()}];
  }
  EXPECT_GE(refused, 1);
  for (const char* channel : {"dingtalk", "feishu"}) {
    for (const char* code : {"000001", "000002", "000003"}) {
      const std::string text = app::NotifyText(Fire(code));
      EXPECT_EQ((arrived[{channel, text}]), 1) << channel << " " << code;
    }
  }
  EXPECT_EQ(arrived.size(), 6u);
}

// WeCom takes each request and never answers, Feishu answers an error code
// no integer holds and then a cut answer of blanks: DingTalk's messages
// still arrive at once, nothing ends the program, each strange answer is
// tried again and counted failed, and no address's credential is logged.
TEST(SimServerHooks, ADeadRobotHoldsUpNoOtherAndStrangeAnswersAreRetriedThenCountedFailed) {
  testing_support::TempDir dir;
  Server server;
  server.options.host = "127.61.27.2";
  server.options.webPort = 17828;
  server.options.recordPath = dir.File("record.jsonl");
  server.Start();
  server.Admin("/admin/hooks/mode", {{"channel", "wecom"}, {"mode", "hang"}, {"ms", 5000}});
  server.Admin("/admin/hooks/mode", {{"channel", "feishu"}, {"mode", "malformed"}});

  auto poster = std::make_shared<HttplibPoster>();
  LogLines log;
  app::NotifierOptions options;
  options.timeoutMs = 5000;  // the per-step time-outs do not end it: the deadline does
  options.deadlineMs = 600;
  options.attempts = 2;
  options.firstBackoffMs = 100;
  app::TNotifier notifier(poster, log.Sink(), options);
  app::NotifySettings settings;
  settings[NotifyChannel::WeCom] = {true, server.Url("wecom") + "?key=WECOMKEY", "", ""};
  settings[NotifyChannel::DingTalk] = {true, server.Url("dingtalk") + "?access_token=DINGTOKEN", "", ""};
  settings[NotifyChannel::Feishu] = {true, server.Url("feishu") + "?hook=FEISHUID", "", ""};
  notifier.SetSettings(settings);

  std::vector<Clock::time_point> fired;
  for (const char* code : {"000001", "000002"}) {
    fired.push_back(Clock::now());
    notifier.Queue(Fire(code));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    server.Admin("/admin/hooks/mode", {{"channel", "feishu"}, {"mode", "huge"}, {"ms", 200000}});
  }
  const auto ding = poster->Of("dingtalk");
  ASSERT_EQ(ding.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(ding[i].ok);
    EXPECT_LT(ding[i].answered - fired[i], std::chrono::seconds(1)) << i;
  }
  EXPECT_EQ(server.Arrived("dingtalk"), (std::vector<std::string>{app::NotifyText(Fire("000001")),
                                                                  app::NotifyText(Fire("000002"))}));
  notifier.Close(5000);
  const auto counts = notifier.Stats();
  EXPECT_EQ(counts.delivered, 2);
  EXPECT_EQ(counts.failed, 4);  // WeCom's two and Feishu's two, each after its two tries
  EXPECT_EQ(poster->Of("feishu").size(), 4u);
  EXPECT_EQ(log.Count("消息推送[飞书]失败（尝试2次）"), 2);
  EXPECT_EQ(log.Count("消息推送[企业微信]失败（尝试2次）：1 秒内没有回答"), 2);
  std::lock_guard lock(log.mutex);
  for (const std::string& line : log.lines)
    for (const char* secret : {"WECOMKEY", "DINGTOKEN", "FEISHUID"})
      EXPECT_EQ(line.find(secret), std::string::npos) << line;
  server.Admin("/admin/hooks/mode", {{"channel", "wecom"}, {"mode", "normal"}});
}

// 30 fires at once: no robot gets more than its limit in any minute (or
// Feishu's in any second), and all arrive afterwards in order. The
// notifier's clock runs 20 times real time: a minute is 3 s.
TEST(SimServerHooks, ABurstIsPacedUnderTheRobotsLimitsAndAllArrivesInOrder) {
  testing_support::TempDir dir;
  Server server;
  server.options.host = "127.61.27.3";
  server.options.webPort = 17829;
  server.options.recordPath = dir.File("record.jsonl");
  server.Start();
  auto poster = std::make_shared<HttplibPoster>();
  app::NotifierOptions options;
  options.clockRate = 20;
  app::TNotifier notifier(poster, nullptr, options);
  app::NotifySettings settings;
  settings[NotifyChannel::DingTalk] = {true, server.Url("dingtalk"), "", ""};
  settings[NotifyChannel::Feishu] = {true, server.Url("feishu"), "", ""};
  notifier.SetSettings(settings);
  std::vector<std::string> texts;
  for (int i = 1; i <= 30; ++i) {
    char code[8];
    std::snprintf(code, sizeof code, "%06d", i);
    notifier.Queue(Fire(code));
    texts.push_back(app::NotifyText(Fire(code)));
  }
  notifier.Close(10000);
  EXPECT_EQ(notifier.Stats().delivered, 60);
  EXPECT_EQ(server.Arrived("dingtalk"), texts);
  EXPECT_EQ(server.Arrived("feishu"), texts);
  // In real time: a robot minute is 3000 ms, a second 50 ms, less a margin
  // for the moment a request's thread takes to start on a busy machine
  // (unpaced, five requests to a loopback page take a few milliseconds).
  const auto window = [](const std::vector<HttplibPoster::Sent>& s, size_t n, std::chrono::microseconds span) {
    auto shortest = std::chrono::microseconds::max();
    for (size_t i = 0; i + n < s.size(); ++i)
      shortest = std::min(shortest, std::chrono::duration_cast<std::chrono::microseconds>(s[i + n].asked - s[i].asked));
    return shortest >= span;
  };
  const auto ding = poster->Of("dingtalk"), feishu = poster->Of("feishu");
  ASSERT_EQ(ding.size(), 30u);
  ASSERT_EQ(feishu.size(), 30u);
  EXPECT_TRUE(window(ding, 20, std::chrono::milliseconds(2700)));  // 20 a minute
  EXPECT_TRUE(window(feishu, 5, std::chrono::milliseconds(35)));     // 5 a second
  // Not slower than the limits need: the 21st DingTalk message went about a
  // minute after the first.
  EXPECT_LT(ding[20].asked - ding[0].asked, std::chrono::milliseconds(4000));
}

// The robot is down when the program closes: what was queued is kept in the
// outbox and delivered once after the next start; a kept message older than
// a day is logged as not sent.
TEST(SimServerHooks, AnOutageAcrossARestartIsDeliveredOnceAfterwards) {
  testing_support::TempDir dir;
  Server server;
  server.options.host = "127.61.27.4";
  server.options.webPort = 17830;
  server.options.recordPath = dir.File("record.jsonl");
  server.Start();
  app::NotifierOptions options;
  options.firstBackoffMs = 100;
  options.outboxPath = dir.File("notify-outbox.json");
  app::NotifySettings settings;
  settings[NotifyChannel::DingTalk] = {true, server.Url("dingtalk"), "", ""};
  server.Admin("/admin/hooks/down");
  {
    auto poster = std::make_shared<HttplibPoster>();
    app::TNotifier notifier(poster, nullptr, options);
    notifier.SetSettings(settings);
    notifier.Queue(Fire("000001"));
    notifier.Queue(Fire("000002"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    notifier.Close(100);
    EXPECT_GE(poster->Of("dingtalk").size(), 1u);
    EXPECT_EQ(notifier.Stats().kept, 2);
  }
  // One more, kept 25 hours ago.
  std::ifstream in(options.outboxPath);
  json outbox = json::parse(in);
  json old = outbox["messages"][0];
  old["queued"] = app::SystemUnixMs() - 25 * 3600 * 1000LL;
  old["message"]["code"] = "000009";
  outbox["messages"].push_back(old);
  std::ofstream(options.outboxPath) << outbox.dump();

  server.Admin("/admin/hooks/up");
  LogLines log;
  app::TNotifier restarted(std::make_shared<HttplibPoster>(), log.Sink(), options);
  restarted.SetSettings(settings);
  restarted.ResumeOutbox();
  restarted.Close(5000);
  EXPECT_EQ(server.Arrived("dingtalk"), (std::vector<std::string>{app::NotifyText(Fire("000001")),
                                                                  app::NotifyText(Fire("000002"))}));
  EXPECT_EQ(log.Count("未发送（上次关闭时留下，已超过一天）：【触发】按价位监控 平安银行(000009)"), 1);
  EXPECT_TRUE(app::ReadOutbox(*base::ReadFileBytes(options.outboxPath)).empty());
}

}  // namespace
