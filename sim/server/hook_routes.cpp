#include "hook_routes.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "base/base64.h"
#include "base/hmac.h"

namespace simserver {
namespace {

using nlohmann::json;

// Signed requests are accepted within an hour of the server's clock, as the
// services do.
constexpr long long kWindowMs = 3600 * 1000LL;

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool ParseMs(const std::string& text, long long& out) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  out = std::atoll(text.c_str());
  return true;
}

struct Verdict {
  int status = 200;
  json answer;
  bool ok = false;
  std::string text;
};

const json kDingOk = {{"errcode", 0}, {"errmsg", "ok"}};
const json kDingBadSign = {{"errcode", 310000},
                           {"errmsg", "sign not match, more: [https://ding-doc.dingtalk.com/doc#/serverapi2/qf2nxq]"}};
const json kFeishuOk = {{"StatusCode", 0}, {"StatusMessage", "success"}, {"code", 0}, {"data", json::object()},
                        {"msg", "success"}};
const json kFeishuBadSign = {{"code", 19021},
                             {"data", json::object()},
                             {"msg", "sign match fail or timestamp is not within one hour from current time"}};

// {"msgtype":"text","text":{"content":...}}, the shape WeCom and DingTalk share.
bool RobotText(const json& body, std::string& text) {
  if (!body.is_object() || body.value("msgtype", "") != "text" || !body.contains("text") ||
      !body["text"].is_object() || !body["text"].contains("content") || !body["text"]["content"].is_string())
    return false;
  text = body["text"]["content"].get<std::string>();
  return true;
}

Verdict WeCom(const json& body) {
  Verdict v;
  if (!RobotText(body, v.text)) {
    v.answer = {{"errcode", 40008}, {"errmsg", "invalid message type"}};
    return v;
  }
  v.ok = true;
  v.answer = {{"errcode", 0}, {"errmsg", "ok"}};
  return v;
}

Verdict DingTalk(const httplib::Request& req, const json& body, const std::string& secret) {
  Verdict v;
  if (!secret.empty()) {
    long long ts = 0;
    if (!ParseMs(req.get_param_value("timestamp"), ts) || std::llabs(NowMs() - ts) > kWindowMs) {
      v.answer = {{"errcode", 310000}, {"errmsg", "timestamp is invalid"}};
      return v;
    }
    // httplib has already undone the URL encoding of the query.
    const std::string want = base::Base64Encode(base::HmacSha256(secret, std::to_string(ts) + "\n" + secret));
    if (req.get_param_value("sign") != want) {
      v.answer = kDingBadSign;
      return v;
    }
  }
  if (!RobotText(body, v.text)) {
    v.answer = {{"errcode", 40035}, {"errmsg", "缺少参数 json"}};
    return v;
  }
  v.ok = true;
  v.answer = kDingOk;
  return v;
}

Verdict Feishu(const json& body, const std::string& secret) {
  Verdict v;
  if (!body.is_object()) {
    v.answer = {{"code", 9499}, {"data", json::object()}, {"msg", "Bad Request"}};
    return v;
  }
  if (!secret.empty()) {
    long long seconds = 0;
    const std::string ts = body.contains("timestamp") && body["timestamp"].is_string() ? body["timestamp"].get<std::string>()
                                                                                        : std::string();
    const std::string sign = body.value("sign", "");
    if (!ParseMs(ts, seconds) || std::llabs(NowMs() - seconds * 1000) > kWindowMs ||
        sign != base::Base64Encode(base::HmacSha256(ts + "\n" + secret, ""))) {
      v.answer = kFeishuBadSign;
      return v;
    }
  }
  if (body.value("msg_type", "") != "text" || !body.contains("content") || !body["content"].is_object() ||
      !body["content"].contains("text") || !body["content"]["text"].is_string()) {
    v.answer = {{"code", 9499}, {"data", json::object()}, {"msg", "Bad Request"}};
    return v;
  }
  v.text = body["content"]["text"].get<std::string>();
  v.ok = true;
  v.answer = kFeishuOk;
  return v;
}

Verdict Plain(const json& body) {
  Verdict v;
  if (!body.is_object()) {
    v.status = 400;
    v.answer = {{"ok", false}, {"error", "wants a JSON object"}};
    return v;
  }
  v.ok = true;
  v.text = body.value("text", "");
  v.answer = {{"ok", true}};
  return v;
}

// How one robot page misbehaves, as set by /admin/hooks/mode.
struct Modes {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::string, std::pair<std::string, int>> of;  // channel -> (mode, ms)
  std::map<std::string, int> generation;  // channel -> changes of its mode
};

}  // namespace

void AddHookRoutes(httplib::Server& server, const ServerOptions& options, Recorder& recorder) {
  auto down = std::make_shared<std::atomic<bool>>(false);
  auto stallMs = std::make_shared<std::atomic<int>>(0);
  auto modes = std::make_shared<Modes>();
  const std::string secret = options.hookSecret;
  server.Post(R"(/hook/(wecom|dingtalk|feishu|plain))", [&recorder, down, stallMs, modes, secret](
                                                            const httplib::Request& req, httplib::Response& res) {
    const std::string channel = req.matches[1];
    const json body = json::parse(req.body, nullptr, false);
    std::string mode;
    int modeMs = 0;
    {
      std::unique_lock lock(modes->mutex);
      if (auto it = modes->of.find(channel); it != modes->of.end()) std::tie(mode, modeMs) = it->second;
      if (mode == "hang") {
        // Takes the request and says nothing until the time is up or the
        // mode is changed.
        const int generation = modes->generation[channel];
        modes->changed.wait_for(lock, std::chrono::milliseconds(modeMs),
                                [&] { return modes->generation[channel] != generation; });
      }
    }
    if (!mode.empty()) {
      std::string answer;
      if (mode == "malformed") answer = R"({"errcode":99999999999999999999,"code":99999999999999999999,"errmsg":"ok"})";
      if (mode == "huge") answer = "{\"errcode\":" + std::string(static_cast<size_t>(modeMs), ' ');
      recorder.Write({{"event", "hook"}, {"channel", channel}, {"ok", false}, {"status", 200}, {"mode", mode},
                      {"body", body.is_discarded() ? json(req.body) : body}});
      res.status = 200;
      res.set_content(answer, "application/json");
      return;
    }
    Verdict v;
    if (down->load()) {
      // A service in trouble may also be slow to say so.
      if (const int ms = stallMs->load(); ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      v.status = 503;
      v.answer = {{"error", "service unavailable"}};
    } else if (channel == "wecom") {
      v = WeCom(body);
    } else if (channel == "dingtalk") {
      v = DingTalk(req, body, secret);
    } else if (channel == "feishu") {
      v = Feishu(body, secret);
    } else {
      v = Plain(body);
    }
    recorder.Write({{"event", "hook"},
                    {"channel", channel},
                    {"ok", v.ok},
                    {"status", v.status},
                    {"text", v.text},
                    {"body", body.is_discarded() ? json(req.body) : body},
                    {"answer", v.answer}});
    res.status = v.status;
    res.set_content(v.answer.dump(), "application/json");
  });
  server.Post(R"(/admin/hooks/(down|up))", [&recorder, down, stallMs](const httplib::Request& req,
                                                                      httplib::Response& res) {
    const bool up = req.matches[1] == "up";
    const json body = json::parse(req.body.empty() ? "{}" : req.body, nullptr, false);
    const int stall = body.is_object() && body.contains("stallMs") && body["stallMs"].is_number_integer()
                          ? std::clamp(body["stallMs"].get<int>(), 0, 60000)
                          : 0;
    stallMs->store(up ? 0 : stall);
    down->store(!up);
    recorder.Write({{"event", "admin"}, {"action", up ? "hooks-up" : "hooks-down"}, {"stallMs", up ? 0 : stall}});
    res.set_content(json{{"ok", true}, {"hooksUp", up}}.dump(), "application/json");
  });
  server.Post("/admin/hooks/mode", [&recorder, modes](const httplib::Request& req, httplib::Response& res) {
    const json body = json::parse(req.body.empty() ? "{}" : req.body, nullptr, false);
    const std::string channel = body.is_object() ? body.value("channel", "") : "";
    const std::string mode = body.is_object() ? body.value("mode", "") : "";
    if ((channel != "wecom" && channel != "dingtalk" && channel != "feishu" && channel != "plain") ||
        (mode != "normal" && mode != "hang" && mode != "malformed" && mode != "huge")) {
      res.status = 400;
      res.set_content(json{{"ok", false}, {"error", "wants channel and mode (normal, hang, malformed, huge)"}}.dump(),
                      "application/json");
      return;
    }
    const int ms = body.contains("ms") && body["ms"].is_number_integer()
                       ? std::clamp(body["ms"].get<int>(), 0, 120000)
                       : (mode == "huge" ? 100000 : 60000);
    {
      std::lock_guard lock(modes->mutex);
      if (mode == "normal")
        modes->of.erase(channel);
      else
        modes->of[channel] = {mode, ms};
      ++modes->generation[channel];
      modes->changed.notify_all();
    }
    recorder.Write({{"event", "admin"}, {"action", "hooks-mode"}, {"channel", channel}, {"mode", mode}, {"ms", ms}});
    res.set_content(json{{"ok", true}}.dump(), "application/json");
  });
}

}  // namespace simserver
