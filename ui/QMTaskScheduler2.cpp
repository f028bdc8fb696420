// The program entry: module start-up, the windowing toolkit, the main window.

#include "lib/DateTimeUtil.h"
#include "lib/SupportLibrary.h"
#include "platform/files.h"
#include "platform/regional.h"
#include "settings/classQMLogFile.h"
#include "ui/FMain.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <exception>

namespace {

int Run(char* programPath) {
    platform::IgnoreFileSizeSignal();
    // Regional settings come from the environment, before anything reads them.
    platform::AdoptEnvironmentLocale();
    dt::SetRegional(platform::ReadRegionalSettings());

    // Module start-up; the scopes end in reverse order after the window is gone.
    TLogFileModule logFileModule;
    TSupportLibrary supportLibrary;

    // The program reads no command line: Qt sees the program's name only.
    static char programName[] = "QMTaskScheduler2";
    int qtArgc = 1;
    char* qtArgv[] = {programPath != nullptr ? programPath : programName, nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("QMTaskScheduler2"));
    QApplication::setDesktopFileName(QStringLiteral("qmtaskscheduler2"));
    QApplication::setWindowIcon(QIcon::fromTheme(
        QStringLiteral("qmtaskscheduler2"), QIcon(QStringLiteral(":/icons/qmtaskscheduler2.png"))));

    TFormMain formMain;
    formMain.show();
    return QApplication::exec();
}

} // namespace

int main(int /*argc*/, char** argv) {
    // Only a failure of the start-up itself gets here: the windows show their
    // own errors.
    try {
        return Run(argv[0]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "QMTaskScheduler2: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "QMTaskScheduler2: start-up failed\n");
    }
    return 1;
}
