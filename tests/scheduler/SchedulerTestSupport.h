#pragma once

#include "scheduler/TaskLog.h"
#include "tests/support/Processes.h"

#include <functional>
#include <string>
#include <vector>

namespace scheduler_test {

// The message of the Exception the call raises, or "<no error>".
std::string ErrorOf(const std::function<void()>& call);

// Path of the helper program that reports what it received.
inline const char* ReportArgsProgram() {
    return QMTS_REPORT_ARGS;
}

// What the helper program reported about itself.
struct Report {
    std::string Cwd;
    long Pid = 0;
    long ParentPid = 0;
    long SessionId = 0;
    std::vector<std::string> Args;
    std::vector<std::string> Fds; // "<number> <target>"
    std::string BlockedSignals;   // hexadecimal masks of /proc/self/status
    std::string IgnoredSignals;
};
Report ParseReport(const std::string& text);

// Waits for a file that another process writes (a started helper's report);
// false when it did not appear within the limit.
bool WaitForFile(const std::string& path, int seconds = 30);

// Names the report file (or folder, ending in '/') for helpers started while
// it lives; the environment is inherited by started programs.
class ScopedReportTarget {
public:
    explicit ScopedReportTarget(const std::string& path);
    ~ScopedReportTarget();
    ScopedReportTarget(const ScopedReportTarget&) = delete;
    ScopedReportTarget& operator=(const ScopedReportTarget&) = delete;
};

// Collects the run log's lines while it lives.
class CapturedTaskLog {
public:
    CapturedTaskLog();
    ~CapturedTaskLog();
    CapturedTaskLog(const CapturedTaskLog&) = delete;
    CapturedTaskLog& operator=(const CapturedTaskLog&) = delete;

    std::vector<std::string> Lines;
};

using testing_support::ChildProcesses;
using testing_support::WaitUntil;

// The temporary desktop home set up for this test program before any
// file-type lookup: the extension ".qmtsdoc" opens with the report helper,
// whose Exec line holds the document twice; ".qmtsplain" with the helper
// (and ".html", a system type) through an Exec line without field codes; ".qmtsbare" has a type but
// no application; ".qmtsterm" opens with the helper in a terminal (Terminal=true).
const std::string& DesktopHome();
void SetUpDesktopHome();

} // namespace scheduler_test
