#include "scheduler/NextStart.h"

#include <cmath>

namespace {

// The opening of the task's window on a day, when the window is not over at
// `now` and the task has not run that day; for days after today only the
// last-run test matters.
bool OpensOn(const TQMTask& task, const TScheduleMoment& moment, TDateTime day, TDateTime& when) {
    if (task.HasRunOn(day))
        return false;
    const TQMTask::TWindow window =
        task.StartWindowOn(day == moment.Day ? moment.Skipped : dt::SkippedOn(day));
    if (day == moment.Day && moment.TimeMs > window.CloseMs)
        return false;
    when = day + static_cast<double>(window.OpenMs) / dt::MSecsPerDay;
    return true;
}

} // namespace

TNextStart NextStart(const TQMTask& task, TDateTime now) {
    using TKind = TNextStart::TKind;
    if (!task.Active)
        return {TKind::Inactive, 0};
    const TScheduleMoment moment = TScheduleMoment::At(now);
    TDateTime when = 0;
    // The frequencies in the order the schedule rule weighs them.
    if (task.Daily) {
        for (TDateTime day = moment.Day;; day += 1)
            if (OpensOn(task, moment, day, when))
                return {TKind::At, when};
    }
    if (task.OneShot) {
        const TDateTime day = task.DatePart();
        if (day >= moment.Day && OpensOn(task, moment, day, when))
            return {TKind::At, when};
        return {TKind::OneShotPast, 0};
    }
    if (task.Weekly) {
        const bool checked[7] = {task.Sunday,   task.Monday, task.Tuesday, task.Wednesday,
                                 task.Thursday, task.Friday, task.Saturday};
        bool any = false;
        for (bool flag : checked)
            any = any || flag;
        if (!any)
            return {TKind::NoWeekday, 0};
        // Today's window may be over and the one run stamp may block one more
        // day: two weeks and a day always reach a checked weekday again.
        for (int ahead = 0; ahead <= 14; ++ahead) {
            const TDateTime day = moment.Day + ahead;
            if (checked[dt::DayOfWeek(day) - 1] && OpensOn(task, moment, day, when))
                return {TKind::At, when};
        }
    }
    return {TKind::Inactive, 0};
}
