#include "tests/support/Processes.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
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

namespace {

// The stat line of a process; empty when it has gone. Read without streams:
// a read of an entry whose process is just ending fails with ESRCH, which a
// file stream turns into an exception.
std::string ReadProcStat(const std::string& pid) {
    const int fd = open(("/proc/" + pid + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[1024];
    std::string text;
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    close(fd);
    return got < 0 ? std::string() : text;
}

} // namespace

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
        const std::string stat = ReadProcStat(name);
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
