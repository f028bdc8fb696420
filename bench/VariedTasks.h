#pragma once

// Task lists as varied as users keep them, for the benchmarks: short and long
// names and paths (some with blanks), every frequency, parameters or none,
// tasks that ran and tasks that never did. The same seed gives the same list.

#include "lib/DateTimeUtil.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"

#include <cstdio>
#include <random>
#include <string>

namespace bench_support {

inline std::string Words(std::mt19937& rng, int count) {
    static const char* const words[] = {"backup", "Nightly", "report", "sync",  "photos", "mail",
                                        "clean",  "temp",    "DB",     "rsync", "week",   "update",
                                        "logs",   "archive", "music",  "x"};
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += ' ';
        text += words[rng() % std::size(words)];
    }
    return text;
}

inline std::string HexIdentifier(std::mt19937& rng) {
    std::string id;
    for (int i = 0; i < 5; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08X", static_cast<unsigned>(rng()));
        id += part;
    }
    return id;
}

inline void FillVariedTasks(TQMTaskScheduler& tasks, int count, unsigned seed = 20261207) {
    std::mt19937 rng(seed);
    TDateTime base = 0;
    static_cast<void>(dt::TryEncodeDate(2024, 1, 1, base));
    for (int i = 0; i < count; ++i) {
        TQMTask* task = tasks.AddNewTask();
        task->TaskName = Words(rng, 1 + static_cast<int>(rng() % 9));
        task->Guid = HexIdentifier(rng);
        task->TaskFileName = rng() % 4 == 0
                                 ? "/usr/bin/" + Words(rng, 1)
                                 : "/home/user/My Programs/" + Words(rng, 2) + "/" +
                                       Words(rng, 1 + static_cast<int>(rng() % 4)) + ".sh";
        if (rng() % 3 != 0)
            task->TaskParameters =
                "--target=/mnt/" + Words(rng, 1 + static_cast<int>(rng() % 6)) + " -q /a=b";
        task->Active = rng() % 5 != 0;
        switch (rng() % 4) {
        case 0:
            task->Daily = true;
            break;
        case 1:
            task->Weekly = true;
            task->Monday = rng() % 2;
            task->Tuesday = rng() % 2;
            task->Wednesday = rng() % 2;
            task->Thursday = rng() % 2;
            task->Friday = rng() % 2;
            task->Saturday = rng() % 2;
            task->Sunday = rng() % 2;
            break;
        case 2:
            task->OneShot = true;
            break;
        default:
            break; // no frequency: never runs by itself
        }
        task->DateTime = base + static_cast<double>(rng() % 2000) +
                         static_cast<double>(rng() % 1440) / (dt::HoursPerDay * 60);
        task->DateTimeLastExecuted =
            rng() % 3 == 0 ? TQMTask::NeverDate()
                           : base + static_cast<double>(rng() % 1000) +
                                 static_cast<double>(rng() % 86400000) / dt::MSecsPerDay;
    }
}

// Every start six hours from now, frequencies and weekdays as they are:
// nothing comes due while a benchmark runs.
inline void MakeNothingDue(TQMTaskScheduler& tasks) {
    const TDateTime later = dt::Now() + 0.25;
    for (int i = 0; i < tasks.Count(); ++i)
        tasks.GetTask(i)->DateTime = later;
}

} // namespace bench_support
