#pragma once

#include <functional>
#include <vector>

namespace testing_support {

// Lets the event loop run (timers fire) until the condition holds or the
// time is up; true when it holds. For timers and started programs, never for
// the program's clock, which the test moves itself.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);

// Process ids of this process's children: all of them, or only those that
// have ended and wait to be reaped.
std::vector<long> ChildProcesses(bool unreapedOnly = false);

} // namespace testing_support
