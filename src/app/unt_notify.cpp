#include "app/unt_notify.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <regex>
#include <thread>

#include "base/base64.h"
#include "base/hmac.h"
#include "base/ini_file.h"
#include "base/text.h"
#include "policy/unt_monitorloop.h"

namespace app {
namespace {

const std::array<ChannelInfo, kNotifyChannelCount> kInfo = {{
    {"wecom", "企业微信", false},
    {"dingtalk", "钉钉", true},
    {"feishu", "飞书", true},
    {"webhook", "Webhook", false},
}};

std::string Json(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          static const char hex[] = "0123456789abcdef";
          out += "\\u00";
          out += hex[(c >> 4) & 15];
          out += hex[c & 15];
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string TimeText(base::TDateTime t) { return base::FormatDateTime("yyyy-mm-dd hh:nn:ss", t); }

std::string WithQuery(const std::string& url, const std::string& query) {
  return url + (url.find('?') == std::string::npos ? "?" : "&") + query;
}

// The first integer member `key` of a JSON answer, if any.
std::optional<long long> JsonInteger(const std::string& body, const char* key) {
  const std::regex re(std::string("\"") + key + "\"\\s*:\\s*(-?[0-9]+)");
  std::smatch m;
  if (!std::regex_search(body, m, re)) return std::nullopt;
  return std::stoll(m[1].str());
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

const ChannelInfo& InfoOf(NotifyChannel channel) { return kInfo[static_cast<int>(channel)]; }

NotifyEvent FireNotice(const policy::FireEvent& fire, base::TDateTime now) {
  const policy::TTradeRecord& order = fire.request.order;
  NotifyEvent e;
  e.event = "fire";
  e.time = now;
  e.monitorId = fire.monitor.id;
  e.kind = policy::KindName(fire.monitor.kind);
  e.code = order.code;
  e.name = order.name;
  e.side = order.tradeType == policy::kTradeBuy ? "买入" : order.tradeType == policy::kTradeSell ? "卖出" : "交易类型错误";
  e.price = fire.request.price;
  e.quantity = fire.monitor.quantity;
  e.outcome = fire.monitor.promptOnly != 0 ? "仅提示，不下单" : "自动下单";
  return e;
}

std::string NotifyText(const NotifyEvent& e) {
  std::string text;
  if (e.event == "test") {
    text = "【测试】quorvel 消息推送测试，收到即表示设置正确";
  } else {
    text = e.event == "outcome" ? "【委托】" : "【触发】";
    if (!e.kind.empty()) text += e.kind + " ";
    text += e.name + "(" + e.code + ")";
    text += "\n" + e.side + " " + std::to_string(e.quantity) + "股 价格" + base::FormatPrice(e.price);
    std::string result = e.outcome;
    if (!e.orderNo.empty()) result += (result.empty() ? "" : " ") + std::string("委托号") + e.orderNo;
    if (!e.brokerText.empty()) result += (result.empty() ? "" : " ") + e.brokerText;
    if (!result.empty()) text += "\n" + result;
  }
  return text + "\n" + TimeText(e.time);
}

std::string UrlEncode(std::string_view bytes) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += ch;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string DingTalkSign(int64_t unixMs, std::string_view secret) {
  const std::string ts = std::to_string(unixMs);
  return base::Base64Encode(base::HmacSha256(secret, ts + "\n" + std::string(secret)));
}

std::string FeishuSign(int64_t unixSeconds, std::string_view secret) {
  return base::Base64Encode(base::HmacSha256(std::to_string(unixSeconds) + "\n" + std::string(secret), ""));
}

HookRequest BuildHookRequest(NotifyChannel channel, const ChannelSettings& s, const NotifyEvent& e, int64_t unixMs) {
  HookRequest r;
  r.url = s.url;
  const std::string text = Json(NotifyText(e));
  switch (channel) {
    case NotifyChannel::WeCom:
      r.body = "{\"msgtype\":\"text\",\"text\":{\"content\":" + text + "}}";
      break;
    case NotifyChannel::DingTalk:
      r.body = "{\"msgtype\":\"text\",\"text\":{\"content\":" + text + "}}";
      if (!s.secret.empty())
        r.url = WithQuery(s.url, "timestamp=" + std::to_string(unixMs) + "&sign=" +
                                     UrlEncode(DingTalkSign(unixMs, s.secret)));
      break;
    case NotifyChannel::Feishu: {
      std::string head = "{";
      if (!s.secret.empty()) {
        const int64_t seconds = unixMs / 1000;
        head += "\"timestamp\":" + Json(std::to_string(seconds)) + ",\"sign\":" + Json(FeishuSign(seconds, s.secret)) +
                ",";
      }
      r.body = head + "\"msg_type\":\"text\",\"content\":{\"text\":" + text + "}}";
      break;
    }
    case NotifyChannel::Webhook:
      r.body = "{\"event\":" + Json(e.event) + ",\"time\":" + Json(TimeText(e.time)) +
               ",\"monitor_id\":" + std::to_string(e.monitorId) + ",\"kind\":" + Json(e.kind) +
               ",\"code\":" + Json(e.code) + ",\"name\":" + Json(e.name) + ",\"price\":" + base::FormatPrice(e.price) +
               ",\"side\":" + Json(e.side) + ",\"quantity\":" + std::to_string(e.quantity) +
               ",\"outcome\":" + Json(e.outcome) + ",\"order_no\":" + Json(e.orderNo) +
               ",\"broker_text\":" + Json(e.brokerText) + ",\"text\":" + text + "}";
      break;
  }
  return r;
}

HookVerdict JudgeReply(NotifyChannel channel, const HookReply& reply) {
  HookVerdict v;
  if (reply.status == 0) {
    v.retry = true;
    v.text = reply.error.empty() ? "没有回答" : reply.error;
    return v;
  }
  std::string body = std::string(base::Trim(reply.body));
  if (body.size() > 300) body = body.substr(0, 300) + "…";
  v.text = "HTTP " + std::to_string(reply.status) + (body.empty() ? "" : " " + body);
  if (reply.status == 429 || reply.status >= 500) {
    v.retry = true;
    return v;
  }
  if (reply.status < 200 || reply.status >= 300) return v;
  switch (channel) {
    case NotifyChannel::WeCom:
    case NotifyChannel::DingTalk: v.delivered = JsonInteger(reply.body, "errcode") == 0; break;
    case NotifyChannel::Feishu: {
      // Newer answers carry "code", older ones "StatusCode".
      auto code = JsonInteger(reply.body, "code");
      if (!code) code = JsonInteger(reply.body, "StatusCode");
      v.delivered = code == 0;
      break;
    }
    case NotifyChannel::Webhook: v.delivered = true; break;
  }
  return v;
}

bool NotifySettings::AnyEnabled() const {
  for (const auto& c : channels)
    if (c.enabled && !c.url.empty()) return true;
  return false;
}

NotifySettings LoadNotifySettings(const std::string& path, ISecretProtector& protector) {
  base::IniFile ini(path);
  NotifySettings s;
  for (NotifyChannel ch : kNotifyChannels) {
    const ChannelInfo& info = InfoOf(ch);
    ChannelSettings& c = s[ch];
    c.enabled = ini.ReadBool(info.section, "enabled", false);
    c.url = std::string(base::Trim(ini.ReadString(info.section, "url", "")));
    if (!info.signs) continue;
    const std::string stored = std::string(base::Trim(ini.ReadString(info.section, "secret", "")));
    if (stored.rfind(kDpapiPrefix, 0) == 0) {
      std::optional<std::string> plain;
      if (auto sealed = base::Base64Decode(stored.substr(sizeof kDpapiPrefix - 1))) plain = protector.Unprotect(*sealed);
      if (plain)
        c.secret = *plain;
      else
        c.undecryptable = stored;
    } else {
      c.secret = stored;  // written by hand: used, and encrypted at the next save
    }
  }
  return s;
}

bool NotifyFileHasPlainSecret(const std::string& path) {
  base::IniFile ini(path);
  for (NotifyChannel ch : kNotifyChannels) {
    if (!InfoOf(ch).signs) continue;
    const std::string stored = std::string(base::Trim(ini.ReadString(InfoOf(ch).section, "secret", "")));
    if (!stored.empty() && stored.rfind(kDpapiPrefix, 0) != 0) return true;
  }
  return false;
}

bool SaveNotifySettings(const std::string& path, const NotifySettings& s, ISecretProtector& protector,
                        std::string* error) {
  // Every secret is sealed before anything is written.
  std::array<std::string, kNotifyChannelCount> sealed;
  for (NotifyChannel ch : kNotifyChannels) {
    const ChannelSettings& c = s[ch];
    if (!InfoOf(ch).signs) continue;
    if (c.secret.empty()) {
      sealed[static_cast<int>(ch)] = c.undecryptable;
      continue;
    }
    auto p = protector.Protect(c.secret);
    if (!p) {
      if (error) *error = std::string("无法加密") + InfoOf(ch).caption + "的密钥";
      return false;
    }
    sealed[static_cast<int>(ch)] = kDpapiPrefix + base::Base64Encode(*p);
  }
  try {
    base::IniFile ini(path);
    for (NotifyChannel ch : kNotifyChannels) {
      const ChannelInfo& info = InfoOf(ch);
      ini.WriteInteger(info.section, "enabled", s[ch].enabled ? 1 : 0);
      ini.WriteString(info.section, "url", s[ch].url);
      if (info.signs) ini.WriteString(info.section, "secret", sealed[static_cast<int>(ch)]);
    }
  } catch (const std::exception& ex) {
    if (error) *error = ex.what();
    return false;
  }
  return true;
}

int64_t SystemUnixMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// ---- the queue and its worker ----

namespace {

struct Delivery {
  NotifyChannel channel = NotifyChannel::WeCom;
  ChannelSettings settings;
  NotifyEvent event;
  std::function<void(const HookVerdict&)> answer;  // tests only
};

}  // namespace

struct TNotifier::State {
  std::shared_ptr<IHookPoster> poster;
  NotifyLog log;
  NotifierOptions options;
  UnixClock clock;

  mutable std::mutex mutex;
  std::condition_variable wake;
  std::deque<Delivery> queue;
  NotifySettings settings;
  bool closing = false;   // no more queueing; deliver what is left
  bool abandon = false;   // stop as soon as possible
  bool finished = false;  // the worker has returned
  Counts counts;

  // Callbacks run under this lock and never after the notifier was given
  // up, so that nothing the owner handed in is used after Close.
  std::mutex callbackMutex;

  template <class F>
  void Callback(F&& f) {
    std::lock_guard callbackLock(callbackMutex);
    {
      std::lock_guard lock(mutex);
      if (abandon) return;
    }
    f();
  }
  void Log(const std::string& line) {
    if (log) Callback([&] { log(line); });
  }

  // Waits the back-off; false when the notifier is given up meanwhile.
  bool Backoff(int ms) {
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, std::chrono::milliseconds(ms), [&] { return abandon; });
  }

  void Deliver(Delivery& d) {
    const ChannelInfo& info = InfoOf(d.channel);
    const int attempts = d.answer ? 1 : std::max(1, options.attempts);
    int backoff = options.firstBackoffMs;
    HookVerdict verdict;
    int attempt = 0;
    for (;;) {
      ++attempt;
      const HookRequest request = BuildHookRequest(d.channel, d.settings, d.event, clock());
      HookReply reply;
      try {
        reply = poster->Post(request.url, request.body, options.timeoutMs);
      } catch (const std::exception& ex) {
        reply.status = 0;
        reply.error = ex.what();
      }
      verdict = JudgeReply(d.channel, reply);
      if (verdict.delivered || !verdict.retry || attempt >= attempts) break;
      if (!Backoff(backoff)) break;
      backoff = std::min(backoff * 2, options.maxBackoffMs);
    }
    {
      std::lock_guard lock(mutex);
      (verdict.delivered ? counts.delivered : counts.failed)++;
    }
    const std::string what = FirstLine(NotifyText(d.event));
    if (verdict.delivered)
      Log(std::string("消息推送[") + info.caption + "]已送达：" + what);
    else
      Log(std::string("消息推送[") + info.caption + "]失败（尝试" + std::to_string(attempt) + "次）：" + verdict.text +
          "；" + what);
    if (d.answer) Callback([&] { d.answer(verdict); });
  }

  void Run() {
    for (;;) {
      Delivery d;
      {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return abandon || closing || !queue.empty(); });
        if (abandon || queue.empty()) break;
        d = std::move(queue.front());
        queue.pop_front();
        counts.pending = queue.size();
      }
      Deliver(d);
    }
    std::lock_guard lock(mutex);
    finished = true;
    wake.notify_all();
  }

  // Adds a delivery (front for tests); the dropped one when the queue was full.
  std::optional<Delivery> Add(Delivery d, bool front) {
    std::optional<Delivery> dropped;
    std::lock_guard lock(mutex);
    if (closing) return std::nullopt;
    if (queue.size() >= std::max<size_t>(1, options.capacity)) {
      dropped = std::move(queue.front());
      queue.pop_front();
      ++counts.dropped;
    }
    if (front)
      queue.push_front(std::move(d));
    else
      queue.push_back(std::move(d));
    counts.pending = queue.size();
    wake.notify_all();
    return dropped;
  }

  void Dropped(Delivery& d) {
    HookVerdict v;
    v.text = "队列已满，消息被丢弃";
    Log(std::string("消息推送[") + InfoOf(d.channel).caption + "]队列已满，丢弃最早的消息：" +
        FirstLine(NotifyText(d.event)));
    if (d.answer) Callback([&] { d.answer(v); });
  }
};

TNotifier::TNotifier(std::shared_ptr<IHookPoster> poster, NotifyLog log, NotifierOptions options, UnixClock clock)
    : state_(std::make_shared<State>()) {
  state_->poster = std::move(poster);
  state_->log = std::move(log);
  state_->options = options;
  state_->clock = std::move(clock);
  // The worker keeps the state alive, so a request still on the wire at
  // closing time finishes safely after the notifier is gone.
  std::thread([s = state_] { s->Run(); }).detach();
}

TNotifier::~TNotifier() { Close(0); }

void TNotifier::SetSettings(const NotifySettings& settings) {
  std::lock_guard lock(state_->mutex);
  state_->settings = settings;
}

void TNotifier::Queue(const NotifyEvent& e) {
  NotifySettings settings;
  {
    std::lock_guard lock(state_->mutex);
    settings = state_->settings;
  }
  for (NotifyChannel ch : kNotifyChannels) {
    if (!settings[ch].enabled || settings[ch].url.empty()) continue;
    if (auto dropped = state_->Add(Delivery{ch, settings[ch], e, nullptr}, false)) state_->Dropped(*dropped);
  }
}

void TNotifier::QueueOutcome(NotifyEvent e) {
  e.event = "outcome";
  Queue(e);
}

void TNotifier::SendTest(NotifyChannel channel, const ChannelSettings& settings, NotifyEvent e,
                         std::function<void(const HookVerdict&)> answer) {
  e.event = "test";
  if (auto dropped = state_->Add(Delivery{channel, settings, std::move(e), answer}, true)) state_->Dropped(*dropped);
}

void TNotifier::Close(int waitMs) {
  std::unique_lock lock(state_->mutex);
  state_->closing = true;
  state_->wake.notify_all();
  state_->wake.wait_for(lock, std::chrono::milliseconds(std::max(0, waitMs)), [&] { return state_->finished; });
  if (!state_->finished) {
    state_->abandon = true;
    state_->queue.clear();
    state_->counts.pending = 0;
    state_->wake.notify_all();
    lock.unlock();
    // Waits for a callback under way; none starts after this.
    std::lock_guard callbackLock(state_->callbackMutex);
  }
}

TNotifier::Counts TNotifier::Stats() const {
  std::lock_guard lock(state_->mutex);
  return state_->counts;
}

}  // namespace app
