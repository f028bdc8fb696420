#include "scheduler/NextStart.h"
#include "scheduler/classQMTaskScheduler.h"
#include "tests/scheduler/SchedulerTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

using testing_support::MakeDateTime;
using testing_support::ScopedTimeZone;
using testing_support::ZoneClock;

namespace {

struct Change {
    const char* Zone;
    int Year, Month, Day; // the day of the change
};

// Start times around the jump of both zones: inside the skipped hour, its
// first second, a window the jump cuts, the first time after it, and the
// hour that comes twice in autumn (01:30 in New York, 02:30 in Amsterdam).
void AddTasks(TQMTaskScheduler& list, const Change& change) {
    auto add = [&](const std::string& name, int hour, int minute, int second) {
        TQMTask* task = list.AddNewTask();
        task->TaskName = name;
        task->TaskFileName = "/bin/true";
        task->DateTime = MakeDateTime(2020, 1, 1, hour, minute, second);
        return task;
    };
    add("02:00", 2, 0, 0)->Daily = true;
    add("02:30", 2, 30, 0)->Daily = true;
    add("01:59:45", 1, 59, 45)->Daily = true;
    add("01:30", 1, 30, 0)->Daily = true;
    add("03:00", 3, 0, 0)->Daily = true;
    TQMTask* weekly = add("weekly 02:30", 2, 30, 0);
    weekly->Weekly = weekly->Sunday = true;
    TQMTask* once = add("once 02:30", 2, 30, 0);
    once->OneShot = true;
    once->DateTime = MakeDateTime(change.Year, change.Month, change.Day, 2, 30);
}

} // namespace

// A week of polls every 2000 ms of real time around each change in both
// zones, the local clock jumping as a machine's does: every task runs once on
// each of its days, and when the next-start function said it would.
TEST(DaylightSaving, AWeekAroundEachChangeRunsEveryTaskOnceOnEachOfItsDays) {
    const std::vector<Change> changes = {{"Europe/Amsterdam", 2026, 3, 29},
                                         {"Europe/Amsterdam", 2026, 10, 25},
                                         {"America/New_York", 2026, 3, 8},
                                         {"America/New_York", 2026, 11, 1}};
    for (const Change& change : changes) {
        SCOPED_TRACE(std::string(change.Zone) + " " + std::to_string(change.Month));
        ScopedTimeZone zone(change.Zone);
        const TDateTime changeDay = MakeDateTime(change.Year, change.Month, change.Day);
        ZoneClock clock(changeDay - 3 + 0.5 / dt::SecsPerDay); // half a second past midnight
        TQMTaskScheduler list;
        AddTasks(list, change);
        list.OnPollError = [](const std::string& message) { ADD_FAILURE() << message; };

        std::map<std::string, TNextStart> predicted;
        auto predict = [&] {
            for (int i = 0; i < list.Count(); ++i)
                predicted[list.GetTask(i)->TaskName] = NextStart(*list.GetTask(i), dt::Now());
        };
        predict();
        std::map<std::string, std::vector<int>> runDays; // days from the change day
        SetTaskLogHandler([&](const std::string& line) {
            const std::string name = line.substr(6, line.find("): ") - 6);
            EXPECT_EQ(line, "task (" + name + "): executed (/bin/true)");
            const TDateTime now = dt::Now();
            runDays[name].push_back(static_cast<int>(dt::DatePart(now) - changeDay));
            const TNextStart& next = predicted[name];
            ASSERT_EQ(next.Kind, TNextStart::TKind::At) << name;
            // Within one poll after the predicted opening, on the local clock.
            const long long late = std::llround((now - next.When) * dt::MSecsPerDay);
            EXPECT_GE(late, 0) << name << " at " << dt::FormatDateTime("yyyy-mm-dd hh:nn:ss", now);
            EXPECT_LT(late, 2000) << name << " at "
                                  << dt::FormatDateTime("yyyy-mm-dd hh:nn:ss", now);
        });
        list.OnTasksExecuted = [&](QObject*) { predict(); };

        for (int poll = 0; poll < 7 * 43200; ++poll) {
            list.Tick(list.Timer());
            clock.AdvanceMs(TQMTaskScheduler::PollIntervalMs);
        }
        SetTaskLogHandler({});

        const std::vector<int> everyDay = {-3, -2, -1, 0, 1, 2, 3};
        for (const char* daily : {"02:00", "02:30", "01:59:45", "01:30", "03:00"})
            EXPECT_EQ(runDays[daily], everyDay) << daily;
        EXPECT_EQ(runDays["weekly 02:30"], std::vector<int>{0});
        EXPECT_EQ(runDays["once 02:30"], std::vector<int>{0});
        EXPECT_EQ(predicted["once 02:30"].Kind, TNextStart::TKind::OneShotPast);
    }
}
