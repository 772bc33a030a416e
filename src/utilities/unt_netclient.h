// The two small TCP clients of the utilities, each bounded by a time-out:
// a Daytime exchange (connect, read until the server closes) and a bare
// connect as the speed probe measures it.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace utilities {

// The whole reply of a Daytime server (at most 4096 bytes), or nullopt when
// there was no connection, no end of the reply within `timeoutMs`, or a
// longer reply.
std::optional<std::string> FetchDaytime(const std::string& host, uint16_t port, int timeoutMs);

// Connects and closes again; true when the connection was made within
// `timeoutMs`. Ends early (false) once `stop` is set.
bool ConnectOnce(const std::string& host, uint16_t port, int timeoutMs, const std::atomic<bool>& stop);

}  // namespace utilities
