#include "tests/scheduler/SchedulerTestSupport.h"

#include "lib/QMException.h"
#include "tests/support/TestSupport.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace scheduler_test {

std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Exception& e) {
        return e.Message;
    }
    return "<no error>";
}

Report ParseReport(const std::string& text) {
    Report report;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "cwd")
            report.Cwd = value;
        else if (key == "pid")
            report.Pid = std::stol(value);
        else if (key == "ppid")
            report.ParentPid = std::stol(value);
        else if (key == "sid")
            report.SessionId = std::stol(value);
        else if (key == "arg")
            report.Args.push_back(value);
        else if (key == "fd")
            report.Fds.push_back(value);
        else if (key == "sigblk")
            report.BlockedSignals = value;
        else if (key == "sigign")
            report.IgnoredSignals = value;
    }
    return report;
}

bool WaitForFile(const std::string& path, int seconds) {
    // A started program is not driven by the test clock; this only waits
    // for it to finish writing.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

ScopedReportTarget::ScopedReportTarget(const std::string& path) {
    setenv("QMTS_REPORT", path.c_str(), 1);
}

ScopedReportTarget::~ScopedReportTarget() {
    unsetenv("QMTS_REPORT");
}

CapturedTaskLog::CapturedTaskLog() {
    SetTaskLogHandler([this](const std::string& line) { Lines.push_back(line); });
}

CapturedTaskLog::~CapturedTaskLog() {
    SetTaskLogHandler({});
}

namespace {
std::unique_ptr<testing_support::TempDir>& HomeDir() {
    static std::unique_ptr<testing_support::TempDir> dir;
    return dir;
}
} // namespace

const std::string& DesktopHome() {
    return HomeDir()->Path();
}

void SetUpDesktopHome() {
    using testing_support::WriteFile;
    HomeDir() = std::make_unique<testing_support::TempDir>();
    const std::string home = HomeDir()->Path();
    const std::string data = home + ".local/share/";
    const std::string config = home + ".config/";
    fs::create_directories(data + "mime/packages");
    fs::create_directories(data + "applications");
    fs::create_directories(config);
    fs::create_directories(home + "xdg-config-dirs");
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + ".cache").c_str(), 1);
    // No system-wide default applications can interfere.
    setenv("XDG_CONFIG_DIRS", (home + "xdg-config-dirs").c_str(), 1);
    unsetenv("XDG_CURRENT_DESKTOP");

    WriteFile(data + "mime/packages/qmts-test.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
              "  <mime-type type=\"application/x-qmts-doc\">\n"
              "    <comment>Scheduler test document</comment>\n"
              "    <glob pattern=\"*.qmtsdoc\"/>\n"
              "  </mime-type>\n"
              "  <mime-type type=\"application/x-qmts-plain\">\n"
              "    <comment>Scheduler test document opened without field code</comment>\n"
              "    <glob pattern=\"*.qmtsplain\"/>\n"
              "  </mime-type>\n"
              "  <mime-type type=\"application/x-qmts-term\">\n"
              "    <comment>Scheduler test document opened in a terminal</comment>\n"
              "    <glob pattern=\"*.qmtsterm\"/>\n"
              "  </mime-type>\n"
              "  <mime-type type=\"application/x-qmts-bare\">\n"
              "    <comment>Scheduler test document without application</comment>\n"
              "    <glob pattern=\"*.qmtsbare\"/>\n"
              "  </mime-type>\n"
              "</mime-info>\n");
    const std::string update = "update-mime-database '" + data + "mime' >/dev/null 2>&1";
    if (std::system(update.c_str()) != 0)
        throw std::runtime_error("update-mime-database failed");

    WriteFile(data + "applications/qmts-report.desktop",
              std::string("[Desktop Entry]\nType=Application\nName=Report\nNoDisplay=true\n"
                          "Exec=\"") +
                  ReportArgsProgram() +
                  "\" --doc %f --again %U %i %c --end\n"
                  "MimeType=application/x-qmts-doc;\n");
    WriteFile(data + "applications/qmts-plain.desktop",
              std::string("[Desktop Entry]\nType=Application\nName=Plain\nNoDisplay=true\n"
                          "Exec=\"") +
                  ReportArgsProgram() + "\" --plain\nMimeType=application/x-qmts-plain;\n");
    WriteFile(data + "applications/qmts-term.desktop",
              std::string("[Desktop Entry]\nType=Application\nName=Console\nNoDisplay=true\n"
                          "Terminal=true\nExec=\"") +
                  ReportArgsProgram() + "\" --console %f\nMimeType=application/x-qmts-term;\n");
    WriteFile(config + "mimeapps.list", "[Default Applications]\n"
                                        "application/x-qmts-term=qmts-term.desktop\n"
                                        "application/x-qmts-doc=qmts-report.desktop\n"
                                        "application/x-qmts-plain=qmts-plain.desktop\n"
                                        "text/html=qmts-plain.desktop\n");
}

} // namespace scheduler_test
