#include "lib/QMException.h"
#include "scheduler/classQMTask.h"
#include "tests/scheduler/SchedulerTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using testing_support::MakeDateTime;
using testing_support::TestClock;

using scheduler_test::ErrorOf;
namespace {

// 2026-03-01 is a Sunday.
TDateTime Day(int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
    return MakeDateTime(2026, 3, day, hour, minute, second, ms);
}

TQMTask DailyAt(int hour, int minute, int second = 0) {
    TQMTask task;
    task.Daily = true;
    // The date part of a daily task plays no part.
    task.DateTime = MakeDateTime(2019, 7, 14, hour, minute, second);
    return task;
}
} // namespace

TEST(TaskDefaults, NewTaskIsActiveHourOldNeverRunAndNeverDue) {
    TestClock clock(Day(2, 10, 0, 0));
    TQMTask task;
    EXPECT_TRUE(task.Active);
    EXPECT_DOUBLE_EQ(task.DateTime, Day(2, 9, 0, 0));
    EXPECT_FALSE(task.Daily || task.Weekly || task.OneShot);
    EXPECT_FALSE(task.Monday || task.Tuesday || task.Wednesday || task.Thursday || task.Friday ||
                 task.Saturday || task.Sunday);
    EXPECT_EQ(task.DateTimeLastExecuted, 0.0);
    EXPECT_TRUE(task.TaskName.empty() && task.TaskFileName.empty() && task.Guid.empty() &&
                task.TaskParameters.empty());
    EXPECT_EQ(task.LastExecutedText(), "unknown");
    EXPECT_EQ(task.FrequencyText(), "");
    // Inside its own start window, on its own day: still no frequency.
    clock.Set(Day(2, 9, 0, 10));
    EXPECT_TRUE(task.IsInStartWindow());
    EXPECT_TRUE(task.IsStartDateToday());
    EXPECT_FALSE(task.IsDue());
}

TEST(TaskSchedule, DailyWindowIncludesBothEndsToTheMillisecond) {
    TestClock clock(Day(4, 7, 59, 59, 999));
    TQMTask task = DailyAt(8, 0);
    EXPECT_FALSE(task.IsDue());
    clock.Set(Day(4, 8, 0, 0, 0));
    EXPECT_TRUE(task.IsDue());
    clock.Set(Day(4, 8, 0, 30, 0));
    EXPECT_TRUE(task.IsDue());
    clock.Set(Day(4, 8, 0, 30, 1));
    EXPECT_FALSE(task.IsDue());
    EXPECT_DOUBLE_EQ(TQMTask::StartWindow(), 30.0 / 86400.0);
}

TEST(TaskSchedule, WindowEndsAtMidnightWithoutWrapping) {
    TestClock clock(Day(4, 23, 59, 49, 999));
    TQMTask task = DailyAt(23, 59, 50);
    EXPECT_FALSE(task.IsInStartWindow());
    clock.Set(Day(4, 23, 59, 50));
    EXPECT_TRUE(task.IsInStartWindow());
    clock.Set(Day(4, 23, 59, 59, 999));
    EXPECT_TRUE(task.IsInStartWindow());
    // The 30 seconds would reach 00:00:20; the window stops at the day's end.
    for (int second : {0, 10, 19}) {
        clock.Set(Day(5, 0, 0, second));
        EXPECT_FALSE(task.IsInStartWindow()) << second;
    }
}

TEST(TaskSchedule, WeekdayFlagsFollowSundayFirstNumbering) {
    bool TQMTask::*flags[7] = {&TQMTask::Sunday,    &TQMTask::Monday,   &TQMTask::Tuesday,
                               &TQMTask::Wednesday, &TQMTask::Thursday, &TQMTask::Friday,
                               &TQMTask::Saturday};
    TestClock clock(Day(1));
    for (int flag = 0; flag < 7; ++flag) {
        TQMTask task;
        task.Weekly = true;
        task.DateTime = MakeDateTime(2001, 1, 1, 12, 0);
        task.*flags[flag] = true;
        for (int day = 1; day <= 14; ++day) {
            clock.Set(Day(day, 12, 0, 5));
            const bool expected = (day - 1) % 7 == flag;
            EXPECT_EQ(task.IsWeekdayChecked(), expected) << "flag " << flag << " day " << day;
            EXPECT_EQ(task.IsDue(), expected) << "flag " << flag << " day " << day;
        }
    }
    TQMTask none;
    none.Weekly = true;
    none.DateTime = MakeDateTime(2001, 1, 1, 12, 0);
    for (int day = 1; day <= 7; ++day) {
        clock.Set(Day(day, 12, 0, 5));
        EXPECT_FALSE(none.IsDue()) << day;
    }
}

TEST(TaskSchedule, OneShotRunsOnItsDateOnly) {
    TestClock clock(Day(10, 9, 0, 1));
    TQMTask task;
    task.OneShot = true;
    task.DateTime = Day(9, 9, 0);
    EXPECT_FALSE(task.IsDue()) << "dated yesterday";
    task.DateTime = Day(11, 9, 0);
    EXPECT_FALSE(task.IsDue()) << "dated tomorrow";
    task.DateTime = Day(10, 9, 0);
    EXPECT_TRUE(task.IsDue());
    task.DateTimeLastExecuted = clock.Now();
    EXPECT_FALSE(task.IsDue()) << "already ran";
}

TEST(TaskSchedule, FrequencyFlagsHaveFixedPriorities) {
    TestClock clock(Day(4, 9, 0, 0)); // a Wednesday
    TQMTask dailyAndOnce;
    dailyAndOnce.Daily = dailyAndOnce.OneShot = true;
    dailyAndOnce.DateTime = Day(3, 9, 0); // yesterday
    EXPECT_TRUE(dailyAndOnce.IsDue());
    EXPECT_EQ(dailyAndOnce.FrequencyText(), "daily");

    // Weekly and one-shot: scheduled as one-shot, shown as weekly.
    TQMTask weeklyAndOnce;
    weeklyAndOnce.Weekly = weeklyAndOnce.OneShot = true;
    weeklyAndOnce.Monday = true;
    weeklyAndOnce.DateTime = Day(4, 9, 0);
    EXPECT_TRUE(weeklyAndOnce.IsDue()) << "today is its date, though no weekday matches";
    weeklyAndOnce.Monday = false;
    weeklyAndOnce.Wednesday = true;
    weeklyAndOnce.DateTime = Day(3, 9, 0);
    EXPECT_FALSE(weeklyAndOnce.IsDue()) << "its weekday, but not its date";
    EXPECT_EQ(weeklyAndOnce.FrequencyText(), "weekly (we )");

    TQMTask all = weeklyAndOnce;
    all.Daily = true;
    EXPECT_TRUE(all.IsDue());
    EXPECT_EQ(all.FrequencyText(), "daily");
}

TEST(TaskSchedule, RunsAtMostOnceADayAndNeverWhenInactive) {
    TestClock clock(Day(4, 8, 0, 2));
    TQMTask task = DailyAt(8, 0);
    task.DateTimeLastExecuted = Day(4, 0, 0, 1);
    EXPECT_TRUE(task.HasRunToday());
    EXPECT_FALSE(task.IsDue());
    clock.Set(Day(5, 8, 0, 2));
    EXPECT_FALSE(task.HasRunToday());
    EXPECT_TRUE(task.IsDue());
    task.Active = false;
    EXPECT_FALSE(task.IsDue());
    EXPECT_FALSE(task.ExecuteIfDue(true));
}

TEST(TaskTexts, LastExecutedTreatsTheWholeNeverDayAsNeverRun) {
    testing_support::ScopedRegional english(testing_support::EnglishUS());
    TQMTask task;
    EXPECT_DOUBLE_EQ(TQMTask::NeverDate(), 32874.0);
    task.ResetLastExecuted();
    EXPECT_DOUBLE_EQ(task.DateTimeLastExecuted, 32874.0);
    EXPECT_EQ(task.LastExecutedText(), "unknown");
    task.DateTimeLastExecuted = MakeDateTime(1990, 1, 1, 23, 0);
    EXPECT_EQ(task.LastExecutedText(), "unknown");
    task.DateTimeLastExecuted = MakeDateTime(1990, 1, 2, 0, 0);
    EXPECT_EQ(task.LastExecutedText(), "1990-Jan-02 / 00:00");
    task.DateTimeLastExecuted = MakeDateTime(2011, 3, 5, 14, 30, 59);
    EXPECT_EQ(task.LastExecutedText(), "2011-Mar-05 / 14:30");
    EXPECT_TRUE(TQMTask::IsNeverDate(-400.5));
}

TEST(TaskTexts, DisplayTextsUseRegionalMonthsAndFixedPieces) {
    testing_support::ScopedRegional dutch(testing_support::Dutch());
    TQMTask task;
    task.DateTime = MakeDateTime(2026, 3, 5, 7, 5, 59);
    EXPECT_EQ(task.DateText(), "2026-mrt-05");
    EXPECT_EQ(task.TimeText(), "07:05");
    task.OneShot = true;
    EXPECT_EQ(task.FrequencyText(), "one shot (2026-mrt-05)");
    task.Weekly = true;
    EXPECT_EQ(task.FrequencyText(), "weekly ()");
    task.Sunday = task.Wednesday = task.Monday = true;
    EXPECT_EQ(task.WeekdaysText(), "mo we su ");
    EXPECT_EQ(task.FrequencyText(), "weekly (mo we su )");
    task.Tuesday = task.Thursday = task.Friday = task.Saturday = true;
    EXPECT_EQ(task.WeekdaysText(), "mo tu we th fr sa su ");
    EXPECT_EQ(task.ActiveText(), "Yes");
    task.Active = false;
    EXPECT_EQ(task.ActiveText(), "No");
    task.DateTime = MakeDateTime(2026, 12, 31, 23, 59, 59, 400);
    EXPECT_EQ(task.TimeText(), "23:59");
    EXPECT_EQ(task.DateText(), "2026-dec-31");
}

TEST(TaskOrdering, EachKeyComparesItsOwnValue) {
    TQMTask a, b;
    // Key 0: time of day only.
    a.DateTime = MakeDateTime(2030, 1, 1, 7, 0);
    b.DateTime = MakeDateTime(2001, 1, 1, 8, 0);
    EXPECT_TRUE(a.IsLessThan(&b, 0));
    EXPECT_FALSE(b.IsLessThan(&a, 0));
    b.DateTime = MakeDateTime(2001, 6, 9, 7, 0);
    EXPECT_FALSE(a.IsLessThan(&b, 0));
    EXPECT_FALSE(b.IsLessThan(&a, 0));

    // Key 1: full stamp; both kinds of never-run first.
    TQMTask never0, neverDay, ran;
    neverDay.ResetLastExecuted();
    ran.DateTimeLastExecuted = MakeDateTime(2001, 1, 1, 0, 0);
    EXPECT_TRUE(never0.IsLessThan(&ran, 1));
    EXPECT_TRUE(neverDay.IsLessThan(&ran, 1));
    EXPECT_FALSE(ran.IsLessThan(&neverDay, 1));
    TQMTask laterSameDay = ran;
    laterSameDay.DateTimeLastExecuted += 1.0 / 24;
    EXPECT_TRUE(ran.IsLessThan(&laterSameDay, 1));

    // Key 2: ASCII-only lower-casing, unsigned bytes, prefix first.
    a.TaskName = "BACKUP";
    b.TaskName = "backup";
    EXPECT_FALSE(a.IsLessThan(&b, 2));
    EXPECT_FALSE(b.IsLessThan(&a, 2));
    b.TaskName = "Backup nightly";
    EXPECT_TRUE(a.IsLessThan(&b, 2));
    b.TaskName = "\xE9t\xE9";
    EXPECT_TRUE(a.IsLessThan(&b, 2)) << "byte 0xE9 sorts after ASCII";
    a.TaskName = "\xC9T\xC9"; // not lower-cased: 0xC9 < 0xE9
    EXPECT_TRUE(a.IsLessThan(&b, 2));
    a.TaskName = "Zulu";
    b.TaskName = "alpha";
    EXPECT_TRUE(b.IsLessThan(&a, 2));

    // Key 3: inactive first.
    a.Active = false;
    b.Active = true;
    EXPECT_TRUE(a.IsLessThan(&b, 3));
    EXPECT_FALSE(b.IsLessThan(&a, 3));
    b.Active = false;
    EXPECT_FALSE(a.IsLessThan(&b, 3));

    // Key 4: frequency text.
    TQMTask daily, weekly, once, none;
    daily.Daily = true;
    weekly.Weekly = true;
    once.OneShot = true;
    EXPECT_TRUE(none.IsLessThan(&daily, 4));
    EXPECT_TRUE(daily.IsLessThan(&once, 4));
    EXPECT_TRUE(once.IsLessThan(&weekly, 4));
    EXPECT_FALSE(weekly.IsLessThan(&once, 4));

    for (int key : {-1, 5, 100})
        EXPECT_FALSE(a.IsLessThan(&b, key) || b.IsLessThan(&a, key));
    EXPECT_EQ(ErrorOf([&] { (void)a.IsLessThan(nullptr, 7); }), "TQMTask: objtask not assigned");
    EXPECT_EQ(ErrorOf([&] { a.CheckTaskAssigned(nullptr); }), "TQMTask: objtask not assigned");
}

TEST(TaskCopy, AssignCopiesEveryFieldIdentifierAndStampIncluded) {
    TQMTask source;
    source.DateTime = MakeDateTime(2026, 1, 2, 3, 4, 5);
    source.DateTimeLastExecuted = MakeDateTime(2025, 12, 24, 18, 0);
    source.Active = false;
    source.Weekly = source.Tuesday = source.Saturday = true;
    source.TaskName = "name";
    source.TaskFileName = "/bin/true";
    source.Guid = "0123456789ABCDEF0123456789ABCDEF01234567";
    source.TaskParameters = "-x 'y z'";
    TQMTask copy;
    copy.Daily = copy.OneShot = copy.Monday = copy.Wednesday = copy.Thursday = copy.Friday =
        copy.Sunday = true;
    copy.Assign(&source);
    EXPECT_EQ(copy.DateTime, source.DateTime);
    EXPECT_EQ(copy.DateTimeLastExecuted, source.DateTimeLastExecuted);
    EXPECT_EQ(copy.FrequencyText(), "weekly (tu sa )");
    EXPECT_FALSE(copy.Active || copy.Daily || copy.OneShot);
    EXPECT_EQ(copy.TaskName, source.TaskName);
    EXPECT_EQ(copy.TaskFileName, source.TaskFileName);
    EXPECT_EQ(copy.Guid, source.Guid);
    EXPECT_EQ(copy.TaskParameters, source.TaskParameters);
    EXPECT_EQ(ErrorOf([&] { copy.Assign(nullptr); }), "TQMTask: objtask not assigned");
    EXPECT_EQ(copy.TaskName, "name");
}

TEST(TaskDateTime, PartsAndSetDateAndTime) {
    TQMTask task;
    task.SetDateAndTime(MakeDateTime(2026, 3, 5, 22, 10), MakeDateTime(1999, 9, 9, 6, 30, 15));
    EXPECT_DOUBLE_EQ(task.DatePart(), MakeDateTime(2026, 3, 5));
    EXPECT_NEAR(task.TimePart(), MakeDateTime(1899, 12, 30, 6, 30, 15), 1e-9);
    EXPECT_EQ(dt::FormatDateTime("yyyy-mm-dd hh:nn:ss", task.DateTime), "2026-03-05 06:30:15");
}

TEST(TaskRun, MissingFileIsLoggedEveryPollAndNeverStamped) {
    testing_support::TempDir dir;
    scheduler_test::CapturedTaskLog log;
    TestClock clock(Day(4, 8, 0, 0));
    TQMTask task = DailyAt(8, 0);
    task.TaskName = "Backup";
    task.TaskFileName = dir.File("missing.exe");
    EXPECT_TRUE(task.ExecuteIfDue(true));
    clock.AdvanceMs(2000);
    EXPECT_TRUE(task.ExecuteIfDue(true));
    EXPECT_EQ(task.DateTimeLastExecuted, 0.0);
    const std::string line = "task (Backup): file not found (" + dir.File("missing.exe") + ")";
    EXPECT_EQ(log.Lines, std::vector<std::string>({line, line}));

    // A folder is no program file either.
    log.Lines.clear();
    task.TaskFileName = dir.Path();
    task.Execute(true);
    EXPECT_EQ(log.Lines,
              std::vector<std::string>({"task (Backup): file not found (" + dir.Path() + ")"}));
    EXPECT_EQ(task.DateTimeLastExecuted, 0.0);
}

TEST(TaskRun, ManualRunLeavesStampPrematureRunSetsIt) {
    testing_support::TempDir dir;
    scheduler_test::CapturedTaskLog log;
    TestClock clock(Day(4, 7, 0, 0));
    TQMTask task = DailyAt(8, 0);
    task.TaskName = "Report";
    task.TaskFileName = scheduler_test::ReportArgsProgram();
    task.TaskParameters = "manual";
    {
        scheduler_test::ScopedReportTarget target(dir.File("manual"));
        task.Execute(false);
    }
    EXPECT_EQ(task.DateTimeLastExecuted, 0.0);
    EXPECT_EQ(log.Lines, std::vector<std::string>(
                             {"task (Report): executed (" + std::string(task.TaskFileName) + ")"}));
    ASSERT_TRUE(scheduler_test::WaitForFile(dir.File("manual")));
    EXPECT_EQ(scheduler_test::ParseReport(testing_support::ReadFile(dir.File("manual"))).Args,
              std::vector<std::string>{"manual"});
    // It still runs at its time that day.
    clock.Set(Day(4, 8, 0, 1));
    EXPECT_TRUE(task.IsDue());

    {
        scheduler_test::ScopedReportTarget target(dir.File("early"));
        clock.Set(Day(4, 7, 30, 0));
        task.Execute(true);
    }
    EXPECT_DOUBLE_EQ(task.DateTimeLastExecuted, Day(4, 7, 30, 0));
    ASSERT_TRUE(scheduler_test::WaitForFile(dir.File("early")));
    clock.Set(Day(4, 8, 0, 1));
    EXPECT_FALSE(task.IsDue()) << "ran prematurely today";
}
