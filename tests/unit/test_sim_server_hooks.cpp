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
#include <regex>
#include <thread>

#include "app/unt_notify.h"
#include "sim_server.h"
#include "support/temp_dir.h"

namespace {

using app::NotifyChannel;
using nlohmann::json;

constexpr char kSecret[] = "hook-secret-7";

// Posts through cpp-httplib, as WinHTTP does in the program.
struct HttplibPoster : app::IHookPoster {
  app::HookReply Post(const std::string& url, const std::string& body, int timeoutMs) override {
    static const std::regex re(R"((http://[^/]+)(/.*))");
    std::smatch m;
    if (!std::regex_match(url, m, re)) return {0, "", "bad address"};
    httplib::Client client(m[1].str());
    client.set_connection_timeout(std::chrono::milliseconds(timeoutMs));
    client.set_read_timeout(std::chrono::milliseconds(timeoutMs));
    auto res = client.Post(m[2].str(), body, "application/json");
    if (!res) return {0, "", httplib::to_string(res.error())};
    return {res->status, res->body, ""};
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

}  // namespace
