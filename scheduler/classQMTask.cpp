#include "scheduler/classQMTask.h"

#include "lib/QMException.h"
#include "lib/Version1Values.h"
#include "lib/classZQStringUtil.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "scheduler/TaskLog.h"
#include "scheduler/classQMTaskSchedulerFileUtils.h"

#include <algorithm>
#include <cmath>

namespace {

// Times of day are compared in whole milliseconds: two equal times of day on
// different dates can differ in their last bits as fractions.
long long TimeOfDayMs(TDateTime value) {
    return std::llround(dt::TimePart(value) * dt::MSecsPerDay);
}

// Date part of the first and time part of the second. Before day 0 the
// fraction still reads forward from the day's start, so it is subtracted.
TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
    const TDateTime day = dt::DatePart(date);
    const TDateTime fraction = dt::TimePart(time);
    return day >= 0 ? day + fraction : day - fraction;
}

} // namespace

TQMTask::TQMTask() {
    const TDateTime now = dt::Now();
    DateTime = now - 1.0 / dt::HoursPerDay;
    // A task read from a file that has no such stamp counts from its loading.
    ScheduleChanged = now;
}

TDateTime TQMTask::NeverDate() {
    TDateTime result = 0;
    (void)dt::TryEncodeDate(1990, 1, 1, result);
    return result;
}

bool TQMTask::IsNeverDate(TDateTime value) {
    return dt::DatePart(value) <= dt::DatePart(NeverDate());
}

void TQMTask::ResetLastExecuted() {
    DateTimeLastExecuted = NeverDate();
    OccurrenceServed = 0;
}

TScheduleMoment TScheduleMoment::At(TDateTime now) {
    TScheduleMoment moment;
    moment.Now = now;
    moment.Day = dt::DatePart(now);
    moment.TimeMs = TimeOfDayMs(now);
    moment.Weekday = dt::DayOfWeek(now);
    moment.Skipped = dt::SkippedOn(now);
    return moment;
}

bool TQMTask::HasRunToday() const {
    return HasRunOn(dt::Today());
}

bool TQMTask::IsStartDateToday() const {
    return dt::Today() == dt::DatePart(DateTime);
}

TDateTime TQMTask::StartWindow() {
    return 30.0 / dt::SecsPerDay;
}

bool TQMTask::IsInStartWindow() const {
    return IsInStartWindow(TScheduleMoment::At(dt::Now()));
}

bool TQMTask::IsWeekdayChecked() const {
    return IsWeekdayChecked(dt::DayOfWeek(dt::Now()));
}

TQMTask::TWindow TQMTask::StartWindowOn(const dt::SkippedTimes& skipped) const {
    static const long long window = std::llround(StartWindow() * dt::MSecsPerDay);
    const long long start = TimeOfDayMs(DateTime);
    if (!skipped.Empty()) {
        if (start >= skipped.StartMs && start < skipped.EndMs)
            return {skipped.EndMs, skipped.EndMs + window};
        if (start < skipped.StartMs && start + window >= skipped.StartMs)
            return {start, start + window + (skipped.EndMs - skipped.StartMs)};
    }
    return {start, start + window};
}

bool TQMTask::IsDue() const {
    return IsDue(TScheduleMoment::At(dt::Now()));
}

bool TQMTask::IsDue(const TScheduleMoment& moment) const {
    if (!Active)
        return false;
    if (HasRunOn(moment.Day))
        return false;
    if (Daily)
        return IsInStartWindow(moment);
    if (OneShot)
        return moment.Day == dt::DatePart(DateTime) && IsInStartWindow(moment);
    if (Weekly)
        return IsWeekdayChecked(moment.Weekday) && IsInStartWindow(moment);
    return false;
}

TDateTime TQMTask::RunDay() const {
    return dt::DatePart(OccurrenceServed > 0 ? OccurrenceServed : DateTimeLastExecuted);
}

bool TQMTask::HasRunOn(TDateTime day) const {
    return RunDay() == day;
}

bool TQMTask::SameSchedule(const TQMTask& other) const {
    return DateTime == other.DateTime && Active == other.Active && Daily == other.Daily &&
           Weekly == other.Weekly && OneShot == other.OneShot && Monday == other.Monday &&
           Tuesday == other.Tuesday && Wednesday == other.Wednesday && Thursday == other.Thursday &&
           Friday == other.Friday && Saturday == other.Saturday && Sunday == other.Sunday;
}

bool TQMTask::IsInStartWindow(const TScheduleMoment& moment) const {
    // No wrap past midnight: the time of day never exceeds the day's end.
    const TWindow window = StartWindowOn(moment.Skipped);
    return moment.TimeMs >= window.OpenMs && moment.TimeMs <= window.CloseMs;
}

bool TQMTask::IsWeekdayChecked(int weekday) const {
    switch (weekday) {
    case 1:
        return Sunday;
    case 2:
        return Monday;
    case 3:
        return Tuesday;
    case 4:
        return Wednesday;
    case 5:
        return Thursday;
    case 6:
        return Friday;
    case 7:
        return Saturday;
    default:
        return false;
    }
}

const char* RunResultText(TRunResult result) {
    switch (result) {
    case TRunResult::Executed:
        return "executed";
    case TRunResult::FileNotFound:
        return "file not found";
    case TRunResult::NoAssociatedProgram:
        return "no associated program";
    }
    return "";
}

std::optional<TRunResult> TQMTask::ExecuteIfDue(bool stampTheRun) {
    return ExecuteIfDue(stampTheRun, TScheduleMoment::At(dt::Now()));
}

std::optional<TRunResult> TQMTask::ExecuteIfDue(bool stampTheRun, const TScheduleMoment& moment) {
    if (!IsDue(moment))
        return std::nullopt;
    return Execute(stampTheRun, moment.Now, TRunKind::Scheduled);
}

TRunResult TQMTask::Execute(bool stampTheRun) {
    return Execute(stampTheRun, dt::Now(), stampTheRun ? TRunKind::Early : TRunKind::ByHand);
}

std::string TQMTask::RunFolder() const {
    return StartIn.empty() ? TQMTaskSchedulerFileUtils::WorkingFolder() : StartIn;
}

TQMTask::TStartingHook& TQMTask::StartingHook() {
    static TStartingHook hook;
    return hook;
}

TRunResult TQMTask::Execute(bool stampTheRun, TDateTime now, TRunKind kind) {
    return Run(stampTheRun, now, 0, kind);
}

TRunResult TQMTask::ExecuteInPlaceOf(TDateTime start, TDateTime now) {
    return Run(true, now, start, TRunKind::CaughtUp);
}

TRunResult TQMTask::Run(bool stampTheRun, TDateTime now, TDateTime inPlaceOf, TRunKind kind) {
    const std::string note = inPlaceOf > 0 ? ", in place of its start at " +
                                                 dt::FormatDateTime("yyyy-mmm-dd hh:nn", inPlaceOf)
                                           : std::string();
    TRunWatch* watch = TRunWatch::Current();
    auto reportFinished = [&](TRunOutcome outcome, const std::string& detail) {
        if (!watch)
            return;
        TRunRecord run = watch->NewRun(Guid, TaskName, kind, now);
        run.Outcome = outcome;
        run.Detail = detail;
        watch->ReportFinished(std::move(run), now);
    };
    if (!platform::FileExists(TaskFileName)) {
        LogResult(RunResultText(TRunResult::FileNotFound) + note);
        reportFinished(TRunOutcome::NotStarted, RunResultText(TRunResult::FileNotFound));
        return TRunResult::FileNotFound;
    }
    // Stamped before the start, so that a failing start is not retried on
    // every poll of the window.
    // A start of its own serves the need of an earlier start still owed.
    bool servesOwed = false;
    if (stampTheRun) {
        DateTimeLastExecuted = now;
        OccurrenceServed = inPlaceOf;
        servesOwed = inPlaceOf == 0 && CatchUpOwed > 0;
        if (inPlaceOf > 0 || servesOwed)
            CatchUpOwed = 0;
    }
    const auto tellServed = [&] {
        if (servesOwed)
            LogResult("not caught up: a later run serves it");
    };
    bool started = false;
    try {
        const std::string folder = RunFolder();
        // A run never goes on silently somewhere else.
        if (!StartIn.empty() && !platform::DirectoryExists(StartIn))
            throw Exception("Start in folder not found: " + StartIn);
        const auto plan = TQMTaskSchedulerFileUtils::PlanLaunch(TaskFileName, TaskParameters);
        started = !plan.CommandLine.empty();
        const auto starting = [this] {
            if (const TStartingHook& hook = StartingHook())
                hook(*this);
        };
        if (started && plan.IsProgram && watch) {
            TRunRecord run = watch->NewRun(Guid, TaskName, kind, now);
            starting();
            const int error = watch->StartProgram(std::move(run), plan.CommandLine, folder,
                                                  TaskFileName, TimeLimitMinutes);
            if (error != 0)
                TQMTaskSchedulerFileUtils::RaiseStartError(TaskFileName, error);
        } else if (started) {
            starting();
            const int error = platform::StartProcess(plan.CommandLine, folder, false);
            if (error != 0)
                TQMTaskSchedulerFileUtils::RaiseStartError(TaskFileName, error);
            // The opener's own status says nothing about the document.
            if (!plan.IsProgram)
                reportFinished(TRunOutcome::Opened, plan.Application);
        }
    } catch (const std::exception& e) {
        // Without a display the log is the only place where a user sees why
        // a task did not start. The start's error goes on either way.
        std::string reason = ReasonOf(e);
        std::replace(reason.begin(), reason.end(), '\r', ' ');
        try {
            LogResult(reason + note);
            reportFinished(TRunOutcome::NotStarted, reason);
            tellServed();
        } catch (...) {
        }
        throw;
    }
    // Nothing opens the document: saying "executed" would report a failure
    // as a success.
    const TRunResult result = started ? TRunResult::Executed : TRunResult::NoAssociatedProgram;
    if (!started)
        reportFinished(TRunOutcome::NotStarted, RunResultText(result));
    LogResult(RunResultText(result) + note);
    tellServed();
    return result;
}

void TQMTask::LogResult(const std::string& resultText) const {
    WriteTaskLog("task (" + TaskName + "): " + resultText + " (" + TaskFileName + ")");
}

void TQMTask::Assign(const TQMTask* other) {
    CheckTaskAssigned(other);
    DateTime = other->DateTime;
    Active = other->Active;
    Daily = other->Daily;
    Weekly = other->Weekly;
    OneShot = other->OneShot;
    Monday = other->Monday;
    Tuesday = other->Tuesday;
    Wednesday = other->Wednesday;
    Thursday = other->Thursday;
    Friday = other->Friday;
    Saturday = other->Saturday;
    Sunday = other->Sunday;
    TaskFileName = other->TaskFileName;
    TaskParameters = other->TaskParameters;
    TaskName = other->TaskName;
    Guid = other->Guid;
    DateTimeLastExecuted = other->DateTimeLastExecuted;
    TimeLimitMinutes = other->TimeLimitMinutes;
    StartIn = other->StartIn;
    LastResult = other->LastResult;
    LastRunFailed = other->LastRunFailed;
    ScheduleChanged = other->ScheduleChanged;
    CatchUp = other->CatchUp;
    OccurrenceServed = other->OccurrenceServed;
    CatchUpOwed = other->CatchUpOwed;
}

std::string TQMTask::WeekdaysText() const {
    std::string text;
    if (Monday)
        text += "mo ";
    if (Tuesday)
        text += "tu ";
    if (Wednesday)
        text += "we ";
    if (Thursday)
        text += "th ";
    if (Friday)
        text += "fr ";
    if (Saturday)
        text += "sa ";
    if (Sunday)
        text += "su ";
    return text;
}

std::string TQMTask::DateText() const {
    return dt::FormatDateTime("yyyy-mmm-dd", DateTime);
}

std::string TQMTask::TimeText() const {
    return dt::FormatDateTime("hh:nn", DateTime);
}

std::string TQMTask::FrequencyText() const {
    if (Daily)
        return "daily";
    if (Weekly)
        return "weekly (" + WeekdaysText() + ")";
    if (OneShot)
        return "one shot (" + DateText() + ")";
    return {};
}

std::string TQMTask::ActiveText() const {
    return Active ? "Yes" : "No";
}

std::string TQMTask::LastExecutedText() const {
    if (IsNeverDate(DateTimeLastExecuted))
        return "unknown";
    return dt::FormatDateTime("yyyy-mmm-dd", DateTimeLastExecuted) + " / " +
           dt::FormatDateTime("hh:nn", DateTimeLastExecuted);
}

bool TQMTask::IsLessThan(const TQMTask* other, int sortKey) const {
    CheckTaskAssigned(other);
    switch (sortKey) {
    case 0:
        return TimeOfDayMs(DateTime) < TimeOfDayMs(other->DateTime);
    case 1:
        return DateTimeLastExecuted < other->DateTimeLastExecuted;
    case 2:
        // std::string compares bytes as unsigned values; a prefix sorts first.
        return TZQStringUtil::LowerCase(TaskName) < TZQStringUtil::LowerCase(other->TaskName);
    case 3:
        return !Active && other->Active;
    case 4:
        return TZQStringUtil::LowerCase(FrequencyText()) <
               TZQStringUtil::LowerCase(other->FrequencyText());
    default:
        return false;
    }
}

void TQMTask::CheckTaskAssigned(const TQMTask* other) const {
    if (!other)
        throw Exception("TQMTask: objtask not assigned");
}

TDateTime TQMTask::TimePart() const {
    return dt::TimePart(DateTime);
}

TDateTime TQMTask::DatePart() const {
    return dt::DatePart(DateTime);
}

void TQMTask::SetDateAndTime(TDateTime date, TDateTime time) {
    DateTime = ComposeDateTime(date, time);
}

void TQMTask::ReadVersion1(const platform::ProfileFile& file) {
    const auto value = [&](const char* key) { return file.ReadString(TaskName, key, ""); };
    const auto flag = [&](const char* key) { return version1::ReadFlag(value(key), false); };
    TDateTime defaultDate = 0;
    (void)dt::TryEncodeDate(2000, 1, 1, defaultDate);
    const TDateTime noon = 0.5;

    TaskFileName = value("taskfilename");
    TaskParameters = value("taskparameters");
    Active = flag("active");
    Weekly = flag("weekly");
    Daily = flag("daily");
    OneShot = flag("one_shot");
    TDateTime time = version1::ReadTime(value("time"), noon);
    TDateTime date = version1::ReadDate(value("date"), defaultDate);
    DateTime = ComposeDateTime(date, time);
    Monday = flag("monday");
    Tuesday = flag("tuesday");
    Wednesday = flag("wednesday");
    Thursday = flag("thursday");
    Friday = flag("friday");
    Saturday = flag("saturday");
    Sunday = flag("sunday");
    time = version1::ReadTime(value("time_last_executed"), 0.0);
    date = version1::ReadDate(value("date_last_executed"), NeverDate());
    DateTimeLastExecuted = ComposeDateTime(date, time);
}
