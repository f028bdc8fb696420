// The command line, through the real program started as a process.

#include "tests/support/TestSupport.h"
#include "ui/Version.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace testing_support;

namespace {

struct Outcome {
    int Status = -1;
    QString Out;
    QString Err;
};

// Runs the program with a platform that does not exist: were a window or the
// poll ever set up, the windowing toolkit would end the process at once with
// its own failure instead of the status asked for.
Outcome RunProgram(const QStringList& arguments, const TempDir& home) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "no-such-platform");
    environment.insert("HOME", QString::fromStdString(home.Path()));
    environment.insert("XDG_DATA_HOME", QString::fromStdString(home.File("data")));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QMTS_PROGRAM), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(CommandLine, HelpVersionAndWrongArgumentsEndBeforeAnythingStarts) {
    TempDir home;
    const Outcome version = RunProgram({"--version"}, home);
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out,
              QStringLiteral("Quillmar Task Scheduler\nVersion ") + ui::ProgramVersion + "\n");
    EXPECT_EQ(RunProgram({"-v"}, home).Out, version.Out);

    const Outcome help = RunProgram({"--help"}, home);
    EXPECT_EQ(help.Status, 0);
    for (const char* piece : {"Usage: ", "--minimized", "--version", "--help"})
        EXPECT_TRUE(help.Out.contains(piece)) << piece << "\n" << help.Out.toStdString();
    EXPECT_TRUE(help.Err.isEmpty());

    for (const QStringList& wrong : {QStringList{"--bogus"}, QStringList{"--minimized", "stray"}}) {
        SCOPED_TRACE(wrong.join(' ').toStdString());
        const Outcome outcome = RunProgram(wrong, home);
        EXPECT_EQ(outcome.Status, 2);
        EXPECT_TRUE(outcome.Out.isEmpty());
        EXPECT_TRUE(outcome.Err.contains("Usage: ")) << outcome.Err.toStdString();
    }
    EXPECT_TRUE(RunProgram({"--bogus"}, home).Err.startsWith("Unknown option 'bogus'."));
    // Nothing was loaded or written.
    EXPECT_FALSE(std::filesystem::exists(home.File("data")));
}

} // namespace
