#include "platform/clock.h"
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

    // The wall clock alone set forward 2 h, then a minute and 40 s of running.
    for (const long long ms : {2LL * 3600 * 1000, 60'000LL, 40'000LL}) {
        clock.AdvanceMs(ms);
        clocks.Now.WallMs += ms;
        clocks.Now.MonotonicMs += ms < 3'600'000 ? ms : 0;
        ASSERT_TRUE(pollsPass(3));
    }
    EXPECT_EQ(log.Lines, (std::vector<std::string>{
                             "task (daily): missed its start at 2026-Mar-02 09:00: the program "
                             "was not running (/bin/true)",
                             "task (daily): executed (/bin/true)",
                             "task (daily): not caught up: a later run serves it (/bin/true)"}));
    EXPECT_DOUBLE_EQ(task->DateTimeLastExecuted, MakeDateTime(2026, 3, 3, 9, 0));
    EXPECT_EQ(task->OccurrenceServed, 0);
    EXPECT_EQ(list.OwedCatchUps(), 0u);
}

// The machine's clocks at their own speed from a local time in the test's
// zone; the test can set the wall clock forward.
struct RealSpeedClocks {
    const long long StartMs;
    const std::chrono::steady_clock::time_point Began = std::chrono::steady_clock::now();
    long long ForwardMs = 0;
    explicit RealSpeedClocks(TDateTime localStart) : StartMs(InstantOf(localStart)) {
        dt::SetClock([this] {
            const platform::LocalTime t = platform::LocalTimeAt(InstantMs());
            return dt::EncodeDateTime(
                {t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond});
        });
        dt::SetClockReadings([this] {
            return dt::ClockReadings{InstantMs(), InstantMs() - ForwardMs, 0};
        });
    }
    ~RealSpeedClocks() {
        dt::SetClock({});
        dt::SetClockReadings({});
    }
    static long long InstantOf(TDateTime local) {
        const dt::DateTimeFields f = dt::DecodeDateTime(local);
        return platform::InstantOfLocalTime(
            {f.Year, f.Month, f.Day, f.Hour, f.Minute, f.Second, f.Millisecond});
    }
    long long InstantMs() const {
        return StartMs + ForwardMs +
               std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - Began)
                   .count();
    }
};

// The precise timer, with real timers and processes: a window opening between
// two polls, or at the end of the hour the clock jumps over, starts its task
// within 100 ms (the polls come 2 s and 4 s after the list is made); two
// starts passed by a clock set forward are caught up 5 s apart.
TEST(PreciseStart, StartsAndCatchUpsComeOnTime) {
    struct Case {
        const char* Name;
        TDateTime From;                // local
        std::vector<TDateTime> Starts; // times of day
        TDateTime Expected;            // local time of the first run
        bool Forward = false;          // the clock moves forward 2 h after a poll
    };
    const Case cases[] = {
        {"a window between polls",
         MakeDateTime(2026, 3, 3, 8, 59, 57),
         {MakeDateTime(2026, 1, 1, 9, 0)},
         MakeDateTime(2026, 3, 3, 9, 0)},
        {"the skipped hour",
         MakeDateTime(2026, 3, 29, 1, 59, 57),
         {MakeDateTime(2026, 1, 1, 2, 30)},
         MakeDateTime(2026, 3, 29, 3, 0)},
        {"two catch-ups",
         MakeDateTime(2026, 3, 3, 7, 0),
         {MakeDateTime(2026, 1, 1, 8, 0), MakeDateTime(2026, 1, 1, 8, 1)},
         0,
         true},
    };
    testing_support::ScopedTimeZone zone("Europe/Amsterdam");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RealSpeedClocks clocks(c.From);
        TQMTaskScheduler list;
        std::vector<TQMTask*> tasks;
        for (const TDateTime start : c.Starts) {
            TQMTask* task = tasks.emplace_back(list.AddNewTask());
            task->TaskName = "daily";
            task->TaskFileName = scheduler_test::ReportArgsProgram();
            task->Daily = task->CatchUp = true;
            task->DateTime = start;
            task->ScheduleChanged = MakeDateTime(2026, 1, 1);
        }
        if (c.Forward) {
            int polls = 0;
            QObject::connect(list.Timer(), &QTimer::timeout, [&polls] { ++polls; });
            ASSERT_TRUE(WaitUntil([&] { return polls >= 1; }, 10000));
            clocks.ForwardMs = 2LL * 3600 * 1000;
        }
        ASSERT_TRUE(WaitUntil([&] { return tasks.back()->DateTimeLastExecuted != 0; }, 20000));
        const long long ranMs = RealSpeedClocks::InstantOf(tasks.back()->DateTimeLastExecuted);
        const long long lateMs =
            ranMs -
            RealSpeedClocks::InstantOf(c.Forward ? tasks[0]->DateTimeLastExecuted : c.Expected) -
            (c.Forward ? CatchUpSpacingMs : 0);
        EXPECT_GE(lateMs, 0) << "never early";
        EXPECT_LT(lateMs, 100);
    }
}

} // namespace
