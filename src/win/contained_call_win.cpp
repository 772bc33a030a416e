#include "win/contained_call_win.h"

#include <windows.h>

#include <intrin.h>

namespace win {
namespace {

// The call in progress on this thread: where to go back to when it faults.
struct Guard {
  void* jump[5];  // __builtin_setjmp's buffer
#ifndef _WIN64
  DWORD sehChain;  // fs:[0] at the call, for the frames the library left behind
#endif
  Guard* outer;
};
thread_local Guard* current = nullptr;

LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

[[noreturn]] void JumpBack() { __builtin_longjmp(current->jump, 1); }

// GCC's own C++ exceptions travel as structured exceptions on x86_64 with
// these codes; they are never a library's.
bool IsGccException(DWORD code) { return (code & 0xFFFFFF) == 0x474343; }

// The last chance of an exception: nothing between the fault and the
// thread's start handled it. Inside a contained call the thread resumes at
// JumpBack, on its own stack below the fault, and from there returns to the
// call's start; the library's frames are abandoned as they are.
LONG WINAPI LastChance(EXCEPTION_POINTERS* info) {
  if (current && !IsGccException(info->ExceptionRecord->ExceptionCode)) {
    // One raised as not continuable (a Delphi library's own exceptions) may
    // not be resumed at all: leave the dispatcher straight from here.
    if (info->ExceptionRecord->ExceptionFlags & EXCEPTION_NONCONTINUABLE) JumpBack();
    CONTEXT* c = info->ContextRecord;
#ifdef _WIN64
    c->Rsp = ((c->Rsp - 512) & ~DWORD64{15}) - 8;  // aligned as at a function's entry
    c->Rip = reinterpret_cast<DWORD64>(&JumpBack);
#else
    c->Esp = ((c->Esp - 512) & ~DWORD{15}) - 4;
    c->Eip = reinterpret_cast<DWORD>(&JumpBack);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return previousFilter ? previousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
}

void InstallOnce() {
  static const bool installed = [] {
    previousFilter = SetUnhandledExceptionFilter(&LastChance);
    return true;
  }();
  (void)installed;
}

}  // namespace

// Kept out of line: __builtin_setjmp's frame must stay this function's.
__attribute__((noinline)) bool RunContained(void (*fn)(void*), void* context) {
  InstallOnce();
  Guard guard;
  guard.outer = current;
#ifndef _WIN64
  guard.sehChain = __readfsdword(0);
#endif
  if (__builtin_setjmp(guard.jump) != 0) {
    // Back from a fault: `current` is still this guard.
#ifndef _WIN64
    __writefsdword(0, current->sehChain);
#endif
    current = current->outer;
    return false;
  }
  current = &guard;
  fn(context);
  current = guard.outer;
  return true;
}

}  // namespace win
