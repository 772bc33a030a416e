// A test hook that makes one allocation fail: the test binary replaces the
// global operator new (tests/unit/fail_alloc.cpp), and while the hook is
// armed the n-th allocation of the arming thread throws std::bad_alloc
// (nothrow new answers null), as when memory runs out.
#pragma once

namespace testing_support {

// Arms the hook: the n-th allocation from now on, on this thread, fails
// once. 0 disarms it.
void FailAllocation(int n);
// Whether the armed allocation failed since the last FailAllocation.
bool AllocationFailed();

}  // namespace testing_support
