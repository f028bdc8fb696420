// Runs twenty tasks of one program by hand in turn, four runs at a time, through
// the task list and its run history in a folder, until the history holds
// `runs` runs (each task keeps its last 100, so at most about 1,500);
// then waits for the last ones to end and prints how many of its children are
// left unreaped (0 expected). With "check" it prints the database's integrity
// and one line per recorded run: its result and its output. For
// scripts/soak-history.sh, which kills it at random moments.
//   history_runner <folder> <program> <runs> | history_runner <folder> check
#include "history/RunHistory.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/TaskRunHistory.h"
#include "tests/support/Processes.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <string>

namespace {

constexpr int Tasks = 20;

} // namespace

int main(int argc, char** argv) {
    if (argc < 4 && !(argc == 3 && std::string(argv[2]) == "check"))
        return 2;
    const std::string folder = std::string(argv[1]) + "/";
    if (std::string(argv[2]) == "check") {
        history::THistory h(folder + TTaskRunHistory::FileBaseName);
        if (!h.Open())
            return 1;
        std::printf("intact %d\n", h.IsIntact() ? 1 : 0);
        for (const TRunRecord& run : h.AllRuns())
            // One line each, also for a run without output.
            std::printf("%s|%s%s", ResultText(run).c_str(), run.Output.c_str(),
                        run.Output.ends_with('\n') ? "" : "\n");
        return 0;
    }
    QCoreApplication app(argc, argv);
    const long wanted = std::stol(argv[3]);
    TQMTaskScheduler list;
    for (int i = 0; i < Tasks; ++i) {
        TQMTask* task = list.AddNewTask();
        task->TaskName = "soak " + std::to_string(i);
        task->Guid = std::string(38, '7') + std::to_string(10 + i);
        task->TaskFileName = argv[2];
    }
    TTaskRunHistory runs(list, folder);
    if (!runs.Open())
        return 1;
    long started = static_cast<long>(runs.History().AllRuns().size());
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &app, [&] {
        if (started < wanted && list.Runs().Running() < 4) {
            list.GetTask(static_cast<int>(started % Tasks))->Execute(false);
            ++started;
        }
        if (started >= wanted && list.Runs().Running() == 0) {
            tick.stop();
            QTimer::singleShot(100, &app, [] { QCoreApplication::exit(0); });
        }
    });
    tick.start(5);
    QCoreApplication::exec();
    std::printf("unreaped %zu\n", testing_support::ChildProcesses(true).size());
    return 0;
}
