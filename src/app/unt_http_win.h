// A plain HTTP GET through WinHTTP, for the program's own web requests
// (the notice text, the version check). Blocking: call it on a worker.
#pragma once

#include <optional>
#include <string>

namespace app {

// The body of a 200 reply, or nullopt (with `error` set) when the address
// does not parse, the server cannot be reached within the time-out or
// answers anything else. Bodies larger than `maxBytes` are refused.
std::optional<std::string> HttpGet(const std::string& url, int timeoutMs, std::string* error = nullptr,
                                   size_t maxBytes = 4u << 20);

}  // namespace app
