// The edge between the host and the plug-in. The host calls the plug-in from
// frames its own compiler built; a C++ exception of the plug-in unwinding
// into them (std::bad_alloc from a string, a map or a lock) would end the
// host process. So every operation the host can call (interface slots, the
// export, window procedures) runs its body through HostCall, which answers
// the operation's failure value instead (0, null, an empty text), as the
// plug-in answers any other failure, and the host goes on.
#pragma once

#include <type_traits>
#include <utility>

namespace addin {

// Runs `body` and answers its result, or `failure` when it throws.
template <class Body, class R = std::invoke_result_t<Body&>>
R HostCall(std::type_identity_t<R> failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

// The same for an operation that answers nothing.
template <class Body>
void HostCall(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace addin
