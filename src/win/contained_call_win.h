// Calls into libraries the program does not build (the quote engine, the
// account service). Their faults must end only the call: an access
// violation inside a library is a structured exception, which GCC's
// catch (...) does not see, so it would otherwise end the process.
#pragma once

#include <type_traits>

namespace win {

// Runs fn(context). False when the call did not return normally: a
// structured exception that nothing inside the library handled itself (an
// access violation, an illegal instruction, the library's own language
// exception) ends the call, and the thread goes on after it. C++
// exceptions are the caller's (CallContained catches them).
bool RunContained(void (*fn)(void*), void* context);

// `call()` run contained; a C++ exception leaving it counts as a failed call.
template <class F>
bool CallContained(F&& call) {
  struct Context {
    std::remove_reference_t<F>* call;
    bool threw = false;
  } context{&call};
  const auto run = [](void* c) {
    auto* x = static_cast<Context*>(c);
    try {
      (*x->call)();
    } catch (...) {
      x->threw = true;
    }
  };
  return RunContained(run, &context) && !context.threw;
}

}  // namespace win
