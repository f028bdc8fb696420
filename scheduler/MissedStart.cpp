#include "scheduler/MissedStart.h"

#include "scheduler/NextStart.h"

#include <algorithm>

namespace {

bool MeantFor(const TQMTask& task, TDateTime day) {
    // The frequencies in the order the schedule rule weighs them.
    if (task.Daily)
        return true;
    if (task.OneShot)
        return day == task.DatePart();
    if (task.Weekly)
        return task.IsWeekdayChecked(dt::DayOfWeek(day));
    return false;
}

} // namespace

const char* MissCauseText(TMissCause cause) {
    switch (cause) {
    case TMissCause::NotRunning:
        return "the program was not running";
    case TMissCause::Asleep:
        return "the computer was asleep";
    case TMissCause::ClockSetForward:
        return "the clock was set forward";
    case TMissCause::HeldUp:
        return "the program was held up";
    case TMissCause::EndedBeforeStart:
        return "the program ended before it could start it";
    }
    return "";
}

const char* CatchUpText(TCatchUp outcome) {
    switch (outcome) {
    case TCatchUp::NextStartServes:
        return "not caught up: the next start serves it";
    case TCatchUp::TooOld:
        return "not caught up: the start is more than 7 days old";
    case TCatchUp::No:
    case TCatchUp::Run:
        break;
    }
    return "";
}

bool CanHideAWindow(const TPollGap& gap) {
    return (gap.Now - gap.Since) * dt::MSecsPerDay > StartWindowMs;
}

TMissCause CauseOf(const TPollGap& gap) {
    if (gap.ProgramWasOff)
        return TMissCause::NotRunning;
    if (gap.After.SuspendedMs - gap.Before.SuspendedMs >= StartWindowMs)
        return TMissCause::Asleep;
    const long long wall = gap.After.WallMs - gap.Before.WallMs;
    const long long monotonic = gap.After.MonotonicMs - gap.Before.MonotonicMs;
    if (wall - monotonic >= StartWindowMs)
        return TMissCause::ClockSetForward;
    return TMissCause::HeldUp;
}

std::optional<TDateTime> LatestMissedStart(const TQMTask& task, TDateTime since, TDateTime now) {
    if (!task.Active)
        return std::nullopt;
    if (task.ScheduleChanged > since)
        since = task.ScheduleChanged;
    // Walking back from today, a daily task meets its latest closed window
    // within two days and a weekly one within eight; a one-shot task has one.
    const TDateTime first = dt::DatePart(since);
    const TDateTime today = dt::DatePart(now);
    TDateTime day = task.OneShot && !task.Daily ? task.DatePart() : today;
    if (day > today)
        return std::nullopt;
    for (; day >= first && day > today - 16; day -= 1) {
        if (!MeantFor(task, day))
            continue;
        const TQMTask::TWindow window = task.StartWindowOn(dt::SkippedOn(day));
        const TDateTime open = day + static_cast<double>(window.OpenMs) / dt::MSecsPerDay;
        // The poll's window never wraps past midnight: its last moment is the
        // day's last millisecond.
        const long long closeMs =
            std::min(window.CloseMs, static_cast<long long>(dt::MSecsPerDay) - 1);
        const TDateTime close = day + static_cast<double>(closeMs) / dt::MSecsPerDay;
        if (close >= now)
            continue; // open now or still to come: the poll sees it
        if (open <= since || task.HasRunOn(day))
            return std::nullopt; // seen, or a run stands for it
        return open;
    }
    return std::nullopt;
}

TCatchUp CatchUpAt(const TQMTask& task, TDateTime start, TDateTime now, TDateTime runAt) {
    if (!task.CatchUp)
        return TCatchUp::No;
    if (runAt - start > CatchUpMaxAgeDays)
        return TCatchUp::TooOld;
    // Looked for from now: a window that opens before the catch-up would run
    // serves the same need, as one that opens soon after it does.
    const TNextStart next = NextStart(task, now);
    if (next.Kind == TNextStart::TKind::At &&
        (next.When - runAt) * dt::MSecsPerDay <= static_cast<double>(NextStartServesMs))
        return TCatchUp::NextStartServes;
    return TCatchUp::Run;
}

std::optional<TMissedStart> DecideMissedStart(const TQMTask& task, const TPollGap& gap) {
    if (!CanHideAWindow(gap))
        return std::nullopt;
    const std::optional<TDateTime> start = LatestMissedStart(task, gap.Since, gap.Now);
    if (!start)
        return std::nullopt;
    TMissedStart missed;
    missed.Start = *start;
    missed.Cause = CauseOf(gap);
    const bool settles =
        missed.Cause == TMissCause::NotRunning || missed.Cause == TMissCause::Asleep;
    const TDateTime runAt =
        gap.Now + (settles ? static_cast<double>(CatchUpSettleMs) / dt::MSecsPerDay : 0.0);
    missed.CatchUp = CatchUpAt(task, *start, gap.Now, runAt);
    return missed;
}
