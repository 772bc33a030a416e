// How the engine fetches an answer: one GET of a whole address. The shipped
// DLL fetches through the platform's HTTP stack (https, the user's proxy,
// redirects); the native tests use the small client of engine_http.h. The
// core only sees this interface, so its behaviour is tested natively.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine_http.h"

namespace engine {

class ITransport {
 public:
  virtual ~ITransport() = default;
  // GETs `address` ("http://..." or "https://..."), sending `headers`
  // ("Name: value" each). Everything (name lookup, connect, send, answer)
  // ends within `deadline`; ok only for a whole answer with status 200.
  // A transport may keep its connection open between calls; one call at a
  // time per transport.
  virtual HttpResult Get(const std::string& address, const std::vector<std::string>& headers,
                         std::chrono::milliseconds deadline) = 0;
  // Ends the request in flight, if any, from any thread; Get then returns
  // a failure at once, as does every later Get.
  virtual void Cancel() = 0;
};

// Makes a transport: one per source (its kept-alive connection) and one per
// single-quote lookup.
using TransportFactory = std::function<std::unique_ptr<ITransport>()>;

// The small socket client of engine_http.h as a transport (plain http only).
std::unique_ptr<ITransport> MakeSocketTransport();

}  // namespace engine
