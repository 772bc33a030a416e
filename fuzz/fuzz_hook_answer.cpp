// The robots' answers come from whatever holds the configured address (or
// the way to it over plain http): any bytes must give one verdict for each
// channel, without an exception, and a log text of one line of valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/unt_notify.h"
#include "base/gbk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  for (app::NotifyChannel channel : app::kNotifyChannels) {
    for (int status : {0, 200, 429, 503}) {
      const app::HookVerdict v = app::JudgeReply(channel, app::HookReply{status, body, body});
      if (v.delivered && v.retry) __builtin_trap();
      if (v.rateLimited && !v.retry) __builtin_trap();
      if (v.delivered && channel != app::NotifyChannel::Webhook && v.code != 0) __builtin_trap();
      if (!base::IsValidUtf8(v.text) || !base::IsValidUtf8(v.message)) __builtin_trap();
      if (v.text.find_first_of("\r\n") != std::string::npos || v.text.size() > 400) __builtin_trap();
    }
  }
  // The outbox file is read with the same parser: whatever it holds is
  // either entries or nothing.
  for (const app::OutboxEntry& e : app::ReadOutbox(body))
    if (e.event.event != "fire" && e.event.event != "outcome") __builtin_trap();
  return 0;
}
