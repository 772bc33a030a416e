// The shipped engine's transport: each GET through WinHTTP, so that the
// quote services are reached as the user's other programs reach them
// (https, the Internet Options proxy and its auto-configuration, redirects).
#pragma once

#include "engine/engine_transport.h"

namespace engine {

// Each transport made keeps its own WinHTTP session (its kept-alive
// connections). Get: http and https, redirects followed (at most
// kWinHttpMaxRedirects, never from https to http), certificate errors fail,
// the whole request ends by its deadline; Cancel ends it from any thread.
TransportFactory WinHttpTransports();

constexpr int kWinHttpMaxRedirects = 5;

// Requests of all transports whose state WinHTTP still holds (closed ones
// until their last callback): a leak shows here.
int WinHttpRequestsNotTornDown();

}  // namespace engine
