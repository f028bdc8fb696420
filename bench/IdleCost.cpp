// The idle cost: the CPU time the program takes while it waits, with 1,000
// tasks and nothing due, against a bare Qt window with the same two timers
// (a status-bar text set every second, an empty handler every two seconds).
// Both run at the same time, for the same span, so that they see the same
// machine. Run it with no arguments (span 60 s) or with the span in seconds;
// QT_QPA_PLATFORM as for the program (offscreen when unset, or xcb under
// Xvfb).
#include "bench/IdleWindow.h"
#include "bench/VariedTasks.h"
#include "lib/SupportLibrary.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "ui/FMain.h"

#include <QApplication>
#include <QProcess>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

int RunProgram(int argc, char** argv, int spanMs, int tasks) {
    TLogFileModule logFile;
    TSupportLibrary support;
    QApplication app(argc, argv);
    {
        TQMTaskScheduler list;
        bench_support::FillVariedTasks(list, tasks);
        bench_support::MakeNothingDue(list);
        TQMTaskSchedulerSettings store(list);
        if (!store.Save())
            return 2;
    }
    TFormMain window;
    window.show();
    return bench_support::MeasureIdle(spanMs);
}

int RunBareWindow(int argc, char** argv, int spanMs) {
    QApplication app(argc, argv);
    return bench_support::MeasureIdleBareWindow(spanMs);
}

double Run(QProcess& child) {
    child.waitForFinished(-1);
    bool ok = false;
    const double ms = child.readAllStandardOutput().trimmed().toDouble(&ok);
    if (child.exitCode() != 0 || !ok) {
        std::fprintf(stderr, "%s", child.readAllStandardError().constData());
        return -1;
    }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "--program")
        return RunProgram(1, argv, std::stoi(argv[2]), std::stoi(argv[3]));
    if (argc >= 3 && std::string(argv[1]) == "--bare")
        return RunBareWindow(1, argv, std::stoi(argv[2]));

    const int seconds = argc >= 2 ? std::stoi(argv[1]) : 60;
    const int tasks = 1000;
    QCoreApplication app(argc, argv);
    const fs::path data =
        fs::temp_directory_path() / ("qmts-idle-" + std::to_string(std::random_device{}()));
    fs::create_directories(data);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(data.string()));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    const QString self = QCoreApplication::applicationFilePath();
    const QString span = QString::number(seconds * 1000);
    QProcess program;
    QProcess bare;
    program.setProcessEnvironment(env);
    bare.setProcessEnvironment(env);
    program.start(self, {QStringLiteral("--program"), span, QString::number(tasks)});
    bare.start(self, {QStringLiteral("--bare"), span});
    const double programMs = Run(program);
    const double bareMs = Run(bare);
    fs::remove_all(data);
    if (programMs < 0 || bareMs < 0)
        return 1;

    const double spanMs = seconds * 1000.0;
    std::printf("idle for %d s, side by side (%s):\n", seconds,
                qPrintable(env.value(QStringLiteral("QT_QPA_PLATFORM"))));
    std::printf("  program, %d tasks, nothing due: %8.1f ms CPU = %.4f%% of a core\n", tasks,
                programMs, 100.0 * programMs / spanMs);
    std::printf("  bare window, the same two timers: %6.1f ms CPU = %.4f%% of a core\n", bareMs,
                100.0 * bareMs / spanMs);
    std::printf("  ratio %.2f\n", programMs / bareMs);
    return 0;
}
