// The program entry: module start-up, the windowing toolkit, the main window.

#include "lib/DateTimeUtil.h"
#include "lib/SupportLibrary.h"
#include "platform/files.h"
#include "platform/regional.h"
#include "platform/signals.h"
#include "platform/startupnotification.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "ui/CommandLine.h"
#include "ui/FMain.h"
#include "ui/QtDateTime.h"
#include "ui/SingleInstance.h"
#include "ui/TerminationWatch.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <exception>

namespace {

int Run(char* programPath, const ui::TCommandLine& command) {
    platform::IgnoreFileSizeSignal();
    // Regional settings come from the environment, before anything reads them.
    platform::AdoptEnvironmentLocale();
    dt::SetRegional(platform::ReadRegionalSettings());

    // Module start-up; the scopes end in reverse order after the window is gone.
    TLogFileModule logFileModule;
    TSupportLibrary supportLibrary;

    const TLaunchIds launch = TLaunchIds::FromEnvironment();
    // The command line is ours alone: Qt sees the program's name only.
    static char programName[] = "QMTaskScheduler2";
    int qtArgc = 1;
    char* qtArgv[] = {programPath != nullptr ? programPath : programName, nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("QMTaskScheduler2"));
    QApplication::setDesktopFileName(QStringLiteral("qmtaskscheduler2"));
    // Without an installed theme icon, the built-in scalable picture serves
    // every size a panel or a 200 % screen asks for; the bitmap only where
    // Qt's SVG icon engine is missing.
    QIcon builtIn(QStringLiteral(":/icons/qmtaskscheduler2.svg"));
    if (builtIn.pixmap(64, 64).isNull())
        builtIn = QIcon(QStringLiteral(":/icons/qmtaskscheduler2.png"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("qmtaskscheduler2"), builtIn));

    // The window ends the program itself: with a tray icon, the last window
    // closing (a box over the hidden window) is no reason to end.
    QApplication::setQuitOnLastWindowClosed(false);
    TFormMain formMain;
    // Neither a settings file beside the program nor a home folder: any
    // folder taken now would be one the user never chose.
    if (formMain.Store().Settings().ChosenFolder().empty()) {
        std::fprintf(stderr, "QMTaskScheduler2: no home folder is known (HOME is not an absolute "
                             "path and the password database names none) and no "
                             "qmtaskscheduler2.ini lies beside the program; not started\n");
        return 1;
    }
    // One copy per settings file, decided before the file is loaded (when the
    // window is first shown); a later copy shows nothing and runs nothing.
    TSingleInstance single(formMain.Store().Settings().ChosenFileName(), {}, launch);
    if (!single.Message().isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(single.Message()));
    if (single.Role() != TSingleInstance::TRole::First)
        return single.Role() == TSingleInstance::TRole::Second ? 0 : 1;
    single.OnShowRequest([&formMain](const QString& activationToken, const QString& startupId) {
        // Qt's Wayland back end activates the window with this token, once.
        if (!activationToken.isEmpty())
            qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
        ui::BringToFront(&formMain);
        // Used up: a task started later must not inherit it.
        qunsetenv("XDG_ACTIVATION_TOKEN");
        // The later start's launcher shows a busy cursor until its start is
        // ended; the window it asked for is this one.
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            static_cast<void>(
                platform::SendStartupRemove(x11->connection(), startupId.toStdString()));
        std::fprintf(stderr, "QMTaskScheduler2: another start asked for the window: %s\n",
                     formMain.isMinimized() ? "still minimised" : "shown, not minimised");
    });

    // exit, not quit: in Qt 6 quit first asks every window to close again, a
    // round that may be refused, and the window has already agreed to end.
    QObject::connect(&formMain, &TFormMain::ExitAccepted, &application,
                     [] { QCoreApplication::exit(0); });
    // A termination request ends the loops even when a question is open.
    TTerminationWatch termination([&formMain](int) {
        formMain.RequestExit(false);
        QCoreApplication::exit(0);
    });
    platform::ReleaseTerminationSignals();
    formMain.StartWindow(command.Minimized);
    // The launcher's activation token and start-up id belong to this start
    // alone: once the window has had its chance to use them, tasks started
    // later must not inherit them.
    QTimer::singleShot(0, [] {
        qunsetenv("XDG_ACTIVATION_TOKEN");
        qunsetenv("DESKTOP_STARTUP_ID");
    });
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    // Until the handlers are in place, a termination request waits: by
    // default it would end the program wherever it is.
    platform::HoldTerminationSignals();
    // Help, version and a wrong option end here, before anything starts.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ui::TCommandLine command = ui::ParseCommandLine(arguments);
    if (command.Action != ui::TCommandLine::TAction::Start)
        return ui::ReportCommandLine(command);
    // Only a failure of the start-up itself gets here: the windows show their
    // own errors.
    try {
        return Run(argv[0], command);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "QMTaskScheduler2: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "QMTaskScheduler2: start-up failed\n");
    }
    return 1;
}
