#include "app/unt_notify.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "base/base64.h"
#include "base/files.h"
#include "base/gbk.h"
#include "base/hmac.h"
#include "base/ini_file.h"
#include "base/text.h"
#include "base/worker.h"
#include "policy/order_outcome.h"
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
  // The quantity of the order as sent (a buy may have been cut to whole lots).
  const std::string& qty = order.tradeType == policy::kTradeBuy ? order.buyQuantity : order.sellQuantity;
  e.quantity = qty.empty() ? fire.monitor.quantity : std::strtoll(qty.c_str(), nullptr, 10);
  if (fire.monitor.promptOnly != 0) {
    e.outcome = "仅提示，不下单";
  } else if (!fire.request.notPlaced.empty()) {
    e.outcome = "未下单";
    e.brokerText = fire.request.notPlaced;
  } else {
    e.outcome = "自动下单";
  }
  return e;
}

NotifyEvent OutcomeNotice(const policy::TOrderOutcome& outcome) {
  NotifyEvent e;
  e.event = "outcome";
  e.time = outcome.time;
  e.monitorId = outcome.monitorId;
  e.kind = policy::KindName(outcome.kind);
  e.code = outcome.code;
  e.name = outcome.name;
  e.side = outcome.side;
  e.price = std::strtod(outcome.price.c_str(), nullptr);
  e.quantity = std::strtoll(outcome.quantity.c_str(), nullptr, 10);
  e.outcome = policy::OrderResultText(outcome.result);
  e.orderNo = outcome.orderNumber;
  e.brokerText = outcome.brokerText;
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

namespace {

using nlohmann::json;

// An answer as one line of the log: control bytes blanked, at most about
// 300 bytes cut at a character's start; bytes that are not UTF-8 only counted.
std::string AnswerLine(std::string_view body) {
  body = base::Trim(body);
  if (!base::IsValidUtf8(body)) return "(" + std::to_string(body.size()) + " 字节，不是文本)";
  constexpr size_t kMax = 300;
  std::string out(body.substr(0, kMax));
  if (body.size() > kMax) {
    while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
    if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0) out.pop_back();
    out += "…";
  }
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return out;
}

// The integer member `key` of an object, when it is one that fits.
std::optional<int64_t> IntegerMember(const json& j, const char* key) {
  const auto it = j.find(key);
  if (it == j.end()) return std::nullopt;
  if (it->is_number_unsigned()) {
    const auto v = it->get<uint64_t>();
    if (v > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
    return static_cast<int64_t>(v);
  }
  if (it->is_number_integer()) return it->get<int64_t>();
  return std::nullopt;
}

std::string StringMember(const json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_string() ? AnswerLine(it->get_ref<const std::string&>()) : std::string();
}

// The services' codes for "sending too fast":
// - DingTalk custom robot 130101 "send too fast, exceed 20 times per
//   minute" (answer quoted at blog.csdn.net/jialiuyang/article/details/118615052,
//   read 2026-12-11; not found on open.dingtalk.com itself).
// - WeCom 45009 "api freq out of limit" (answers quoted on
//   developers.weixin.qq.com/community, read 2026-12-11; the code list of
//   open.work.weixin.qq.com itself not read).
// - Feishu 11232 (open.larkoffice.com/document/ukTMukTMukTM/uUzN04SN3QjL1cDN,
//   "频控策略", read 2026-12-11) and 99991400 of its gateway (same page).
bool TooFast(NotifyChannel channel, int64_t code) {
  switch (channel) {
    case NotifyChannel::WeCom: return code == 45009;
    case NotifyChannel::DingTalk: return code == 130101;
    case NotifyChannel::Feishu: return code == 11232 || code == 99991400;
    case NotifyChannel::Webhook: return false;
  }
  return false;
}

}  // namespace

HookVerdict JudgeReply(NotifyChannel channel, const HookReply& reply) {
  HookVerdict v;
  if (reply.status == 0) {
    v.retry = true;
    v.text = reply.error.empty() ? "没有回答" : AnswerLine(reply.error);
    return v;
  }
  const std::string body = AnswerLine(reply.body);
  v.text = "HTTP " + std::to_string(reply.status) + (body.empty() ? "" : " " + body);
  if (reply.status == 429) {
    v.retry = v.rateLimited = true;
    return v;
  }
  if (reply.status >= 500) {
    v.retry = true;
    return v;
  }
  if (reply.status < 200 || reply.status >= 300) return v;
  if (channel == NotifyChannel::Webhook) {
    v.delivered = true;
    return v;
  }
  // The parser is iterative and reports malformed input without throwing,
  // however deep or long the answer.
  const json answer = json::parse(reply.body, nullptr, false);
  std::optional<int64_t> code;
  if (answer.is_object()) {
    if (channel == NotifyChannel::Feishu) {
      // Newer answers carry "code" and "msg", older ones "StatusCode" and "StatusMessage".
      code = IntegerMember(answer, "code");
      v.message = StringMember(answer, "msg");
      if (!code) {
        code = IntegerMember(answer, "StatusCode");
        v.message = StringMember(answer, "StatusMessage");
      }
    } else {
      code = IntegerMember(answer, "errcode");
      v.message = StringMember(answer, "errmsg");
    }
  }
  v.code = code;
  if (!code) {
    // Not the robot's answer (a proxy's page, a cut answer): the message
    // did not arrive as far as we can tell, so it is tried again.
    v.retry = true;
    return v;
  }
  if (*code == 0) {
    v.delivered = true;
  } else if (TooFast(channel, *code)) {
    v.retry = v.rateLimited = true;
  } else if (channel == NotifyChannel::WeCom && *code == -1) {
    v.retry = true;  // "system busy"
  }
  return v;
}

const ChannelPace& PaceOf(NotifyChannel channel) {
  // WeCom group robot: 20 messages a minute ("每个机器人发送的消息不能超过
  // 20条/分钟", quoted from its robot guide at jishuzhan.net/article/2004385558328573954
  // and blog.csdn.net/tongweizhen/article/details/127411591, read
  // 2026-12-11; developer.work.weixin.qq.com/document/path/91770 itself not
  // read); a per-minute block lasts 60 s (developer.work.weixin.qq.com/document/path/90454,
  // "访问频率限制", updated 2023-08-28).
  // DingTalk custom robot: 20 a minute, over that throttled for 10 minutes
  // ("每个机器人每分钟最多发送20条消息到群里，如果超过20条，会限流10分钟",
  // its guide as quoted at juejin.cn/post/7129698690297495583, read 2026-12-11).
  // Feishu custom bot: 100 a minute and 5 a second per bot
  // (open.larkoffice.com/document/ukTMukTMukTM/uUzN04SN3QjL1cDN, read 2026-12-11).
  static const std::array<ChannelPace, kNotifyChannelCount> kPace = {{
      {20, 0, 60000},
      {20, 0, 10 * 60000},
      {100, 5, 60000},
      {0, 0, 60000},
  }};
  return kPace[static_cast<int>(channel)];
}

std::string RedactUrl(std::string_view url) {
  std::string out(url.substr(0, url.find_first_of("?#")));
  const bool hadQuery = out.size() < url.size();
  // Feishu's (and many a webhook's) credential is the path after "/hook/".
  if (const size_t hook = out.find("/hook/"); hook != std::string::npos && hook + 6 < out.size()) {
    out.resize(hook + 6);
    out += "…";
  }
  if (hadQuery) out += "?…";
  return out;
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

bool SealPlainSecrets(const std::string& path, ISecretProtector& protector, std::string* error) {
  // Never saved over a file that could not be read.
  const auto bytes = base::ReadFileBytes(path);
  if (!bytes) {
    if (error) *error = "无法读取 " + path;
    return false;
  }
  base::IniDocument doc(*bytes);
  bool changed = false;
  for (NotifyChannel ch : kNotifyChannels) {
    const ChannelInfo& info = InfoOf(ch);
    if (!info.signs) continue;
    const auto stored = doc.Get(info.section, "secret");
    if (!stored) continue;
    const std::string plain = base::GbkToUtf8Lossy(base::Trim(*stored));
    if (plain.empty() || plain.rfind(kDpapiPrefix, 0) == 0) continue;
    const auto sealed = protector.Protect(plain);
    if (!sealed) {
      if (error) *error = std::string("无法加密") + info.caption + "的密钥";
      return false;
    }
    doc.Set(info.section, "secret", kDpapiPrefix + base::Base64Encode(*sealed));
    changed = true;
  }
  return !changed || base::AtomicReplace(path, doc.Bytes(), error);
}

int64_t SystemUnixMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// ---- the outbox ----

namespace {

json EventJson(const NotifyEvent& e) {
  return {{"event", e.event},     {"time", e.time},       {"monitorId", e.monitorId},   {"kind", e.kind},
          {"code", e.code},       {"name", e.name},       {"side", e.side},             {"price", e.price},
          {"quantity", e.quantity}, {"outcome", e.outcome}, {"orderNo", e.orderNo}, {"brokerText", e.brokerText}};
}

template <class T>
void Take(const json& j, const char* key, T& out) {
  const auto it = j.find(key);
  if (it == j.end()) return;
  if constexpr (std::is_same_v<T, std::string>) {
    if (it->is_string()) out = it->get<std::string>();
  } else if constexpr (std::is_floating_point_v<T>) {
    if (it->is_number()) out = it->get<T>();
  } else {
    if (it->is_number_integer()) out = it->get<T>();
  }
}

}  // namespace

std::string OutboxText(const std::vector<OutboxEntry>& entries) {
  json list = json::array();
  for (const OutboxEntry& e : entries)
    list.push_back({{"channel", InfoOf(e.channel).section}, {"queued", e.queuedUnixMs}, {"message", EventJson(e.event)}});
  return json{{"messages", list}}.dump(1, '\t', false, json::error_handler_t::replace) + "\n";
}

std::vector<OutboxEntry> ReadOutbox(std::string_view text) {
  std::vector<OutboxEntry> out;
  const json doc = json::parse(text, nullptr, false);
  if (!doc.is_object() || !doc.contains("messages") || !doc["messages"].is_array()) return out;
  for (const json& m : doc["messages"]) {
    if (!m.is_object() || !m.contains("message") || !m["message"].is_object()) continue;
    std::string section;
    Take(m, "channel", section);
    const auto ch = std::find_if(kNotifyChannels.begin(), kNotifyChannels.end(),
                                 [&](NotifyChannel c) { return section == InfoOf(c).section; });
    if (ch == kNotifyChannels.end()) continue;
    OutboxEntry e;
    e.channel = *ch;
    Take(m, "queued", e.queuedUnixMs);
    const json& ev = m["message"];
    Take(ev, "event", e.event.event);
    Take(ev, "time", e.event.time);
    Take(ev, "monitorId", e.event.monitorId);
    Take(ev, "kind", e.event.kind);
    Take(ev, "code", e.event.code);
    Take(ev, "name", e.event.name);
    Take(ev, "side", e.event.side);
    Take(ev, "price", e.event.price);
    Take(ev, "quantity", e.event.quantity);
    Take(ev, "outcome", e.event.outcome);
    Take(ev, "orderNo", e.event.orderNo);
    Take(ev, "brokerText", e.event.brokerText);
    if (e.event.event != "fire" && e.event.event != "outcome") continue;
    out.push_back(std::move(e));
  }
  return out;
}

// ---- the queues and their workers ----

namespace {

struct Delivery {
  NotifyChannel channel = NotifyChannel::WeCom;
  ChannelSettings settings;
  NotifyEvent event;
  int64_t queuedUnixMs = 0;
  int attempts = 0;                                // failed tries so far
  std::function<void(const HookVerdict&)> answer;  // the dialog's test message
};

// One request on the wire, shared with the thread that makes it, so that
// giving up at the deadline leaves nothing dangling.
struct Call {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  HookReply reply;
};

std::string What(const NotifyEvent& e) { return FirstLine(NotifyText(e)); }

}  // namespace

struct TNotifier::State {
  std::shared_ptr<IHookPoster> poster;
  NotifyLog log;
  NotifierOptions options;
  UnixClock clock;
  std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();

  struct Lane {
    std::deque<Delivery> queue;
    std::deque<int64_t> sent;  // the pace clock's times of the last requests
    int64_t notBefore = 0;     // the next try, on the pace clock
    int backoffMs = 0;
    bool busy = false;         // its front is on the wire
    bool failing = false;      // the last try failed (logged once per run of failures)
    bool finished = false;     // its worker has returned
  };

  mutable std::mutex mutex;
  std::condition_variable wake;
  std::array<Lane, kNotifyChannelCount> lanes;
  NotifySettings settings;
  bool closing = false;  // no more queueing; deliver what is left
  bool abandon = false;  // stop as soon as possible
  bool outboxTaken = false;  // ResumeOutbox has read the outbox
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

  // The pace clock: milliseconds since the notifier started, `clockRate`
  // times real time.
  int64_t Now() const {
    const auto real = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - epoch).count();
    return static_cast<int64_t>(real * options.clockRate);
  }
  std::chrono::microseconds RealFor(int64_t paceMs) const {
    const double us = std::ceil(static_cast<double>(std::max<int64_t>(0, paceMs)) * 1000.0 / options.clockRate);
    return std::chrono::microseconds(static_cast<int64_t>(us));
  }

  // Queued and not on the wire.
  size_t Pending() const {
    size_t n = 0;
    for (const Lane& l : lanes) n += l.queue.size() - (l.busy ? 1 : 0);
    return n;
  }

  // When the robot's limits let the next request go (lock held).
  int64_t PacedAt(NotifyChannel ch, Lane& lane, int64_t now) const {
    const ChannelPace& pace = PaceOf(ch);
    while (!lane.sent.empty() && lane.sent.front() <= now - 60000) lane.sent.pop_front();
    int64_t at = now;
    if (pace.perMinute > 0 && lane.sent.size() >= static_cast<size_t>(pace.perMinute))
      at = std::max(at, lane.sent[lane.sent.size() - pace.perMinute] + 60000);
    if (pace.perSecond > 0 && lane.sent.size() >= static_cast<size_t>(pace.perSecond))
      at = std::max(at, lane.sent[lane.sent.size() - pace.perSecond] + 1000);
    return at;
  }

  // Posts on a thread of its own and waits at most the deadline for it.
  HookReply PostWithin(const HookRequest& request) {
    auto call = std::make_shared<Call>();
    base::StartUnwaitedWorker([poster = poster, call, request, timeout = options.timeoutMs] {
      HookReply reply;
      try {
        reply = poster->Post(request.url, request.body, timeout);
      } catch (const std::exception& ex) {
        reply = {0, "", ex.what()};
      }
      std::lock_guard lock(call->mutex);
      call->reply = std::move(reply);
      call->finished = true;
      call->done.notify_all();
    });
    std::unique_lock lock(call->mutex);
    if (!call->done.wait_for(lock, std::chrono::milliseconds(options.deadlineMs), [&] { return call->finished; }))
      return {0, "", std::to_string((options.deadlineMs + 999) / 1000) + " 秒内没有回答"};
    return call->reply;
  }

  // The verdict's text without the address's credential, should the
  // network layer have named the address.
  static std::string Clean(std::string text, const HookRequest& request, const ChannelSettings& settings) {
    for (const std::string* url : {&request.url, &settings.url}) {
      if (url->empty()) continue;
      const std::string shown = RedactUrl(*url);
      for (size_t at; (at = text.find(*url)) != std::string::npos;) text.replace(at, url->size(), shown);
    }
    return text;
  }

  void RunLane(NotifyChannel ch) {
    Lane& lane = lanes[static_cast<int>(ch)];
    const ChannelInfo& info = InfoOf(ch);
    const std::string tag = std::string("消息推送[") + info.caption + "]";
    std::unique_lock lock(mutex);
    for (;;) {
      if (abandon || (closing && lane.queue.empty())) break;
      if (lane.queue.empty()) {
        wake.wait(lock);
        continue;
      }
      const int64_t now = Now();
      const int64_t at = std::max(lane.notBefore, PacedAt(ch, lane, now));
      if (at > now) {
        wake.wait_for(lock, RealFor(at - now));
        continue;
      }
      lane.sent.push_back(now);
      lane.busy = true;
      Delivery d = lane.queue.front();  // stays queued until it is done with
      counts.pending = Pending();
      lock.unlock();

      const HookRequest request = BuildHookRequest(ch, d.settings, d.event, clock());
      HookVerdict verdict = JudgeReply(ch, PostWithin(request));
      verdict.text = Clean(verdict.text, request, d.settings);
      const bool test = static_cast<bool>(d.answer);
      const bool done = verdict.delivered || !verdict.retry || test ||
                        (!verdict.rateLimited && d.attempts + 1 >= std::max(1, options.attempts));

      lock.lock();
      lane.busy = false;
      // Closing may have taken it for the outbox meanwhile.
      if (abandon || lane.queue.empty()) continue;
      if (!done) {
        Delivery& front = lane.queue.front();
        int pause;
        if (verdict.rateLimited) {
          pause = PaceOf(ch).pauseMs;
        } else {
          ++front.attempts;
          lane.backoffMs =
              lane.backoffMs == 0 ? options.firstBackoffMs : std::min(lane.backoffMs * 2, options.maxBackoffMs);
          pause = lane.backoffMs;
        }
        lane.notBefore = Now() + pause;
        const bool first = !lane.failing;
        lane.failing = true;
        lock.unlock();
        if (first)
          Log(tag + "暂时未送达，" + std::to_string((pause + 999) / 1000) + " 秒后重试：" + verdict.text + "；" +
              What(d.event));
        lock.lock();
        continue;
      }
      lane.queue.pop_front();
      lane.backoffMs = 0;
      lane.notBefore = 0;
      lane.failing = false;
      (verdict.delivered ? counts.delivered : counts.failed)++;
      counts.pending = Pending();
      lock.unlock();
      if (verdict.delivered)
        Log(tag + "已送达：" + What(d.event));
      else
        Log(tag + "失败（尝试" + std::to_string(d.attempts + 1) + "次）：" + verdict.text + "；" + What(d.event));
      if (test) Callback([&] { d.answer(verdict); });
      lock.lock();
    }
    lane.finished = true;
    wake.notify_all();
  }

  // Adds a delivery (front for the dialog's test); false when closing.
  bool Add(Delivery d, bool front) {
    std::optional<Delivery> dropped;
    {
      std::lock_guard lock(mutex);
      if (closing) return false;
      Lane& lane = lanes[static_cast<int>(d.channel)];
      const size_t onWire = lane.busy ? 1 : 0;
      if (lane.queue.size() - onWire >= std::max<size_t>(1, options.capacity)) {
        // The oldest waiting one gives way, not the one on the wire.
        const auto victim = lane.queue.begin() + onWire;
        dropped = std::move(*victim);
        lane.queue.erase(victim);
        ++counts.dropped;
      }
      if (front) {
        lane.queue.insert(lane.queue.begin() + onWire, std::move(d));
        lane.notBefore = 0;
      } else {
        lane.queue.push_back(std::move(d));
      }
      counts.pending = Pending();
      wake.notify_all();
    }
    if (dropped) {
      Log(std::string("消息推送[") + InfoOf(dropped->channel).caption + "]队列已满，丢弃最早的消息：" +
          What(dropped->event));
      if (dropped->answer) {
        HookVerdict v;
        v.text = "队列已满，消息被丢弃";
        Callback([&] { dropped->answer(v); });
      }
    }
    return true;
  }
};

TNotifier::TNotifier(std::shared_ptr<IHookPoster> poster, NotifyLog log, NotifierOptions options, UnixClock clock)
    : state_(std::make_shared<State>()) {
  state_->poster = std::move(poster);
  state_->log = std::move(log);
  if (!(options.clockRate > 0)) options.clockRate = 1;
  state_->options = std::move(options);
  state_->clock = std::move(clock);
  // Each worker keeps the state alive, so that a request still on the wire
  // at closing time finishes safely after the notifier is gone.
  for (NotifyChannel ch : kNotifyChannels) base::StartUnwaitedWorker([s = state_, ch] { s->RunLane(ch); });
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
  const int64_t now = state_->clock();
  for (NotifyChannel ch : kNotifyChannels) {
    if (!settings[ch].enabled || settings[ch].url.empty()) continue;
    state_->Add(Delivery{ch, settings[ch], e, now, 0, nullptr}, false);
  }
}

void TNotifier::QueueOutcome(NotifyEvent e) {
  e.event = "outcome";
  Queue(e);
}

void TNotifier::SendTest(NotifyChannel channel, const ChannelSettings& settings, NotifyEvent e,
                         std::function<void(const HookVerdict&)> answer) {
  e.event = "test";
  state_->Add(Delivery{channel, settings, std::move(e), state_->clock(), 0, std::move(answer)}, true);
}

void TNotifier::ResumeOutbox() {
  const std::string& path = state_->options.outboxPath;
  if (path.empty() || !base::FileExists(path)) return;
  const auto text = base::ReadFileBytes(path);
  if (!text) {
    state_->Log("消息推送：无法读取 " + path + "，其中未发送的消息留待下次");
    return;
  }
  const std::vector<OutboxEntry> entries = ReadOutbox(*text);
  NotifySettings settings;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->outboxTaken) return;
    state_->outboxTaken = true;
    settings = state_->settings;
  }
  const int64_t now = state_->clock();
  int resumed = 0;
  for (const OutboxEntry& e : entries) {
    const std::string tag = std::string("消息推送[") + InfoOf(e.channel).caption + "]";
    const ChannelSettings& c = settings[e.channel];
    if (now - e.queuedUnixMs > state_->options.outboxMaxAgeMs) {
      state_->Log(tag + "未发送（上次关闭时留下，已超过一天）：" + What(e.event));
    } else if (!c.enabled || c.url.empty()) {
      state_->Log(tag + "未发送（上次关闭时留下，该渠道已关闭）：" + What(e.event));
    } else if (state_->Add(Delivery{e.channel, c, e.event, e.queuedUnixMs, 0, nullptr}, false)) {
      ++resumed;
    }
  }
  if (!entries.empty()) state_->Log("消息推送：发送上次关闭时留下的 " + std::to_string(resumed) + " 条消息");
  // Emptied rather than removed: a failure to write is seen at once.
  std::string error;
  if (!base::AtomicReplace(path, OutboxText({}), &error)) state_->Log("消息推送：" + error);
}

void TNotifier::Close(int waitMs) {
  State& s = *state_;
  std::vector<OutboxEntry> left;
  bool taken = false;
  {
    std::unique_lock lock(s.mutex);
    if (s.abandon) return;
    s.closing = true;
    s.wake.notify_all();
    s.wake.wait_for(lock, std::chrono::milliseconds(std::max(0, waitMs)), [&] {
      return std::all_of(s.lanes.begin(), s.lanes.end(), [](const State::Lane& l) { return l.finished; });
    });
    for (auto& lane : s.lanes) {
      for (Delivery& d : lane.queue)
        if (!d.answer) left.push_back({d.channel, d.queuedUnixMs, std::move(d.event)});
      lane.queue.clear();
    }
    s.counts.pending = 0;
    taken = s.outboxTaken;
  }
  // Kept from an earlier run and not yet sent: kept again, first.
  if (!left.empty() && !taken && !s.options.outboxPath.empty()) {
    if (const auto text = base::ReadFileBytes(s.options.outboxPath)) {
      std::vector<OutboxEntry> earlier = ReadOutbox(*text);
      left.insert(left.begin(), earlier.begin(), earlier.end());
    }
  }
  if (!left.empty()) {
    std::string error = "没有保存之处";
    const bool kept =
        !s.options.outboxPath.empty() && base::AtomicReplace(s.options.outboxPath, OutboxText(left), &error);
    if (kept) {
      s.Log("消息推送：" + std::to_string(left.size()) + " 条消息未及发送，下次启动时发送");
    } else {
      for (const OutboxEntry& e : left)
        s.Log(std::string("消息推送[") + InfoOf(e.channel).caption + "]未发送（" + error + "）：" + What(e.event));
    }
    std::lock_guard lock(s.mutex);
    (kept ? s.counts.kept : s.counts.failed) += static_cast<int>(left.size());
  }
  {
    std::lock_guard lock(s.mutex);
    s.abandon = true;
    s.wake.notify_all();
  }
  // Waits for a callback under way; none starts after this.
  std::lock_guard callbackLock(s.callbackMutex);
}

TNotifier::Counts TNotifier::Stats() const {
  std::lock_guard lock(state_->mutex);
  return state_->counts;
}

}  // namespace app
