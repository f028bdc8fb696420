#include "scheduler/classQMTaskScheduler.h"

#include "tests/scheduler/SchedulerTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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
