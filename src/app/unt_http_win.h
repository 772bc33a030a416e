// A plain HTTP GET through WinHTTP, for the program's own web requests
// (the notice text, the version check, the update download). Blocking:
// call it on a worker.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace app {

// The body of a 200 reply, or nullopt (with `error` set) when the address
// does not parse, the whole answer is not in within `timeoutMs` (however
// slowly the server keeps sending) or it is anything else. Bodies larger
// than `maxBytes` are refused.
std::optional<std::string> HttpGet(const std::string& url, int timeoutMs, std::string* error = nullptr,
                                   size_t maxBytes = 4u << 20);

// Streams the body of a 200 reply into `onData` as it arrives, with the
// size the server announced (0 when it gave none). `onData` returns false
// to stop (its own failure or a cancel): the download then fails with
// `error` left as `onData` set it. `timeoutMs` holds for each step, so a
// large file may take longer in all.
using HttpSink = std::function<bool(std::string_view bytes, uint64_t total, std::string* error)>;
bool HttpDownload(const std::string& url, int timeoutMs, const HttpSink& onData, std::string* error = nullptr);

// POSTs a JSON body and returns whatever the server answered: status 0
// (with `error`) only when there was no complete answer, each step within
// `stepMs` and the whole request within `wholeMs`.
struct HttpReply {
  int status = 0;
  std::string body;
  std::string error;
};
HttpReply HttpPostJson(const std::string& url, const std::string& body, int stepMs, int wholeMs,
                       size_t maxBytes = 64u << 10);

}  // namespace app
