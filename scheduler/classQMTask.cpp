#include "scheduler/classQMTask.h"

#include "lib/QMException.h"
#include "lib/Version1Values.h"
#include "lib/classZQStringUtil.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "scheduler/TaskLog.h"
#include "scheduler/classQMTaskSchedulerFileUtils.h"

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

TQMTask::TQMTask() : DateTime(dt::Now() - 1.0 / dt::HoursPerDay) {}

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
}

bool TQMTask::HasRunToday() const {
    return HasRunToday(dt::Now());
}

bool TQMTask::IsStartDateToday() const {
    return IsStartDateToday(dt::Now());
}

TDateTime TQMTask::StartWindow() {
    return 30.0 / dt::SecsPerDay;
}

bool TQMTask::IsInStartWindow() const {
    return IsInStartWindow(dt::Now());
}

bool TQMTask::IsWeekdayChecked() const {
    return IsWeekdayChecked(dt::Now());
}

bool TQMTask::IsDue() const {
    if (!Active)
        return false;
    // The poll asks every task: one reading of the clock serves the rule.
    const TDateTime now = dt::Now();
    if (HasRunToday(now))
        return false;
    if (Daily)
        return IsInStartWindow(now);
    if (OneShot)
        return IsStartDateToday(now) && IsInStartWindow(now);
    if (Weekly)
        return IsWeekdayChecked(now) && IsInStartWindow(now);
    return false;
}

bool TQMTask::HasRunToday(TDateTime now) const {
    return dt::DatePart(DateTimeLastExecuted) == dt::DatePart(now);
}

bool TQMTask::IsStartDateToday(TDateTime now) const {
    return dt::DatePart(now) == dt::DatePart(DateTime);
}

bool TQMTask::IsInStartWindow(TDateTime now) const {
    static const long long window = std::llround(StartWindow() * dt::MSecsPerDay);
    const long long t = TimeOfDayMs(now);
    const long long start = TimeOfDayMs(DateTime);
    // No wrap past midnight: the time of day never exceeds the day's end.
    return t >= start && t <= start + window;
}

bool TQMTask::IsWeekdayChecked(TDateTime now) const {
    switch (dt::DayOfWeek(now)) {
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
    if (!IsDue())
        return std::nullopt;
    return Execute(stampTheRun);
}

TRunResult TQMTask::Execute(bool stampTheRun) {
    if (!platform::FileExists(TaskFileName)) {
        LogResult(RunResultText(TRunResult::FileNotFound));
        return TRunResult::FileNotFound;
    }
    // Stamped before the start, so that a failing start is not retried on
    // every poll of the window.
    if (stampTheRun)
        DateTimeLastExecuted = dt::Now();
    const bool started =
        TQMTaskSchedulerFileUtils::RunProgram(TaskFileName, TaskParameters, false, false);
    // Nothing opens the document: saying "executed" would report a failure
    // as a success.
    const TRunResult result = started ? TRunResult::Executed : TRunResult::NoAssociatedProgram;
    LogResult(RunResultText(result));
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
