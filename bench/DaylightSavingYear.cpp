// A whole year of polls every 2000 ms of real time, in Europe/Amsterdam and
// America/New_York, with the local clock jumping at the daylight-saving
// changes as a machine's does. Prints, per zone and task, the days on which
// the task should have run and did not, and the days on which it ran more
// than once; both must be 0. Ends with status 1 otherwise. Takes about a
// minute; not part of the test suite.
#include "platform/clock.h"
#include "scheduler/TaskLog.h"
#include "scheduler/classQMTaskScheduler.h"

#include <QCoreApplication>

#include <cstdio>
#include <map>
#include <set>
#include <string>

namespace {

TDateTime Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return dt::EncodeDateTime({year, month, day, hour, minute, second, 0});
}

TDateTime LocalAt(long long unixMs) {
    const platform::LocalTime t = platform::LocalTimeAt(unixMs);
    return dt::EncodeDateTime({t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond});
}

struct Task {
    const char* Name;
    int Hour, Minute, Second;
    enum { Daily, Sunday, OnceOnSpringDay, OnceOnAutumnDay } Kind;
};

// Start times around both changes: inside the skipped hour, its edges, a
// window the jump cuts, and the hour that comes twice.
const Task Tasks[] = {
    {"daily 01:30", 1, 30, 0, Task::Daily},
    {"daily 01:59:45", 1, 59, 45, Task::Daily},
    {"daily 02:00", 2, 0, 0, Task::Daily},
    {"daily 02:30", 2, 30, 0, Task::Daily},
    {"daily 02:59:59", 2, 59, 59, Task::Daily},
    {"daily 03:00", 3, 0, 0, Task::Daily},
    {"sunday 02:30", 2, 30, 0, Task::Sunday},
    {"once 02:30 spring", 2, 30, 0, Task::OnceOnSpringDay},
    {"once 02:30 autumn", 2, 30, 0, Task::OnceOnAutumnDay},
};

struct Zone {
    const char* Name;
    TDateTime Spring, Autumn; // the days of the changes in 2026
};

// Returns the number of faults.
int SimulateYear(const Zone& zone) {
    dt::UseTimeZone(zone.Name);
    long long unixMs = platform::InstantOfLocalTime({2026, 1, 1, 0, 0, 0, 500});
    dt::SetClock([&unixMs] { return LocalAt(unixMs); });

    TQMTaskScheduler list;
    for (const Task& t : Tasks) {
        TQMTask* task = list.AddNewTask();
        task->TaskName = t.Name;
        task->TaskFileName = "/bin/true";
        task->DateTime = Local(2025, 6, 1, t.Hour, t.Minute, t.Second);
        switch (t.Kind) {
        case Task::Daily:
            task->Daily = true;
            break;
        case Task::Sunday:
            task->Weekly = task->Sunday = true;
            break;
        case Task::OnceOnSpringDay:
            task->OneShot = true;
            task->DateTime += zone.Spring - dt::DatePart(task->DateTime);
            break;
        case Task::OnceOnAutumnDay:
            task->OneShot = true;
            task->DateTime += zone.Autumn - dt::DatePart(task->DateTime);
            break;
        }
    }
    std::map<std::string, std::map<TDateTime, int>> runs; // task, day, count
    SetTaskLogHandler([&runs](const std::string& line) {
        const std::string name = line.substr(6, line.find("): ") - 6);
        if (line.find("): executed (") == std::string::npos)
            std::printf("unexpected log line: %s\n", line.c_str());
        ++runs[name][dt::Today()];
    });
    list.OnPollError = [](const std::string& message) {
        std::printf("poll error: %s\n", message.c_str());
    };

    const TDateTime first = Local(2026, 1, 1);
    const TDateTime end = Local(2027, 1, 1);
    while (dt::Now() < end) {
        list.Tick(nullptr);
        unixMs += TQMTaskScheduler::PollIntervalMs;
    }
    SetTaskLogHandler({});
    dt::SetClock({});

    int faults = 0;
    std::printf("%s (changes on %s and %s)\n", zone.Name,
                dt::FormatDateTime("yyyy-mm-dd", zone.Spring).c_str(),
                dt::FormatDateTime("yyyy-mm-dd", zone.Autumn).c_str());
    for (const Task& t : Tasks) {
        int missed = 0;
        int twice = 0;
        int ran = 0;
        for (TDateTime day = first; day < end; day += 1) {
            const bool due = t.Kind == Task::Daily ||
                             (t.Kind == Task::Sunday && dt::DayOfWeek(day) == 1) ||
                             (t.Kind == Task::OnceOnSpringDay && day == zone.Spring) ||
                             (t.Kind == Task::OnceOnAutumnDay && day == zone.Autumn);
            const int count = runs[t.Name][day];
            ran += count;
            if (due && count == 0)
                ++missed;
            if (count >= 2 || (!due && count > 0))
                ++twice;
        }
        std::printf("  %-20s runs %3d   days with 0 runs %d   days with 2+ (or unwanted) runs %d\n",
                    t.Name, ran, missed, twice);
        faults += missed + twice;
    }
    dt::UseTimeZone("");
    return faults;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the task list's timer needs it
    const Zone zones[] = {
        {"Europe/Amsterdam", Local(2026, 3, 29), Local(2026, 10, 25)},
        {"America/New_York", Local(2026, 3, 8), Local(2026, 11, 1)},
    };
    int faults = 0;
    for (const Zone& zone : zones)
        faults += SimulateYear(zone);
    std::printf("faults: %d\n", faults);
    return faults == 0 ? 0 : 1;
}
