// Push notifications: each fire (and each final order outcome) goes as a
// short Chinese message to the chat robots the user has enabled in
// notify.ini (WeCom, DingTalk, Feishu) and to a plain JSON webhook.
//
// The monitor loop only queues: one worker sends, with a short time-out and
// a few retries with back-off, and reports each delivery or failure through
// a log callback. The network (IHookPoster) and the protection of secrets
// (ISecretProtector) are ports; the Windows program gives WinHTTP and DPAPI.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/datetime.h"

namespace policy {
struct FireEvent;
struct TOrderOutcome;
}

namespace app {

inline constexpr char kNotifyIniName[] = "notify.ini";
inline constexpr char kDpapiPrefix[] = "dpapi:";

enum class NotifyChannel : int { WeCom = 0, DingTalk = 1, Feishu = 2, Webhook = 3 };
inline constexpr int kNotifyChannelCount = 4;
inline constexpr std::array<NotifyChannel, kNotifyChannelCount> kNotifyChannels = {
    NotifyChannel::WeCom, NotifyChannel::DingTalk, NotifyChannel::Feishu, NotifyChannel::Webhook};

struct ChannelInfo {
  const char* section;  // of notify.ini
  const char* caption;  // as the dialog and the log name it
  bool signs;           // has a secret
};
const ChannelInfo& InfoOf(NotifyChannel channel);

// One thing to tell the user. "fire": a monitor fired; "outcome": an order's
// outcome became final; "test": the dialog's test message.
struct NotifyEvent {
  std::string event = "fire";
  base::TDateTime time = 0;  // local
  int32_t monitorId = 0;
  std::string kind;  // the monitor kind's name
  std::string code;
  std::string name;
  std::string side;  // "买入", "卖出"
  double price = 0;  // the order price
  int64_t quantity = 0;
  std::string outcome;
  std::string orderNo;
  std::string brokerText;
};

// The event of a fired monitor: its kind, the security ordered, the side,
// order price and quantity; the outcome says whether an order is placed.
NotifyEvent FireNotice(const policy::FireEvent& fire, base::TDateTime now);

// The event of an order whose outcome became final.
NotifyEvent OutcomeNotice(const policy::TOrderOutcome& outcome);

// Where the final outcome of an order is told beyond this PC; main thread,
// queues only. NotifyService (unt_notify_win.h) is the program's.
class IOutcomeNotice {
 public:
  virtual ~IOutcomeNotice() = default;
  // `e.event` is made "outcome".
  virtual void QueueOutcome(const NotifyEvent& e) = 0;
};

// The message a phone shows: a few short lines, the time last.
std::string NotifyText(const NotifyEvent& e);

// ---- the channels' requests ----

struct ChannelSettings {
  bool enabled = false;
  std::string url;
  std::string secret;  // plain, in memory only
  // A stored secret this user cannot decrypt: kept as it is on save
  // unless a new secret is typed.
  std::string undecryptable;
};

struct HookRequest {
  std::string url;
  std::string body;  // JSON, UTF-8
};

// "%XX" for every byte but unreserved ones (RFC 3986).
std::string UrlEncode(std::string_view bytes);
// DingTalk: Base64 of HMAC-SHA256 under the secret over "timestamp\nsecret".
std::string DingTalkSign(int64_t unixMs, std::string_view secret);
// Feishu: Base64 of HMAC-SHA256 keyed with "timestamp\nsecret" over nothing.
std::string FeishuSign(int64_t unixSeconds, std::string_view secret);
// The request of a channel for the event, signed at `unixMs` where the
// channel has a secret.
HookRequest BuildHookRequest(NotifyChannel channel, const ChannelSettings& settings, const NotifyEvent& e,
                             int64_t unixMs);

// What the endpoint said: status 0 when there was no answer (`error` says why).
struct HookReply {
  int status = 0;
  std::string body;
  std::string error;
};
struct HookVerdict {
  bool delivered = false;
  bool retry = false;  // worth another try (no answer, busy, server trouble)
  std::string text;    // the answer as the status line and the log show it
};
// The robots answer 200 with an error code in the body; the plain webhook
// takes any 2xx.
HookVerdict JudgeReply(NotifyChannel channel, const HookReply& reply);

// ---- notify.ini ----

// Encrypts secrets for the current user (DPAPI on Windows).
class ISecretProtector {
 public:
  virtual ~ISecretProtector() = default;
  virtual std::optional<std::string> Protect(std::string_view plain) = 0;
  virtual std::optional<std::string> Unprotect(std::string_view sealed) = 0;
};

struct NotifySettings {
  std::array<ChannelSettings, kNotifyChannelCount> channels;
  ChannelSettings& operator[](NotifyChannel c) { return channels[static_cast<int>(c)]; }
  const ChannelSettings& operator[](NotifyChannel c) const { return channels[static_cast<int>(c)]; }
  bool AnyEnabled() const;
};

// A missing file gives every channel off. A secret "dpapi:" + Base64 is
// decrypted; any other value is taken as the plain secret.
NotifySettings LoadNotifySettings(const std::string& path, ISecretProtector& protector);
// Writes every section; secrets only encrypted. False with `error` set when
// the file cannot be written or a secret cannot be encrypted (nothing
// secret is then written in plain).
bool SaveNotifySettings(const std::string& path, const NotifySettings& settings, ISecretProtector& protector,
                        std::string* error);
// True when the file holds a secret in plain text (to be re-written).
bool NotifyFileHasPlainSecret(const std::string& path);

// ---- delivery ----

class IHookPoster {
 public:
  virtual ~IHookPoster() = default;
  // POSTs the JSON body; blocking, within `timeoutMs` for the whole request.
  virtual HookReply Post(const std::string& url, const std::string& body, int timeoutMs) = 0;
};

struct NotifierOptions {
  size_t capacity = 100;     // undelivered messages kept
  int timeoutMs = 3000;       // per request
  // The first try and six retries, 1 s to 32 s apart: about a minute
  // (plus the tries themselves) for an endpoint to come back.
  int attempts = 7;
  int firstBackoffMs = 1000;  // doubled after each failed try
  int maxBackoffMs = 32000;
};

// A delivery log line (worker thread; hand it to the daily log).
using NotifyLog = std::function<void(const std::string& line)>;
// Milliseconds since 1970 (UTC), for the signatures.
using UnixClock = std::function<int64_t()>;
int64_t SystemUnixMs();

class TNotifier {
 public:
  TNotifier(std::shared_ptr<IHookPoster> poster, NotifyLog log, NotifierOptions options = {},
            UnixClock clock = SystemUnixMs);
  ~TNotifier();  // gives up at once what is still queued
  TNotifier(const TNotifier&) = delete;
  TNotifier& operator=(const TNotifier&) = delete;

  // The channels later events go to.
  void SetSettings(const NotifySettings& settings);
  // One delivery per enabled channel; never waits for the network. When the
  // queue is full the oldest undelivered message is dropped and counted.
  void Queue(const NotifyEvent& e);
  // An order's final outcome (event "outcome").
  void QueueOutcome(NotifyEvent e);
  // A test message on one channel with the given (possibly unsaved)
  // settings, ahead of the queue, tried once; `answer` runs on the worker.
  void SendTest(NotifyChannel channel, const ChannelSettings& settings, NotifyEvent e,
                std::function<void(const HookVerdict&)> answer);
  // Waits at most `waitMs` for the queue to empty, then gives up the rest;
  // nothing is queued afterwards. A request still on the wire finishes on
  // its own without holding the caller.
  void Close(int waitMs);

  struct Counts {
    int delivered = 0;
    int failed = 0;
    int dropped = 0;
    size_t pending = 0;  // queued, not yet taken by the worker
  };
  Counts Stats() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace app
