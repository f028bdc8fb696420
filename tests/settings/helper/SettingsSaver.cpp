// A program that saves a settings file of 1,000 tasks through the application
// store, as the scheduler does, for the crash-safety tests and the kill soak.
//   settings_saver loop  <folder> <first generation>   saves generation N,
//       N+1, ... until killed; prints "saving N" when the file write begins
//       and "N" when it is done
//   settings_saver once  <folder> <generation> [keep-signal]   one save;
//       prints "saved" or "failed: <message>", exit status 0 or 1; with
//       keep-signal SIGXFSZ keeps its default action (ending the program)
//   settings_saver writer <folder> <first generation>   as loop, through
//       the writer thread, "saving N" when the save is asked for
//   settings_saver check <folder>   loads the file; prints "<generation>"
//       when it holds the 1,000 tasks of one generation whole, else
//       "broken: <why>" with exit status 1
// The settings file is <folder>/qmtaskscheduler2.ini.
#include "lib/QMException.h"
#include "lib/SupportLibrary.h"
#include "platform/files.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/SettingsWriter.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int TaskCount = 1000;

std::string Identifier(int i) {
    std::string id = std::to_string(i);
    return std::string(40 - id.size(), '0') + id;
}

std::string Parameters(long long generation) {
    return "--generation " + std::to_string(generation);
}

void PointAt(TQMTaskSchedulerSettings& store, const std::string& folder) {
    store.Settings().UserFolder = folder;
    store.Settings().ProgramFolder = folder + "no-program-folder/";
}

void Fill(TQMTaskScheduler& tasks, long long generation) {
    tasks.ClearTasks();
    for (int i = 0; i < TaskCount; ++i) {
        TQMTask* t = tasks.AddNewTask();
        t->TaskName = "task " + std::to_string(i);
        t->Guid = Identifier(i);
        t->TaskFileName = "/usr/bin/program-" + std::to_string(i);
        t->TaskParameters = Parameters(generation);
        t->Daily = true;
        t->DateTime = 46000.5 + i;
    }
}

int Check(TQMTaskScheduler& tasks, TQMTaskSchedulerSettings& store) {
    const TStoreResult loaded = store.Load();
    if (!loaded) {
        std::printf("broken: %s\n", loaded.Error.c_str());
        return 1;
    }
    if (tasks.Count() != TaskCount) {
        std::printf("broken: %d tasks\n", tasks.Count());
        return 1;
    }
    const std::string first = tasks.GetTask(0)->TaskParameters;
    for (int i = 0; i < TaskCount; ++i) {
        const TQMTask* t = tasks.GetTask(i);
        if (t->TaskParameters != first || t->Guid != Identifier(i) ||
            t->TaskName != "task " + std::to_string(i)) {
            std::printf("broken: task %d differs\n", i);
            return 1;
        }
    }
    std::printf("%s\n", first.substr(first.find(' ') + 1).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const std::string mode = argv[1];
    const std::string folder = std::string(argv[2]) + "/";
    if (!(mode == "once" && argc > 4 && std::string(argv[4]) == "keep-signal"))
        platform::IgnoreFileSizeSignal();

    QCoreApplication app(argc, argv);
    TSupportLibrary support;
    TQMTaskScheduler tasks;
    TQMTaskSchedulerSettings store(tasks);
    PointAt(store, folder);

    if (mode == "check")
        return Check(tasks, store);
    if (argc < 4)
        return 2;
    long long generation = std::atoll(argv[3]);
    if (mode == "once") {
        static_cast<void>(store.Load()); // or the save sets the file aside

        Fill(tasks, generation);
        const TStoreResult saved = store.Save();
        std::printf(saved ? "saved\n" : "failed: %s\n", saved.Error.c_str());
        return saved ? 0 : 1;
    }
    if (mode == "writer") {
        // Loaded first, as the program does; each edit of the event loop asks
        // for a save, as the window does, and the next follows its save.
        static_cast<void>(store.Load());
        TSettingsWriter writer(store);
        const auto ask = [&] {
            for (int i = 0; i < tasks.Count(); ++i)
                tasks.GetTask(i)->TaskParameters = Parameters(generation);
            writer.Request();
            std::printf("saving %lld\n", generation);
            std::fflush(stdout);
        };
        writer.OnSaved = [&](const TStoreResult& saved) {
            if (!saved)
                return QCoreApplication::exit(1);
            std::printf("%lld\n", generation++);
            std::fflush(stdout);
            QTimer::singleShot(0, ask);
        };
        Fill(tasks, generation);
        ask();
        return QCoreApplication::exec();
    }
    if (mode != "loop")
        return 2;
    // The store's Save in two steps, so that "saving N" comes when the file
    // write begins: that is where a kill must do no harm.
    for (;; ++generation) {
        Fill(tasks, generation);
        store.WriteToSettings();
        std::printf("saving %lld\n", generation);
        std::fflush(stdout);
        try {
            store.Settings().Save();
        } catch (const Exception& e) {
            std::printf("failed: %s\n", e.Message.c_str());
            return 1;
        }
        std::printf("%lld\n", generation);
        std::fflush(stdout);
    }
}
