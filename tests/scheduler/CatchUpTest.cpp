#include "scheduler/classQMTaskScheduler.h"

#include "tests/scheduler/SchedulerTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

namespace {

using scheduler_test::WaitUntil;
using testing_support::MakeDateTime;
using testing_support::TestClock;

// The machine's clocks as the test sets them.
struct SteppedClocks {
    dt::ClockReadings Now{1'800'000'000'000, 5'000'000, 0};
    SteppedClocks() {
        dt::SetClockReadings([this] { return Now; });
    }
    ~SteppedClocks() { dt::SetClockReadings({}); }
    // Time passes while the program runs.
    void Run(long long ms) {
        Now.WallMs += ms;
        Now.MonotonicMs += ms;
    }
    void Sleep(long long ms) {
        Now.WallMs += ms;
        Now.SuspendedMs += ms;
    }
};

TEST(CatchUp, SleepOverAWindowIsToldOnceCaughtUpAfterTheDelayAndTodaysRunStays) {
    testing_support::ScopedRegional english(testing_support::EnglishUS());
    scheduler_test::CapturedTaskLog log;
    SteppedClocks clocks;
    TestClock clock(MakeDateTime(2026, 3, 2, 8, 59, 50)); // a Monday
    TQMTaskScheduler list;
    // The real timer fires, only more often than every 2 s.
    list.Timer()->setInterval(10);
    int polls = 0;
    QObject::connect(list.Timer(), &QTimer::timeout, [&polls] { ++polls; });
    const auto pollsPass = [&](int count) {
        const int until = polls + count;
        return WaitUntil([&] { return polls >= until; });
    };
    TQMTask* task = list.AddNewTask();
    task->TaskName = "daily";
    task->TaskFileName = "/bin/true";
    task->Daily = true;
    task->CatchUp = true;
    task->DateTime = MakeDateTime(2026, 3, 1, 9, 0);
    task->ScheduleChanged = MakeDateTime(2026, 3, 1, 12, 0);
    const std::string missedLine =
        "task (daily): missed its start at 2026-Mar-02 09:00: the computer was asleep (/bin/true)";
    ASSERT_TRUE(pollsPass(2));

    // Asleep from before Monday's window until Tuesday 07:00.
    const long long asleepMs = 22LL * 3600 * 1000 + 10000;
    clock.AdvanceMs(asleepMs);
    clocks.Sleep(asleepMs);
    ASSERT_TRUE(WaitUntil([&] { return !log.Lines.empty(); }));
    EXPECT_EQ(log.Lines, std::vector<std::string>{missedLine});
    ASSERT_TRUE(pollsPass(5));
    EXPECT_EQ(log.Lines.size(), 1u) << "nothing is caught up before the desktop settles";

    clock.AdvanceMs(59000);
    clocks.Run(59000);
    ASSERT_TRUE(pollsPass(5));
    EXPECT_EQ(log.Lines.size(), 1u) << "59 s after the resume";
    clock.AdvanceMs(1000);
    clocks.Run(1000);
    ASSERT_TRUE(WaitUntil([&] { return log.Lines.size() == 2; }));
    EXPECT_EQ(log.Lines[1],
              "task (daily): executed, in place of its start at 2026-Mar-02 09:00 (/bin/true)");
    EXPECT_DOUBLE_EQ(task->DateTimeLastExecuted, clock.Now()) << "the real moment of the run";
    EXPECT_EQ(task->OccurrenceServed, MakeDateTime(2026, 3, 2, 9, 0));

    // Tuesday's own start still comes at its time, and only then.
    const long long untilNine =
        std::llround((MakeDateTime(2026, 3, 3, 8, 59, 59) - clock.Now()) * dt::MSecsPerDay);
    clock.AdvanceMs(untilNine);
    clocks.Run(untilNine);
    ASSERT_TRUE(pollsPass(5));
    EXPECT_EQ(log.Lines.size(), 2u);
    clock.AdvanceMs(1000);
    clocks.Run(1000);
    ASSERT_TRUE(WaitUntil([&] { return log.Lines.size() == 3; }));
    EXPECT_EQ(log.Lines[2], "task (daily): executed (/bin/true)");
    EXPECT_EQ(task->OccurrenceServed, 0);
    ASSERT_TRUE(pollsPass(5));
    EXPECT_EQ(std::count(log.Lines.begin(), log.Lines.end(), missedLine), 1);
    EXPECT_EQ(log.Lines.size(), 3u);
    EXPECT_EQ(list.OwedCatchUps(), 0u);
}

// Owed Monday's start at 07:00 on Tuesday, the clock set forward to 09:00
// before the catch-up's turn: today's start runs, and the catch-up neither
// runs after it nor moves what was served back to Monday.
TEST(CatchUp, ARunSinceTheMissedStartServesItAndTodaysStartRunsOnce) {
    testing_support::ScopedRegional english(testing_support::EnglishUS());
    scheduler_test::CapturedTaskLog log;
    SteppedClocks clocks;
    TestClock clock(MakeDateTime(2026, 3, 3, 7, 0, 0));
    TQMTaskScheduler list;
    list.Timer()->setInterval(10);
    int polls = 0;
    QObject::connect(list.Timer(), &QTimer::timeout, [&polls] { ++polls; });
    const auto pollsPass = [&](int count) {
        const int until = polls + count;
        return WaitUntil([&] { return polls >= until; });
    };
    TQMTask* task = list.AddNewTask();
    task->TaskName = "daily";
    task->TaskFileName = "/bin/true";
    task->Daily = true;
    task->CatchUp = true;
    task->DateTime = MakeDateTime(2026, 3, 1, 9, 0);
    task->ScheduleChanged = MakeDateTime(2026, 3, 1, 12, 0);
    list.LookForStartsMissedSince(MakeDateTime(2026, 3, 2, 8, 0));
    ASSERT_TRUE(pollsPass(2));
    EXPECT_EQ(task->CatchUpOwed, MakeDateTime(2026, 3, 2, 9, 0));

    const long long forwardMs = 2LL * 3600 * 1000;
    clock.AdvanceMs(forwardMs);
    clocks.Now.WallMs += forwardMs;
    ASSERT_TRUE(pollsPass(3));
    clock.AdvanceMs(60000);
    clocks.Run(60000);
    ASSERT_TRUE(pollsPass(3));
    clock.AdvanceMs(40000);
    clocks.Run(40000);
    ASSERT_TRUE(pollsPass(3));
    EXPECT_EQ(log.Lines, (std::vector<std::string>{
                             "task (daily): missed its start at 2026-Mar-02 09:00: the program "
                             "was not running (/bin/true)",
                             "task (daily): executed (/bin/true)",
                             "task (daily): not caught up: a later run serves it (/bin/true)"}));
    EXPECT_DOUBLE_EQ(task->DateTimeLastExecuted, MakeDateTime(2026, 3, 3, 9, 0));
    EXPECT_EQ(task->OccurrenceServed, 0);
    EXPECT_EQ(list.OwedCatchUps(), 0u);
}

// Local time, wall time and monotonic time at the machine's speed from a
// chosen moment; the test can set the local and wall clocks forward.
struct RealSpeedClocks {
    const std::chrono::steady_clock::time_point Began = std::chrono::steady_clock::now();
    TDateTime Base;
    long long ForwardMs = 0;
    explicit RealSpeedClocks(TDateTime base) : Base(base) {
        dt::SetClock([this] { return Base + static_cast<double>(ElapsedMs()) / dt::MSecsPerDay; });
        dt::SetClockReadings([this] {
            const long long ms = ElapsedMs();
            return dt::ClockReadings{1'800'000'000'000 + ms, 5'000'000 + ms - ForwardMs, 0};
        });
    }
    ~RealSpeedClocks() {
        dt::SetClock({});
        dt::SetClockReadings({});
    }
    long long ElapsedMs() const {
        return ForwardMs + std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - Began)
                               .count();
    }
};

// Two starts passed by a clock set forward are caught up at once, one after
// the other, 5 s apart on the precise timer rather than at the next poll.
TEST(CatchUp, OwedCatchUpsComeFiveSecondsApart) {
    testing_support::ScopedRegional english(testing_support::EnglishUS());
    scheduler_test::CapturedTaskLog log;
    RealSpeedClocks clocks(MakeDateTime(2026, 3, 3, 7, 0, 0));
    TQMTaskScheduler list;
    std::vector<TQMTask*> tasks;
    for (const int minute : {0, 1}) {
        TQMTask* task = tasks.emplace_back(list.AddNewTask());
        task->TaskName = "daily";
        task->TaskFileName = "/bin/true";
        task->Daily = true;
        task->CatchUp = true;
        task->DateTime = MakeDateTime(2026, 3, 1, 8, minute);
        task->ScheduleChanged = MakeDateTime(2026, 3, 1, 12, 0);
    }
    int polls = 0;
    QObject::connect(list.Timer(), &QTimer::timeout, [&polls] { ++polls; });
    ASSERT_TRUE(WaitUntil([&] { return polls >= 1; }, 10000));
    clocks.ForwardMs = 2LL * 3600 * 1000;
    ASSERT_TRUE(WaitUntil([&] { return tasks[1]->OccurrenceServed != 0; }, 20000));
    EXPECT_EQ(tasks[0]->OccurrenceServed, MakeDateTime(2026, 3, 3, 8, 0)) << "earliest first";
    const long long apartMs = std::llround(
        (tasks[1]->DateTimeLastExecuted - tasks[0]->DateTimeLastExecuted) * dt::MSecsPerDay);
    EXPECT_GE(apartMs, 5000);
    EXPECT_LT(apartMs, 5200);
}

// The clock runs at the machine's speed from a chosen moment, so the precise
// timer and the process start are real while the day and hour are the test's.
TEST(PreciseStart, ATaskStartsWithinAHundredMillisecondsOfItsTime) {
    testing_support::TempDir dir;
    const std::string report = dir.File("report");
    scheduler_test::ScopedReportTarget target(report);
    const TDateTime start = MakeDateTime(2026, 3, 3, 9, 0);
    // Regular polls fall a second before and a second after the start.
    const TDateTime base = start - 3000 / dt::MSecsPerDay;
    const auto began = std::chrono::steady_clock::now();
    dt::SetClock([base, began] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - began)
                            .count();
        return base + static_cast<double>(ms) / dt::MSecsPerDay;
    });
    TQMTaskScheduler list;
    TQMTask* task = list.AddNewTask();
    task->TaskName = "precise";
    task->TaskFileName = scheduler_test::ReportArgsProgram();
    task->Daily = true;
    task->DateTime = start;
    ASSERT_TRUE(WaitUntil([&] { return task->DateTimeLastExecuted != 0; }));
    const double lateMs = (task->DateTimeLastExecuted - start) * dt::MSecsPerDay;
    dt::SetClock({});
    EXPECT_GE(lateMs, 0) << "never before its time";
    EXPECT_LT(lateMs, 100);
    EXPECT_TRUE(scheduler_test::WaitForFile(report)) << "the program started";
}

} // namespace
