#include "scheduler/NextStart.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using testing_support::MakeDateTime;
using testing_support::ScopedTimeZone;
using TKind = TNextStart::TKind;

namespace {

TQMTask Daily(int hour, int minute, int second = 0) {
    TQMTask task;
    task.Daily = true;
    task.DateTime = MakeDateTime(2025, 6, 1, hour, minute, second);
    return task;
}

// The answer as text, so that a failure shows the moment in words.
std::string Text(const TNextStart& next) {
    switch (next.Kind) {
    case TKind::At:
        return dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", next.When);
    case TKind::Inactive:
        return "inactive";
    case TKind::OneShotPast:
        return "one shot past";
    case TKind::NoWeekday:
        return "no weekday";
    }
    return "?";
}

std::string At(int year, int month, int day, int hour, int minute, int second = 0) {
    return dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz",
                              MakeDateTime(year, month, day, hour, minute, second));
}

} // namespace

TEST(NextStart, AnOpenWindowCountsUntilItsLastMillisecondOrUntilTheTaskRan) {
    ScopedTimeZone zone("UTC");
    TQMTask task = Daily(8, 0);
    EXPECT_EQ(Text(NextStart(task, MakeDateTime(2026, 3, 4, 7, 59, 59, 999))),
              At(2026, 3, 4, 8, 0));
    EXPECT_EQ(Text(NextStart(task, MakeDateTime(2026, 3, 4, 8, 0, 30, 0))), At(2026, 3, 4, 8, 0));
    EXPECT_EQ(Text(NextStart(task, MakeDateTime(2026, 3, 4, 8, 0, 30, 1))), At(2026, 3, 5, 8, 0));

    task.DateTimeLastExecuted = MakeDateTime(2026, 3, 4, 0, 0, 1);
    EXPECT_EQ(Text(NextStart(task, MakeDateTime(2026, 3, 4, 7, 0))), At(2026, 3, 5, 8, 0));
    // A last run stamped tomorrow (the clock was set back) blocks that day too.
    task.DateTimeLastExecuted = MakeDateTime(2026, 3, 5, 8, 0, 1);
    EXPECT_EQ(Text(NextStart(task, MakeDateTime(2026, 3, 4, 9, 0))), At(2026, 3, 6, 8, 0));

    task.Active = false;
    EXPECT_EQ(Text(NextStart(task, MakeDateTime(2026, 3, 4, 7, 0))), "inactive");
    task.Active = true;
    task.Daily = false;
    EXPECT_EQ(Text(NextStart(task, MakeDateTime(2026, 3, 4, 7, 0))), "inactive")
        << "no frequency: never starts";

    // The last window of the day ends at midnight, without wrapping.
    const TQMTask late = Daily(23, 59, 50);
    EXPECT_EQ(Text(NextStart(late, MakeDateTime(2026, 3, 4, 23, 59, 59, 999))),
              At(2026, 3, 4, 23, 59, 50));
}

TEST(NextStart, FollowsThePriorityAndDaysOfEachFrequency) {
    ScopedTimeZone zone("UTC");
    const TDateTime wednesdayNoon = MakeDateTime(2026, 3, 4, 12, 0); // a Wednesday
    TQMTask once;
    once.OneShot = true;
    once.DateTime = MakeDateTime(2026, 3, 3, 18, 0);
    EXPECT_EQ(Text(NextStart(once, wednesdayNoon)), "one shot past");
    once.DateTime = MakeDateTime(2026, 3, 4, 11, 59, 29);
    EXPECT_EQ(Text(NextStart(once, wednesdayNoon)), "one shot past") << "today, window over";
    once.DateTime = MakeDateTime(2026, 3, 4, 11, 59, 30);
    EXPECT_EQ(Text(NextStart(once, wednesdayNoon)), At(2026, 3, 4, 11, 59, 30));
    once.DateTimeLastExecuted = MakeDateTime(2026, 3, 4, 11, 59, 31);
    EXPECT_EQ(Text(NextStart(once, wednesdayNoon)), "one shot past") << "ran today";
    once.DateTime = MakeDateTime(2027, 1, 2, 6, 0);
    EXPECT_EQ(Text(NextStart(once, wednesdayNoon)), At(2027, 1, 2, 6, 0));
    once.Daily = true; // daily wins over one-shot
    EXPECT_EQ(Text(NextStart(once, wednesdayNoon)), At(2026, 3, 5, 6, 0));

    TQMTask weekly;
    weekly.Weekly = true;
    weekly.DateTime = MakeDateTime(2025, 6, 1, 9, 0);
    EXPECT_EQ(Text(NextStart(weekly, wednesdayNoon)), "no weekday");
    weekly.Wednesday = true;
    EXPECT_EQ(Text(NextStart(weekly, wednesdayNoon)), At(2026, 3, 11, 9, 0)) << "a week later";
    weekly.Sunday = true;
    EXPECT_EQ(Text(NextStart(weekly, wednesdayNoon)), At(2026, 3, 8, 9, 0));
    weekly.OneShot = true; // one-shot wins over weekly
    weekly.DateTime = MakeDateTime(2026, 3, 6, 9, 0);
    EXPECT_EQ(Text(NextStart(weekly, wednesdayNoon)), At(2026, 3, 6, 9, 0));
}

TEST(NextStart, AStartTimeTheClockJumpsOverOpensRightAfterTheJump) {
    {
        ScopedTimeZone zone("Europe/Amsterdam"); // 2026-03-29 02:00 becomes 03:00
        const TQMTask skipped = Daily(2, 30);
        EXPECT_EQ(Text(NextStart(skipped, MakeDateTime(2026, 3, 28, 12, 0))),
                  At(2026, 3, 29, 3, 0));
        EXPECT_EQ(Text(NextStart(skipped, MakeDateTime(2026, 3, 29, 3, 0, 30))),
                  At(2026, 3, 29, 3, 0));
        EXPECT_EQ(Text(NextStart(skipped, MakeDateTime(2026, 3, 29, 3, 0, 31))),
                  At(2026, 3, 30, 2, 30));
        // A window cut by the jump keeps its 30 seconds of real time.
        const TQMTask cut = Daily(1, 59, 45);
        EXPECT_EQ(Text(NextStart(cut, MakeDateTime(2026, 3, 29, 3, 0, 15))),
                  At(2026, 3, 29, 1, 59, 45));
        EXPECT_EQ(Text(NextStart(cut, MakeDateTime(2026, 3, 29, 3, 0, 16))),
                  At(2026, 3, 30, 1, 59, 45));
        // The hour that comes twice in autumn changes nothing.
        EXPECT_EQ(Text(NextStart(skipped, MakeDateTime(2026, 10, 24, 12, 0))),
                  At(2026, 10, 25, 2, 30));
    }
    {
        ScopedTimeZone zone("America/New_York"); // 2026-03-08 02:00 becomes 03:00
        TQMTask once;
        once.OneShot = true;
        once.DateTime = MakeDateTime(2026, 3, 8, 2, 30);
        EXPECT_EQ(Text(NextStart(once, MakeDateTime(2026, 3, 1, 12, 0))), At(2026, 3, 8, 3, 0));
        TQMTask weekly = Daily(2, 0);
        weekly.Daily = false;
        weekly.Weekly = weekly.Sunday = true;
        EXPECT_EQ(Text(NextStart(weekly, MakeDateTime(2026, 3, 2, 12, 0))), At(2026, 3, 8, 3, 0));
        EXPECT_EQ(Text(NextStart(weekly, MakeDateTime(2026, 3, 8, 3, 1))), At(2026, 3, 15, 2, 0));
    }
}
