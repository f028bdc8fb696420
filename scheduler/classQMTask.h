#pragma once

#include "lib/DateTimeUtil.h"

#include <optional>
#include <string>

namespace platform {
class ProfileFile;
}

// What a run came to; RunResultText gives its words in the log line.
enum class TRunResult { Executed, FileNotFound, NoAssociatedProgram };
const char* RunResultText(TRunResult result);

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

    static TDateTime NeverDate();
    static bool IsNeverDate(TDateTime value);
    void ResetLastExecuted();
    bool HasRunToday() const;
    bool IsStartDateToday() const;
    static TDateTime StartWindow();
    bool IsInStartWindow() const;
    bool IsWeekdayChecked() const;

    // The schedule rule.
    bool IsDue() const;
    // Runs the task when it is due: the run's result, or nothing when it was
    // not due.
    std::optional<TRunResult> ExecuteIfDue(bool stampTheRun);
    // Starts the task's program; with stampTheRun the last-run time becomes now.
    // The result is also written to the log; raises when the launcher does.
    TRunResult Execute(bool stampTheRun);
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

private:
    // The schedule rule's tests against a given moment, so that IsDue reads
    // the clock once.
    bool HasRunToday(TDateTime now) const;
    bool IsStartDateToday(TDateTime now) const;
    bool IsInStartWindow(TDateTime now) const;
    bool IsWeekdayChecked(TDateTime now) const;
};
