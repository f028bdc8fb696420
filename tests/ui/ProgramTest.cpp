#include "lib/DateTimeUtil.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/MainWindowTesting.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace main_window_testing;
using namespace testing_support;

#ifdef QMTS_PROGRAM_FILE

namespace {

std::string Stamp(TDateTime value) {
    return dt::FormatDateTime("yyyymmdd-hhnnsszzz", value);
}

// The program as a person starts it: its own file in a folder that also holds
// its settings file, on the machine's clock.
TEST(Program, StartsADueTaskOnceLogsItAndRewritesTheSettingsFile) {
    const TDateTime now = dt::Now();
    const TDateTime start = now + 3.0 / dt::SecsPerDay;
    if (dt::DatePart(start + 40.0 / dt::SecsPerDay) != dt::DatePart(now))
        GTEST_SKIP() << "too close to midnight for a start window today";

    TempDir dir;
    const std::string program = dir.File("QMTaskScheduler2");
    std::filesystem::copy_file(QMTS_PROGRAM_FILE, program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    const std::string runs = dir.File("runs.txt");
    const std::string probe = dir.File("probe.sh");
    WriteFile(probe, "#!/bin/sh\necho \"$*\" >> '" + runs + "'\n", 0755);
    const std::string guid(40, 'C');
    WriteFile(dir.File("qmtaskscheduler2.ini"),
              "[qmtaskscheduler]\r\naskwhenclose=0\r\naskwhenexecutetaskmanually=1\r\n\r\n"
              "[tasks\\" +
                  guid + "]\r\ntaskname=Due soon\r\nguid=" + guid + "\r\ntaskfilename=" + probe +
                  "\r\ntaskparameters=now\r\nactive=1\r\nweekly=0\r\ndaily=1\r\none_shot=0\r\n"
                  "datetime=" +
                  Stamp(start) +
                  "\r\ndatetime_lastexecuted=18991230-000000000\r\n"
                  "\r\n[system]\r\ninitype=qmtaskscheduler\r\n");

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.setProgram(QString::fromStdString(program));
    process.start();
    ASSERT_TRUE(process.waitForStarted());

    const std::string today = Stamp(now).substr(0, 9);
    const bool stamped = WaitUntil(
        [&] {
            return ReadFile(dir.File("qmtaskscheduler2.ini"))
                       .find("datetime_lastexecuted=" + today) != std::string::npos;
        },
        40000);
    EXPECT_TRUE(stamped);
    EXPECT_TRUE(WaitUntil([&] { return !ReadFile(runs).empty(); }));
    const std::string log = ReadFile(dir.File("qmtaskscheduler2.log"));
    process.terminate();
    process.waitForFinished();

    EXPECT_EQ(ReadFile(runs), "now\n");
    EXPECT_NE(log.find("   task (Due soon): executed (" + probe + ")\r\n"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("executed"), log.rfind("executed")) << log;
    EXPECT_NE(ReadFile(dir.File("qmtaskscheduler2.ini")).find("taskname=Due soon"),
              std::string::npos);
}

} // namespace

#endif
