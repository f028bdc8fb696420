#include "scheduler/classQMTaskScheduler.h"
#include "tests/scheduler/SchedulerTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QTimer>

#include <gtest/gtest.h>

// A poll over many tasks of every frequency, on a day the clock jumps, reads
// the clock once, whether or not a task is due. (That it allocates nothing
// when none is due is counted by bench/TaskPollBench.)
TEST(TaskListPoll, ReadsTheClockOncePerPoll) {
    testing_support::ScopedTimeZone zone("Europe/Amsterdam");
    const TDateTime now = testing_support::MakeDateTime(2026, 3, 29, 3, 0, 5); // a Sunday
    int reads = 0;
    dt::SetClock([&] {
        ++reads;
        return now;
    });
    TQMTaskScheduler list;
    for (int i = 0; i < 100; ++i) {
        TQMTask* task = list.AddNewTask();
        task->DateTime = now - (i % 4 == 0 ? 0.03 : -0.3); // 02:16:53 (skipped) or 10:12:05
        task->Daily = i % 2 == 0;
        task->Weekly = task->Sunday = i % 3 == 0;
        task->OneShot = i % 5 == 0;
        task->TaskFileName = "/nonexistent/qmts-task"; // due ones log "file not found"
    }
    scheduler_test::CapturedTaskLog log;
    reads = 0;
    for (int poll = 0; poll < 3; ++poll)
        list.Tick(list.Timer());
    dt::SetClock({});
    EXPECT_EQ(reads, 3);
    EXPECT_EQ(log.Lines.size(), 3u * 25) << "the daily tasks of the skipped hour were due";
}
