#pragma once

#include "lib/DateTimeUtil.h"
#include "scheduler/RunWatch.h"

#include <functional>
#include <optional>
#include <string>

namespace platform {
class ProfileFile;
}

// What a run came to; RunResultText gives its words in the log line.
enum class TRunResult { Executed, FileNotFound, NoAssociatedProgram };
const char* RunResultText(TRunResult result);

// The present moment split once per poll, so that the schedule rule of every
// task compares numbers only: no clock read, no conversion per task.
struct TScheduleMoment {
    TDateTime Now = 0;
    TDateTime Day = 0;        // date part of Now
    long long TimeMs = 0;     // milliseconds since the local midnight
    int Weekday = 1;          // 1 = Sunday ... 7 = Saturday
    dt::SkippedTimes Skipped; // local times this day does not have
    static TScheduleMoment At(TDateTime now);
};

// One scheduled task: what to start, when, and when it last ran. It decides
// by itself whether it is due now, runs itself and renders its list texts.
class TQMTask {
public:
    TQMTask();
    virtual ~TQMTask() = default;
    TQMTask(const TQMTask&) = default;
    TQMTask& operator=(const TQMTask&) = default;

    // Start moment: the time part is the start time of day; the date part is
    // the day of a one-shot task.
    TDateTime DateTime = 0;
    // Last scheduled or early run; at or before NeverDate() means never.
    TDateTime DateTimeLastExecuted = 0;
    bool Active = true;
    bool Daily = false;
    bool Weekly = false;
    bool OneShot = false;
    bool Monday = false;
    bool Tuesday = false;
    bool Wednesday = false;
    bool Thursday = false;
    bool Friday = false;
    bool Saturday = false;
    bool Sunday = false;
    std::string TaskName;
    std::string TaskFileName;
    std::string Guid;
    std::string TaskParameters;
    // Stop the run after this many minutes; 0: no limit.
    int TimeLimitMinutes = 0;
    // Working folder of the run; empty: the scheduler's own folder.
    std::string StartIn;
    // The last run's result in words, and whether it failed; empty: none known.
    std::string LastResult;
    bool LastRunFailed = false;
    // When the schedule (frequency, days, date, time, active flag) was set
    // or last changed: no start before it counts as missed.
    TDateTime ScheduleChanged = 0;
    // A missed start is run as soon as the program may. Off by default.
    bool CatchUp = false;
    // The start that the last run stood in for when it was a catch-up; 0 when
    // the last run was a start of its own. The once-a-day rule counts that
    // start's day, so a catch-up never takes the place of today's run.
    TDateTime OccurrenceServed = 0;
    // The missed start a catch-up is owed for; 0 when none is. Kept until the
    // catch-up runs, is told "not caught up", or a later run serves the need.
    TDateTime CatchUpOwed = 0;

    static TDateTime NeverDate();
    static bool IsNeverDate(TDateTime value);
    void ResetLastExecuted();
    bool HasRunToday() const;
    bool IsStartDateToday() const;
    static TDateTime StartWindow();
    bool IsInStartWindow() const;
    bool IsWeekdayChecked() const;

    // The start window on a day with the given skipped local times, in
    // milliseconds since the local midnight, both ends inclusive. A start
    // time the clock jumps over opens at the first local time after the jump;
    // a window the jump cuts keeps its 30 seconds of real time.
    struct TWindow {
        long long OpenMs = 0;
        long long CloseMs = 0;
    };
    TWindow StartWindowOn(const dt::SkippedTimes& skipped) const;

    // The schedule rule.
    bool IsDue() const;
    bool IsDue(const TScheduleMoment& moment) const;
    // Runs the task when it is due: the run's result, or nothing when it was
    // not due.
    std::optional<TRunResult> ExecuteIfDue(bool stampTheRun);
    std::optional<TRunResult> ExecuteIfDue(bool stampTheRun, const TScheduleMoment& moment);
    // Starts the task's program; with stampTheRun the last-run time becomes
    // now. The result is also written to the log; a start that fails is
    // logged before its error goes on.
    // A program runs as a child of the task list's run watch (when there is
    // one), which reports its end; "how" is early with stampTheRun, else by hand.
    TRunResult Execute(bool stampTheRun);
    TRunResult Execute(bool stampTheRun, TDateTime now, TRunKind kind = TRunKind::Scheduled);
    // Runs the task in place of a start it missed: stamped now, counted for
    // the day of `start`; the log line names the start it stands in for.
    TRunResult ExecuteInPlaceOf(TDateTime start, TDateTime now);
    // Called with the task right before its program is started, when set:
    // after it, the start may have happened whatever comes next.
    using TStartingHook = std::function<void(const TQMTask& task)>;
    static TStartingHook& StartingHook();
    // The folder the run starts in.
    std::string RunFolder() const;
    // Writes "task (<name>): <result> (<file>)" to the run log.
    void LogResult(const std::string& resultText) const;

    // Fills the task from the version-1 section named by TaskName; values
    // that cannot be read take their defaults.
    void ReadVersion1(const platform::ProfileFile& file);

    // Copies every field of the other task, identifier and last run included.
    void Assign(const TQMTask* other);

    std::string WeekdaysText() const;
    std::string DateText() const;
    std::string TimeText() const;
    std::string FrequencyText() const;
    std::string ActiveText() const;
    std::string LastExecutedText() const;

    // Sort keys: 0 start time, 1 last run, 2 name, 3 active, 4 frequency.
    bool IsLessThan(const TQMTask* other, int sortKey) const;
    void CheckTaskAssigned(const TQMTask* other) const;

    TDateTime TimePart() const;
    TDateTime DatePart() const;
    void SetDateAndTime(TDateTime date, TDateTime time);

    // Same frequency, days, date, time and active flag.
    bool SameSchedule(const TQMTask& other) const;

    // The schedule rule's tests against a moment split once.
    // The day the last run counts for (a catch-up: the day of its start).
    TDateTime RunDay() const;
    bool HasRunOn(TDateTime day) const;
    bool IsInStartWindow(const TScheduleMoment& moment) const;
    bool IsWeekdayChecked(int weekday) const;

private:
    TRunResult Run(bool stampTheRun, TDateTime now, TDateTime inPlaceOf, TRunKind kind);
};
