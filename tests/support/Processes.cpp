#include "tests/support/Processes.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdlib>
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
    // Processes come and go while the folder is read: an entry that vanishes
    // or reads oddly is skipped, never an error.
    std::error_code ec;
    std::filesystem::directory_iterator it("/proc", ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.size() > 9 ||
            name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream file("/proc/" + name + "/stat");
        if (!file)
            continue;
        const std::string stat((std::istreambuf_iterator<char>(file)), {});
        // The command name in parentheses may hold spaces and parentheses.
        const auto close = stat.rfind(')');
        if (close == std::string::npos || close + 2 >= stat.size())
            continue;
        std::istringstream rest(stat.substr(close + 2));
        std::string state;
        long parent = 0;
        if (!(rest >> state >> parent))
            continue;
        if (parent == me && (!unreapedOnly || state == "Z"))
            children.push_back(std::strtol(name.c_str(), nullptr, 10));
    }
    return children;
}

} // namespace testing_support
