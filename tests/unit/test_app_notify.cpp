// Push notifications: the channels' requests and signatures, the delivery
// queue's bound and retries, notify.ini with its sealed secrets, and the
// "消息推送" dialog driven as a user does.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/unt_frmnotify.h"
#include "app/unt_notify.h"
#include "base/base64.h"
#include "base/ini_file.h"
#include "support/temp_dir.h"

namespace {

using app::NotifyChannel;
using Clock = std::chrono::steady_clock;

// Signatures computed independently with Python's hmac/hashlib/base64 for
// this time and secret.
constexpr int64_t kUnixMs = 1765363867123;
constexpr char kSecret[] = "SECf3a9c2d1e0b4";
constexpr char kDingSign[] = "vzA998iVeqw/E482cPgwPcO7WZki6q9g3MJrw5e0A0w=";
constexpr char kDingSignEncoded[] = "vzA998iVeqw%2FE482cPgwPcO7WZki6q9g3MJrw5e0A0w%3D";
constexpr char kFeishuSign[] = "Afl8NkN6cilA3V9Yrt9X2OhGdZ4KMZPrmgXC+lEV59I=";

app::NotifyEvent SellFire() {
  app::NotifyEvent e;
  e.time = base::EncodeDateTime(2026, 12, 10, 10, 31, 7);
  e.monitorId = 7;
  e.kind = "移动止盈";
  e.code = "600000";
  e.name = "浦发银行";
  e.side = "卖出";
  e.price = 9.9;
  e.quantity = 1000;
  e.outcome = "自动下单";
  return e;
}

constexpr char kText[] = "【触发】移动止盈 浦发银行(600000)\\n卖出 1000股 价格9.900\\n自动下单\\n2026-12-10 10:31:07";

app::ChannelSettings Channel(std::string url, std::string secret = "") {
  app::ChannelSettings c;
  c.enabled = true;
  c.url = std::move(url);
  c.secret = std::move(secret);
  return c;
}

TEST(Notify, EachChannelsRequestAndSignatureForAFixedTimeAndSecret) {
  EXPECT_EQ(app::DingTalkSign(kUnixMs, kSecret), kDingSign);
  EXPECT_EQ(app::FeishuSign(kUnixMs / 1000, kSecret), kFeishuSign);

  auto wecom = app::BuildHookRequest(NotifyChannel::WeCom, Channel("https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=K"),
                                     SellFire(), kUnixMs);
  EXPECT_EQ(wecom.url, "https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=K");
  EXPECT_EQ(wecom.body, std::string("{\"msgtype\":\"text\",\"text\":{\"content\":\"") + kText + "\"}}");

  auto ding = app::BuildHookRequest(NotifyChannel::DingTalk,
                                    Channel("https://oapi.dingtalk.com/robot/send?access_token=T", kSecret), SellFire(),
                                    kUnixMs);
  EXPECT_EQ(ding.url, std::string("https://oapi.dingtalk.com/robot/send?access_token=T&timestamp=1765363867123&sign=") +
                          kDingSignEncoded);
  EXPECT_EQ(ding.body, wecom.body);
  // Unsigned, the address is left as it is.
  EXPECT_EQ(app::BuildHookRequest(NotifyChannel::DingTalk, Channel("http://h/robot"), SellFire(), kUnixMs).url,
            "http://h/robot");

  auto feishu = app::BuildHookRequest(NotifyChannel::Feishu, Channel("https://open.feishu.cn/hook/X", kSecret),
                                      SellFire(), kUnixMs);
  EXPECT_EQ(feishu.body, std::string("{\"timestamp\":\"1765363867\",\"sign\":\"") + kFeishuSign +
                             "\",\"msg_type\":\"text\",\"content\":{\"text\":\"" + kText + "\"}}");

  app::NotifyEvent outcome = SellFire();
  outcome.event = "outcome";
  outcome.orderNo = "A1\"2";
  outcome.brokerText = "委托已报";
  auto plain = app::BuildHookRequest(NotifyChannel::Webhook, Channel("http://h/x"), outcome, kUnixMs);
  EXPECT_EQ(plain.body,
            "{\"event\":\"outcome\",\"time\":\"2026-12-10 10:31:07\",\"monitor_id\":7,\"kind\":\"移动止盈\","
            "\"code\":\"600000\",\"name\":\"浦发银行\",\"price\":9.900,\"side\":\"卖出\",\"quantity\":1000,"
            "\"outcome\":\"自动下单\",\"order_no\":\"A1\\\"2\",\"broker_text\":\"委托已报\","
            "\"text\":\"【委托】移动止盈 浦发银行(600000)\\n卖出 1000股 价格9.900\\n自动下单 委托号A1\\\"2 委托已报\\n"
            "2026-12-10 10:31:07\"}");
}

TEST(Notify, AnswersAreJudgedAsEachServiceMeansThem) {
  using app::HookReply;
  auto judge = [](NotifyChannel c, int status, std::string body) {
    return app::JudgeReply(c, HookReply{status, std::move(body), ""});
  };
  EXPECT_TRUE(judge(NotifyChannel::DingTalk, 200, R"({"errcode":0,"errmsg":"ok"})").delivered);
  auto badSign = judge(NotifyChannel::DingTalk, 200, R"({"errcode":310000,"errmsg":"sign not match"})");
  EXPECT_FALSE(badSign.delivered);
  EXPECT_FALSE(badSign.retry);  // a wrong secret does not mend itself
  EXPECT_EQ(badSign.text, R"(HTTP 200 {"errcode":310000,"errmsg":"sign not match"})");
  EXPECT_FALSE(judge(NotifyChannel::Feishu, 200, R"({"code":19021,"data":{},"msg":"sign match fail"})").delivered);
  EXPECT_TRUE(judge(NotifyChannel::Feishu, 200, R"({"StatusCode":0,"code":0})").delivered);
  EXPECT_TRUE(judge(NotifyChannel::Webhook, 204, "").delivered);
  EXPECT_TRUE(judge(NotifyChannel::WeCom, 503, "").retry);
  EXPECT_TRUE(app::JudgeReply(NotifyChannel::WeCom, HookReply{0, "", "无法连接"}).retry);

  // Sending too fast is tried again later, with the service's own code.
  for (auto [c, body] : {std::pair{NotifyChannel::DingTalk, R"({"errcode":130101,"errmsg":"send too fast"})"},
                         std::pair{NotifyChannel::WeCom, R"({"errcode":45009,"errmsg":"api freq out of limit"})"},
                         std::pair{NotifyChannel::Feishu, R"({"code":11232,"msg":"frequency limited"})"}}) {
    const auto v = judge(c, 200, body);
    EXPECT_TRUE(v.rateLimited && v.retry && !v.delivered) << body;
  }
  EXPECT_TRUE(judge(NotifyChannel::Feishu, 429, "").rateLimited);
  EXPECT_EQ(badSign.code, 310000);
  EXPECT_EQ(badSign.message, "sign not match");

  // Strange answers end nothing: a code no integer holds, a member name
  // followed by 10,000 blanks (valid, then cut), a nesting 100,000 deep, bytes
  // that are no text, and a line break meant to forge a log line.
  const std::string blanks(10000, ' ');
  EXPECT_TRUE(judge(NotifyChannel::DingTalk, 200, R"({"errcode":99999999999999999999})").retry);
  EXPECT_TRUE(judge(NotifyChannel::DingTalk, 200, "{\"errcode\":" + blanks + "0}").delivered);
  EXPECT_TRUE(judge(NotifyChannel::DingTalk, 200, "{\"errcode\":" + blanks).retry);
  EXPECT_TRUE(judge(NotifyChannel::WeCom, 200, std::string(100000, '[')).retry);
  const auto binary = judge(NotifyChannel::Feishu, 200, "\xff\xfe{\"code\":0}");
  EXPECT_FALSE(binary.delivered);
  EXPECT_EQ(binary.text, "HTTP 200 (12 字节，不是文本)");
  EXPECT_EQ(judge(NotifyChannel::WeCom, 200, "{\"errcode\":1,\n\"errmsg\":\"x\r\"}").text,
            "HTTP 200 {\"errcode\":1, \"errmsg\":\"x \"}");
  const auto longAnswer = judge(NotifyChannel::WeCom, 200, "{\"errmsg\":\"" + std::string(400, 'x') + "\"}");
  EXPECT_EQ(longAnswer.text.size(), std::string("HTTP 200 ").size() + 300 + std::string("…").size());

  // Addresses in the log keep no credential.
  EXPECT_EQ(app::RedactUrl("https://oapi.dingtalk.com/robot/send?access_token=T&sign=S"),
            "https://oapi.dingtalk.com/robot/send?…");
  EXPECT_EQ(app::RedactUrl("https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=K"),
            "https://qyapi.weixin.qq.com/cgi-bin/webhook/send?…");
  EXPECT_EQ(app::RedactUrl("https://open.feishu.cn/open-apis/bot/v2/hook/0b1c-9f"),
            "https://open.feishu.cn/open-apis/bot/v2/hook/…");
}

// An endpoint that answers from a script of statuses (then 200), holding
// each request until released when asked to.
struct ScriptedPoster : app::IHookPoster {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> statuses;  // consumed from the front
  bool hold = false;
  std::vector<std::string> bodies;
  std::vector<Clock::time_point> times;

  app::HookReply Post(const std::string&, const std::string& body, int) override {
    std::unique_lock lock(mutex);
    bodies.push_back(body);
    times.push_back(Clock::now());
    changed.notify_all();
    changed.wait(lock, [&] { return !hold; });
    int status = 200;
    if (!statuses.empty()) {
      status = statuses.front();
      statuses.erase(statuses.begin());
    }
    return {status, status == 200 ? R"({"errcode":0,"errmsg":"ok"})" : "", status ? "" : "connection refused"};
  }
  bool WaitFor(size_t n, std::chrono::milliseconds within = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, within, [&] { return bodies.size() >= n; });
  }
  void Release() {
    std::lock_guard lock(mutex);
    hold = false;
    changed.notify_all();
  }
};

app::NotifySettings OneChannel() {
  app::NotifySettings s;
  s[NotifyChannel::WeCom] = Channel("http://127.0.0.1/hook/wecom");
  return s;
}

struct LogLines {
  std::mutex mutex;
  std::vector<std::string> lines;
  app::NotifyLog Sink() {
    return [this](const std::string& l) {
      std::lock_guard lock(mutex);
      lines.push_back(l);
    };
  }
};

TEST(Notify, AFullQueueDropsTheOldestAndCountsThemWithoutEverWaiting) {
  auto poster = std::make_shared<ScriptedPoster>();
  poster->hold = true;
  LogLines log;
  app::NotifierOptions options;
  options.capacity = 3;
  app::TNotifier notifier(poster, log.Sink(), options);
  notifier.SetSettings(OneChannel());
  app::NotifyEvent e = SellFire();
  e.monitorId = 1;
  e.code = "000001";
  notifier.Queue(e);
  ASSERT_TRUE(poster->WaitFor(1));  // the first is on the wire, held
  const auto start = Clock::now();
  for (int i = 2; i <= 7; ++i) {
    e.code = "00000" + std::to_string(i);
    notifier.Queue(e);
  }
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));  // queueing never waits for the endpoint
  auto counts = notifier.Stats();
  EXPECT_EQ(counts.pending, 3u);
  EXPECT_EQ(counts.dropped, 3);  // 2, 3 and 4 gave way to 5, 6 and 7
  poster->Release();
  ASSERT_TRUE(poster->WaitFor(4));
  notifier.Close(5000);
  ASSERT_EQ(poster->bodies.size(), 4u);
  const char* expected[] = {"000001", "000005", "000006", "000007"};
  for (size_t i = 0; i < 4; ++i) EXPECT_NE(poster->bodies[i].find(expected[i]), std::string::npos) << i;
  counts = notifier.Stats();
  EXPECT_EQ(counts.delivered, 4);
  EXPECT_EQ(counts.dropped, 3);
  std::lock_guard lock(log.mutex);
  int dropLines = 0, deliveredLines = 0;
  for (auto& l : log.lines) {
    dropLines += l.find("丢弃") != std::string::npos;
    deliveredLines += l.find("已送达") != std::string::npos;
  }
  EXPECT_EQ(dropLines, 3);
  EXPECT_EQ(deliveredLines, 4);
}

TEST(Notify, AFailingEndpointIsRetriedWithGrowingPausesThenTheFailureIsLogged) {
  auto poster = std::make_shared<ScriptedPoster>();
  poster->statuses = {503, 0, 502};  // then 200
  LogLines log;
  app::NotifierOptions options;
  options.firstBackoffMs = 100;
  options.attempts = 5;
  app::TNotifier notifier(poster, log.Sink(), options);
  notifier.SetSettings(OneChannel());
  notifier.Queue(SellFire());
  ASSERT_TRUE(poster->WaitFor(4));
  notifier.Close(5000);
  ASSERT_EQ(poster->times.size(), 4u);
  const auto gap = [&](int i) { return poster->times[i] - poster->times[i - 1]; };
  EXPECT_GE(gap(1), std::chrono::milliseconds(100));
  EXPECT_GE(gap(2), std::chrono::milliseconds(200));
  EXPECT_GE(gap(3), std::chrono::milliseconds(400));
  EXPECT_EQ(notifier.Stats().delivered, 1);

  // An endpoint that never comes back: five tries, one failure line.
  auto dead = std::make_shared<ScriptedPoster>();
  dead->statuses = {503, 503, 503, 503, 503, 503};
  LogLines deadLog;
  options.firstBackoffMs = 10;
  app::TNotifier failing(dead, deadLog.Sink(), options);
  failing.SetSettings(OneChannel());
  failing.Queue(SellFire());
  ASSERT_TRUE(dead->WaitFor(5));
  failing.Close(5000);
  EXPECT_EQ(dead->bodies.size(), 5u);
  EXPECT_EQ(failing.Stats().failed, 1);
  // The first failed try and the final failure; the tries between go unlogged.
  ASSERT_EQ(deadLog.lines.size(), 2u);
  EXPECT_EQ(deadLog.lines[0], "消息推送[企业微信]暂时未送达，1 秒后重试：HTTP 503；【触发】移动止盈 浦发银行(600000)");
  EXPECT_EQ(deadLog.lines[1], "消息推送[企业微信]失败（尝试5次）：HTTP 503；【触发】移动止盈 浦发银行(600000)");
}

// DingTalk says "too fast" twice: each time the message waits the ten
// minutes the robot is throttled for, then goes; "too fast" is no failed try.
TEST(Notify, TooFastAnswersWaitTheServicesPauseAndAreNoFailedTry) {
  struct TooFast : app::IHookPoster {
    std::mutex mutex;
    std::vector<Clock::time_point> times;
    app::HookReply Post(const std::string&, const std::string&, int) override {
      std::lock_guard lock(mutex);
      times.push_back(Clock::now());
      return {200, times.size() <= 2 ? R"({"errcode":130101,"errmsg":"send too fast"})" : R"({"errcode":0})", ""};
    }
  };
  auto poster = std::make_shared<TooFast>();
  app::NotifierOptions options;
  options.attempts = 1;
  options.clockRate = 2000;  // ten minutes are 300 ms
  app::TNotifier notifier(poster, nullptr, options);
  app::NotifySettings settings;
  settings[NotifyChannel::DingTalk] = Channel("http://127.0.0.1/hook/dingtalk");
  notifier.SetSettings(settings);
  notifier.Queue(SellFire());
  notifier.Close(5000);
  EXPECT_EQ(notifier.Stats().delivered, 1);
  ASSERT_EQ(poster->times.size(), 3u);
  for (size_t i = 1; i < 3; ++i) EXPECT_GE(poster->times[i] - poster->times[i - 1], std::chrono::milliseconds(290));
}

TEST(Notify, ClosingWaitsOnlyAsLongAsItIsAllowed) {
  auto poster = std::make_shared<ScriptedPoster>();
  poster->hold = true;  // an endpoint that never answers
  app::TNotifier notifier(poster, nullptr);
  notifier.SetSettings(OneChannel());
  notifier.Queue(SellFire());
  notifier.Queue(SellFire());
  ASSERT_TRUE(poster->WaitFor(1));
  const auto start = Clock::now();
  notifier.Close(300);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(290));
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  poster->Release();  // the request on the wire ends after its owner is gone
}

// Seals by reversing and marking, so that a test sees what was sealed.
struct FakeProtector : app::ISecretProtector {
  std::optional<std::string> Protect(std::string_view plain) override {
    return "S:" + std::string(plain.rbegin(), plain.rend());
  }
  std::optional<std::string> Unprotect(std::string_view sealed) override {
    if (sealed.substr(0, 2) != "S:") return std::nullopt;
    return std::string(sealed.rbegin(), sealed.rend() - 2);
  }
};

struct DialogHost : app::INotifyDialogHost {
  std::string path;
  FakeProtector protector;
  std::vector<std::pair<NotifyChannel, app::ChannelSettings>> tests;
  app::NotifySettings LoadNotifySettings() override { return app::LoadNotifySettings(path, protector); }
  bool SaveNotifySettings(const app::NotifySettings& s, std::string* error) override {
    return app::SaveNotifySettings(path, s, protector, error);
  }
  void SendTestMessage(NotifyChannel c, const app::ChannelSettings& s) override { tests.emplace_back(c, s); }
};

TEST(Notify, TheDialogTestsAChannelShowsTheAnswerAndSavesSecretsOnlySealed) {
  testing_support::TempDir dir;
  DialogHost host;
  host.path = dir.File("notify.ini");
  // An administrator's script wrote a plain secret: sealed at start, the
  // rest of the file as it was.
  std::ofstream(host.path, std::ios::binary) << "; by hand\r\n[dingtalk]\r\nenabled=1\r\nurl=http://127.0.0.1/hook/dingtalk\r\nsecret=plain-s3cret\r\n";
  EXPECT_TRUE(app::NotifyFileHasPlainSecret(host.path));
  std::string error;
  ASSERT_TRUE(app::SealPlainSecrets(host.path, host.protector, &error)) << error;
  EXPECT_FALSE(app::NotifyFileHasPlainSecret(host.path));
  {
    std::ifstream in(host.path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    EXPECT_EQ(all.str(), "; by hand\r\n[dingtalk]\r\nenabled=1\r\nurl=http://127.0.0.1/hook/dingtalk\r\nsecret=dpapi:" +
                             base::Base64Encode("S:terc3s-nialp") + "\r\n");
  }
  EXPECT_FALSE(app::SealPlainSecrets(dir.File("missing.ini"), host.protector, &error));

  app::Tfrmnotify form(host);
  form.FormShow();
  EXPECT_TRUE(form[NotifyChannel::DingTalk].enabled);
  EXPECT_EQ(form[NotifyChannel::DingTalk].secret, "plain-s3cret");  // used as it is

  // Feishu: enabled with no address is refused, then tested.
  form[NotifyChannel::Feishu].enabled = true;
  form.SaveClick();
  EXPECT_EQ(form.statusLine, "请填写飞书的地址（以 http:// 或 https:// 开头）");
  form[NotifyChannel::Feishu].url = " http://127.0.0.1/hook/feishu ";
  form[NotifyChannel::Feishu].secret = "fs-secret";
  form.TestClick(NotifyChannel::Feishu);
  ASSERT_EQ(host.tests.size(), 1u);
  EXPECT_EQ(host.tests[0].second.url, "http://127.0.0.1/hook/feishu");
  EXPECT_EQ(host.tests[0].second.secret, "fs-secret");
  EXPECT_FALSE(form[NotifyChannel::Feishu].testEnabled);
  EXPECT_EQ(form.statusLine, "飞书：正在发送测试消息……");
  app::HookVerdict refused;
  refused.text = R"(HTTP 200 {"code":19021})";
  form.TestAnswered(NotifyChannel::Feishu, refused);
  EXPECT_EQ(form.statusLine, R"(飞书测试消息未送达：HTTP 200 {"code":19021})");
  EXPECT_TRUE(form[NotifyChannel::Feishu].testEnabled);

  form.SaveClick();
  EXPECT_EQ(form.statusLine, app::kNotifySaved);
  base::IniFile ini(host.path);
  EXPECT_EQ(ini.ReadString("dingtalk", "secret", ""), "dpapi:" + base::Base64Encode("S:terc3s-nialp"));
  EXPECT_EQ(ini.ReadString("feishu", "secret", ""), "dpapi:" + base::Base64Encode("S:terces-sf"));
  EXPECT_EQ(ini.ReadString("feishu", "url", ""), "http://127.0.0.1/hook/feishu");
  EXPECT_EQ(ini.ReadInteger("feishu", "enabled", 0), 1);
  EXPECT_EQ(ini.ReadInteger("wecom", "enabled", 1), 0);
  EXPECT_FALSE(app::NotifyFileHasPlainSecret(host.path));
  std::ifstream in(host.path);
  std::stringstream all;
  all << in.rdbuf();
  EXPECT_EQ(all.str().find("s3cret"), std::string::npos);

  // Read back, the secrets are whole again.
  const auto back = app::LoadNotifySettings(host.path, host.protector);
  EXPECT_EQ(back[NotifyChannel::DingTalk].secret, "plain-s3cret");
  EXPECT_EQ(back[NotifyChannel::Feishu].secret, "fs-secret");
}

}  // namespace
