// The global operator new of the test binary, with the hook of
// support/fail_alloc.h. Disarmed it allocates as the library's does.
#include "support/fail_alloc.h"

#include <cstdlib>
#include <new>

namespace {

thread_local int g_countdown = 0;
thread_local bool g_failed = false;

void* Allocate(std::size_t size) {
  if (g_countdown > 0 && --g_countdown == 0) {
    g_failed = true;
    throw std::bad_alloc();
  }
  for (;;) {
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

void* AllocateOrNull(std::size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

namespace testing_support {

void FailAllocation(int n) {
  g_countdown = n > 0 ? n : 0;
  g_failed = false;
}

bool AllocationFailed() { return g_failed; }

}  // namespace testing_support

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
