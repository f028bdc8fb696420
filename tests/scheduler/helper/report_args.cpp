// Writes its arguments, working folder, identity, signal state and open
// descriptors to the file named by QMTS_REPORT (a folder when it ends in '/':
// one new file per run). The report appears whole, by a rename, once it is complete.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const char* target = std::getenv("QMTS_REPORT");
    if (!target || !*target)
        return 2;

    // /proc/self/stat: "pid (comm) state ppid pgrp session ...".
    std::string stat;
    {
        std::ifstream statFile("/proc/self/stat");
        stat.assign(std::istreambuf_iterator<char>(statFile), std::istreambuf_iterator<char>());
    }
    std::string pid = stat.substr(0, stat.find(' '));
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string state, ppid, pgrp, session;
    rest >> state >> ppid >> pgrp >> session;

    std::ostringstream report;
    report << "cwd=" << fs::current_path().string() << '\n';
    report << "pid=" << pid << '\n' << "ppid=" << ppid << '\n' << "sid=" << session << '\n';
    {
        // "SigBlk:\t<hex mask>", "SigIgn:\t<hex mask>" as the kernel sees them.
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0)
                report << (line[3] == 'B' ? "sigblk=" : "sigign=")
                       << line.substr(line.find('\t') + 1) << '\n';
    }
    for (int i = 1; i < argc; ++i)
        report << "arg=" << argv[i] << '\n';
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        const std::string link = fs::read_symlink(entry.path(), ec).string();
        // The listing's own descriptor is the only one it opened.
        if (link.find("/fd") != std::string::npos)
            continue;
        report << "fd=" << entry.path().filename().string() << ' ' << link << '\n';
    }

    std::string path = target;
    if (path.back() == '/') {
        const auto ns = std::chrono::steady_clock::now().time_since_epoch().count();
        path += "run-" + pid + "-" + std::to_string(ns);
    }
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << report.str();
        if (!out)
            return 3;
    }
    fs::rename(part, path, ec);
    return ec ? 4 : 0;
}
