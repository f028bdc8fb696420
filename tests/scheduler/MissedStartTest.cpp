#include "scheduler/MissedStart.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

using testing_support::MakeDateTime;

enum class Kind { Daily, Monday, Once, NoWeekday };

struct Case {
    const char* Name;
    Kind Frequency;
    TDateTime Start; // start moment (the day counts for a one-shot task)
    bool CatchUp;
    TDateTime Changed;
    TDateTime LastRun;
    TDateTime Served;
    TDateTime Since;
    TDateTime Now;
    bool Off;
    long long SuspendedMs; // growth between the two polls
    long long WallAheadMs; // wall time moving more than monotonic time
    std::optional<TDateTime> Missed;
    TMissCause Cause;
    TCatchUp Outcome;
    bool Active = true;
};

TDateTime Mar(int day, int hour, int minute = 0, int second = 0) {
    return MakeDateTime(2026, 3, day, hour, minute, second); // 2026-03-02 is a Monday
}

TEST(MissedStart, DecisionOverStampsGapsAndClocks) {
    testing_support::ScopedTimeZone zone("Europe/Amsterdam");
    const TDateTime early = Mar(1, 0);
    using C = TMissCause;
    using O = TCatchUp;
    const Case cases[] = {
        {"off over today's window", Kind::Daily, Mar(1, 9), false, early, 0, 0, Mar(2, 8),
         Mar(2, 10), true, 0, 0, Mar(2, 9), C::NotRunning, O::No},
        {"the same, asking for catch-up", Kind::Daily, Mar(1, 9), true, early, 0, 0, Mar(2, 8),
         Mar(2, 10), true, 0, 0, Mar(2, 9), C::NotRunning, O::Run},
        {"days off: only the latest start", Kind::Daily, Mar(1, 9), true, early, 0, 0, Mar(1, 8),
         Mar(4, 10), true, 0, 0, Mar(4, 9), C::NotRunning, O::Run},
        {"today's window still to come: yesterday's", Kind::Daily, Mar(1, 9), true, early, 0, 0,
         Mar(2, 8), Mar(3, 7, 30), true, 0, 0, Mar(2, 9), C::NotRunning, O::Run},
        {"next window within the hour of the catch-up", Kind::Daily, Mar(1, 9), true, early, 0, 0,
         Mar(2, 8), Mar(3, 8, 1), true, 0, 0, Mar(2, 9), C::NotRunning, O::NextStartServes},
        {"today's window closes before the catch-up would run: it serves", Kind::Daily, Mar(1, 9),
         true, early, 0, 0, Mar(2, 8), Mar(3, 8, 59, 40), true, 0, 0, Mar(2, 9), C::NotRunning,
         O::NextStartServes},
        {"changed after the window", Kind::Daily, Mar(1, 9), true, Mar(2, 9, 10), 0, 0, Mar(2, 8),
         Mar(2, 10), true, 0, 0, std::nullopt, C::NotRunning, O::No},
        {"a run stands for it", Kind::Daily, Mar(1, 9), true, early, Mar(2, 9, 0, 1), 0, Mar(2, 8),
         Mar(2, 10), true, 0, 0, std::nullopt, C::NotRunning, O::No},
        {"a catch-up stands for yesterday, not today", Kind::Daily, Mar(1, 9), false, early,
         Mar(3, 7), Mar(2, 9), Mar(3, 7), Mar(3, 10), false, 3 * 3600000LL, 0, Mar(3, 9), C::Asleep,
         O::No},
        {"the window is open now", Kind::Daily, Mar(1, 9), true, early, 0, 0, Mar(2, 8),
         Mar(2, 9, 0, 20), false, 3600000, 0, std::nullopt, C::Asleep, O::No},
        {"a gap shorter than a window", Kind::Daily, Mar(1, 9), true, early, 0, 0,
         Mar(2, 8, 59, 50), Mar(2, 9, 0, 15), false, 25000, 0, std::nullopt, C::Asleep, O::No},
        {"asleep over the window", Kind::Daily, Mar(1, 9), true, early, 0, 0, Mar(2, 8, 59, 50),
         Mar(2, 9, 1), false, 68000, 0, Mar(2, 9), C::Asleep, O::Run},
        {"clock set forward", Kind::Daily, Mar(1, 9), false, early, 0, 0, Mar(2, 8, 59, 50),
         Mar(2, 11), false, 0, 7198000, Mar(2, 9), C::ClockSetForward, O::No},
        {"held up", Kind::Daily, Mar(1, 9), false, early, 0, 0, Mar(2, 8, 59, 50), Mar(2, 9, 1),
         false, 0, 0, Mar(2, 9), C::HeldUp, O::No},
        {"clock set back", Kind::Daily, Mar(1, 9), true, early, 0, 0, Mar(2, 10), Mar(2, 8), false,
         0, -7200000, std::nullopt, C::HeldUp, O::No},
        {"skipped hour: the window opens after the jump", Kind::Daily, Mar(1, 2, 30), true, early,
         0, 0, Mar(29, 1, 59, 59), Mar(29, 3, 0, 1), false, 0, 0, std::nullopt, C::HeldUp, O::No},
        {"weekly: the last Monday", Kind::Monday, Mar(1, 9), false, early, 0, 0, Mar(6, 8),
         Mar(11, 10), true, 0, 0, Mar(9, 9), C::NotRunning, O::No},
        {"weekly without a weekday", Kind::NoWeekday, Mar(1, 9), true, early, 0, 0, Mar(6, 8),
         Mar(11, 10), true, 0, 0, std::nullopt, C::NotRunning, O::No},
        {"one shot passed while off", Kind::Once, Mar(2, 9), true, early, 0, 0, Mar(1, 8),
         Mar(3, 10), true, 0, 0, Mar(2, 9), C::NotRunning, O::Run},
        {"one shot more than 7 days ago", Kind::Once, Mar(2, 9), true, early, 0, 0, Mar(1, 8),
         Mar(10, 10), true, 0, 0, Mar(2, 9), C::NotRunning, O::TooOld},
        {"one shot still to come", Kind::Once, Mar(12, 9), true, early, 0, 0, Mar(1, 8),
         Mar(10, 10), true, 0, 0, std::nullopt, C::NotRunning, O::No},
        {"a window past midnight has closed for the poll", Kind::Daily, Mar(1, 23, 59, 45), false,
         early, 0, 0, Mar(2, 23, 59), Mar(3, 0, 0, 1), true, 0, 0, Mar(2, 23, 59, 45),
         C::NotRunning, O::No},
        {"inactive", Kind::Daily, Mar(1, 9), true, early, 0, 0, Mar(2, 8), Mar(2, 10), true, 0, 0,
         std::nullopt, C::NotRunning, O::No, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TQMTask task;
        task.DateTime = c.Start;
        task.Daily = c.Frequency == Kind::Daily;
        task.Weekly = c.Frequency == Kind::Monday || c.Frequency == Kind::NoWeekday;
        task.Monday = c.Frequency == Kind::Monday;
        task.OneShot = c.Frequency == Kind::Once;
        task.CatchUp = c.CatchUp;
        task.Active = c.Active;
        task.ScheduleChanged = c.Changed;
        task.DateTimeLastExecuted = c.LastRun;
        task.OccurrenceServed = c.Served;

        TPollGap gap;
        gap.Since = c.Since;
        gap.Now = c.Now;
        gap.ProgramWasOff = c.Off;
        gap.Before = {1'000'000'000, 5'000, 100};
        const long long elapsed = std::llround((c.Now - c.Since) * dt::MSecsPerDay);
        const long long running = elapsed - c.SuspendedMs - c.WallAheadMs;
        gap.After = {gap.Before.WallMs + running + c.SuspendedMs + c.WallAheadMs,
                     gap.Before.MonotonicMs + running, gap.Before.SuspendedMs + c.SuspendedMs};

        const std::optional<TMissedStart> missed = DecideMissedStart(task, gap);
        ASSERT_EQ(missed.has_value(), c.Missed.has_value());
        if (!missed)
            continue;
        EXPECT_EQ(dt::FormatDateTime("yyyy-mm-dd hh:nn:ss", missed->Start),
                  dt::FormatDateTime("yyyy-mm-dd hh:nn:ss", *c.Missed));
        EXPECT_EQ(missed->Cause, c.Cause);
        EXPECT_EQ(missed->CatchUp, c.Outcome);
    }
}

} // namespace
