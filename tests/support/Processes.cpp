#include "tests/support/Processes.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace testing_support {

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

std::vector<long> ChildProcesses(bool unreapedOnly) {
    const long me = static_cast<long>(getpid());
    std::vector<long> children;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream file(entry.path() / "stat");
        const std::string stat((std::istreambuf_iterator<char>(file)), {});
        // The command name in parentheses may hold spaces and parentheses.
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 2));
        std::string state;
        long parent = 0;
        rest >> state >> parent;
        if (parent == me && (!unreapedOnly || state == "Z"))
            children.push_back(std::stol(name));
    }
    return children;
}

} // namespace testing_support
