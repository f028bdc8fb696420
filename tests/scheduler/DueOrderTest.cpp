#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "tests/scheduler/SchedulerTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace testing_support;

namespace {

// The tasks the schedule rule finds due at the moment, in list order.
std::vector<int> DueByThePlainRule(const TQMTaskScheduler& list, TDateTime now) {
    const TScheduleMoment moment = TScheduleMoment::At(now);
    std::vector<int> due;
    for (int i = 0; i < list.Count(); ++i)
        if (list.At(i).IsDue(moment))
            due.push_back(i);
    return due;
}

void RandomTask(TQMTask& task, std::mt19937& random, const std::string& program) {
    const auto pick = [&](int count) {
        return std::uniform_int_distribution<int>(0, count - 1)(random);
    };
    // Start times cluster around the skipped and the repeated hour, and
    // midnight; a few share one start time.
    const int hours[] = {0, 1, 2, 2, 3, 12, 23};
    task.DateTime = MakeDateTime(2026, 3, 26 + pick(6), hours[pick(7)], pick(4) * 15, pick(2) * 45);
    task.Active = pick(6) != 0;
    task.Daily = pick(3) == 0;
    task.OneShot = pick(3) == 0;
    task.Weekly = pick(2) == 0;
    task.Sunday = pick(2) == 0;
    task.Monday = pick(2) == 0;
    task.Wednesday = pick(2) == 0;
    task.Saturday = pick(2) == 0;
    // A missing file is logged, not stamped: due again at every poll of its window.
    task.TaskFileName = pick(3) == 0 ? "/nonexistent/qmts-task" : program;
}

// Over a simulated week with a daylight-saving change, clock steps back and
// forward, and tasks changed, added and removed on the way, every poll starts
// exactly the tasks the schedule rule finds due, in list order; and the
// opening the list predicts before a poll is the first window that opens.
TEST(TaskListPoll, StartsWhatThePlainRuleFindsDueAndPredictsTheNextOpeningOverAWeek) {
    ScopedTimeZone zone("Europe/Amsterdam");
    TempDir reports;
    scheduler_test::ScopedReportTarget target(reports.Path());
    scheduler_test::CapturedTaskLog log;
    TDateTime now = MakeDateTime(2026, 3, 25, 23, 50, 0);
    dt::SetClock([&] { return now; });
    std::mt19937 random(18);
    TQMTaskScheduler list;
    for (int i = 0; i < 40; ++i)
        RandomTask(*list.AddNewTask(), random, scheduler_test::ReportArgsProgram());

    const TDateTime step = 10.0 / dt::SecsPerDay;
    const TDateTime end = MakeDateTime(2026, 4, 1, 0, 10, 0);
    int polls = 0;
    int runs = 0;
    while (now < end) {
        const std::optional<TDateTime> predicted = list.NextWindowOpening(now);
        const std::vector<int> dueBefore = DueByThePlainRule(list, now);
        const TDateTime before = now;
        now += step;
        ++polls;
        // Now and then the clock steps, back or forward.
        if (polls % 9000 == 0)
            now += (polls % 18000 == 0 ? -1.0 : 2.5) / dt::HoursPerDay;
        const std::vector<int> due = DueByThePlainRule(list, now);
        list.Tick(list.Timer());
        std::vector<int> started;
        for (const TQMTask* task : list.LastPollRuns())
            started.push_back(list.IndexOf(task));
        ASSERT_EQ(started, due) << dt::FormatDateTime("yyyy-mm-dd hh:nn:ss", now);
        runs += static_cast<int>(started.size());
        // Without a step of the clock, a task is due now that was not before
        // exactly when the predicted opening lies in between.
        if (now - before == step) {
            bool newlyDue = false;
            for (const int i : due)
                newlyDue =
                    newlyDue || std::find(dueBefore.begin(), dueBefore.end(), i) == dueBefore.end();
            const bool opened = predicted && *predicted > before + 1e-9 && *predicted <= now + 1e-9;
            ASSERT_EQ(newlyDue, opened) << dt::FormatDateTime("yyyy-mm-dd hh:nn:ss", now);
        }
        if (polls % 1500 == 0) {
            switch (polls / 1500 % 3) {
            case 0: {
                // Changed to start in a minute: its window must not be missed.
                TQMTask& task = *list.GetTask(static_cast<int>(random() % list.Count()));
                RandomTask(task, random, scheduler_test::ReportArgsProgram());
                task.Active = task.Daily = true;
                task.DateTime = now + 60.0 / dt::SecsPerDay;
                break;
            }
            case 1:
                list.DeleteTask(static_cast<int>(random() % list.Count()));
                break;
            default:
                RandomTask(*list.AddNewTask(), random, scheduler_test::ReportArgsProgram());
                break;
            }
        }
    }
    dt::SetClock({});
    EXPECT_GT(runs, 100);
}

} // namespace
