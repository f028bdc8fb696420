#include "scheduler/classQMTaskScheduler.h"

#include "lib/QMException.h"
#include "platform/profile.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <exception>
#include <iostream>
#include <optional>

namespace {

// Why the start in flight failed, as the log and the notification tell it.
std::string MessageOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return ReasonOf(e);
    } catch (...) {
        return "Unknown error";
    }
}

} // namespace

TQMTaskScheduler::TQMTaskScheduler()
    : timer_(std::make_unique<QTimer>()), precise_(std::make_unique<QTimer>()),
      runs_(std::make_unique<TRunWatch>()) {
    runs_->OnPrepare = [this](TRunRecord& run) {
        if (OnPrepareRun)
            OnPrepareRun(run);
    };
    runs_->OnReport = [this](const TRunRecord& run) { RunReported(run); };
    timer_->stop();
    timer_->setInterval(PollIntervalMs);
    // The timer is freed before the tasks and before this object is gone, so
    // the connection never outlives either.
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { TimerTick(); });
    // Coarse timers may fire up to 5 % early or late; this one is for the
    // millisecond, and the poll it runs checks the clock again anyway.
    precise_->setSingleShot(true);
    precise_->setTimerType(Qt::PreciseTimer);
    QObject::connect(precise_.get(), &QTimer::timeout, precise_.get(), [this] { TimerTick(); });
    timer_->start();
}

TQMTaskScheduler::~TQMTaskScheduler() {
    timer_->stop();
    timer_.reset();
    precise_.reset();
    runs_.reset();
    while (!tasks_.empty())
        tasks_.pop_back();
}

std::unique_ptr<TQMTask> TQMTaskScheduler::CreateTask() const {
    return std::make_unique<TQMTask>();
}

bool TQMTaskScheduler::IsValidIndex(int index) const {
    return index >= 0 && index < Count();
}

void TQMTaskScheduler::CheckIndex(int index) const {
    if (!IsValidIndex(index))
        throw Exception("TQMTaskScheduler; list index out of bounds: " + std::to_string(index));
}

void TQMTaskScheduler::CheckTask(const TQMTask* task) const {
    if (!task)
        throw Exception("TQMTaskScheduler ; task = nil");
}

TQMTask* TQMTaskScheduler::GetTask(int index) const {
    CheckIndex(index);
    dueStale_ = true;
    return tasks_[static_cast<std::size_t>(index)].get();
}

const TQMTask& TQMTaskScheduler::At(int index) const {
    CheckIndex(index);
    return *tasks_[static_cast<std::size_t>(index)];
}

void TQMTaskScheduler::TaskChanged() const {
    dueStale_ = true;
}

TQMTask* TQMTaskScheduler::AddNewTask() {
    return AddTask(CreateTask());
}

TQMTask* TQMTaskScheduler::AddTask(std::unique_ptr<TQMTask> task) {
    CheckTask(task.get());
    tasks_.push_back(std::move(task));
    ++listChanges_;
    dueStale_ = true;
    return tasks_.back().get();
}

TQMTask* TQMTaskScheduler::AddCopy(const TQMTask* task) {
    CheckTask(task);
    std::unique_ptr<TQMTask> copy = CreateTask();
    copy->Assign(task);
    return AddTask(std::move(copy));
}

void TQMTaskScheduler::DeleteTask(int index) {
    CheckIndex(index);
    const TQMTask* task = tasks_[static_cast<std::size_t>(index)].get();
    std::erase_if(owed_, [task](const TOwed& owed) { return owed.Task == task; });
    told_.erase(task);
    tasks_.erase(tasks_.begin() + index);
    ++listChanges_;
    dueStale_ = true;
}

void TQMTaskScheduler::RemoveTask(const TQMTask* task) {
    const int index = IndexOf(task);
    if (index >= 0)
        DeleteTask(index);
}

void TQMTaskScheduler::ClearTasks() {
    while (Count() > 0)
        DeleteTask(Count() - 1);
}

void TQMTaskScheduler::ImportVersion1(const std::string& path) {
    const platform::ProfileFile file(path);
    const std::vector<std::string> names = file.SectionNames();
    for (const std::string& name : names) {
        // The task is in the list before its values are read, so that an
        // unexpected error leaves what was read so far.
        TQMTask* task = AddNewTask();
        task->TaskName = name;
        task->ReadVersion1(file);
    }
}

int TQMTaskScheduler::IndexOf(const TQMTask* task) const {
    for (std::size_t i = 0; i < tasks_.size(); ++i)
        if (tasks_[i].get() == task)
            return static_cast<int>(i);
    return -1;
}

int TQMTaskScheduler::Count() const {
    return static_cast<int>(tasks_.size());
}

void TQMTaskScheduler::LookForStartsMissedSince(TDateTime lastRunning) {
    offSince_ = lastRunning;
}

void TQMTaskScheduler::BuildDueOrder(const TScheduleMoment& moment, TDueOrder& order) const {
    order.Day = moment.Day;
    order.Skipped = moment.Skipped;
    order.Windows.clear();
    order.LongestMs = 0;
    for (std::size_t i = 0; i < tasks_.size(); ++i) {
        const TQMTask& task = *tasks_[i];
        // The frequencies as the schedule rule weighs them; it decides in
        // the end, this only leaves out tasks it cannot make due that day.
        bool onThisDay = false;
        if (task.Daily)
            onThisDay = true;
        else if (task.OneShot)
            onThisDay = dt::DatePart(task.DateTime) == moment.Day;
        else if (task.Weekly)
            onThisDay = task.IsWeekdayChecked(moment.Weekday);
        if (!task.Active || !onThisDay)
            continue;
        const TQMTask::TWindow window = task.StartWindowOn(moment.Skipped);
        order.Windows.push_back({window.OpenMs, window.CloseMs, static_cast<int>(i)});
        order.LongestMs = std::max(order.LongestMs, window.CloseMs - window.OpenMs);
    }
    std::sort(order.Windows.begin(), order.Windows.end(),
              [](const TDueWindow& a, const TDueWindow& b) {
                  return a.OpenMs != b.OpenMs ? a.OpenMs < b.OpenMs : a.ListIndex < b.ListIndex;
              });
}

const TQMTaskScheduler::TDueOrder&
TQMTaskScheduler::DueOrderAt(const TScheduleMoment& moment) const {
    // A zone change moves the day's gap: the windows move with it.
    if (dueStale_ || due_.Day != moment.Day || due_.Skipped.StartMs != moment.Skipped.StartMs ||
        due_.Skipped.EndMs != moment.Skipped.EndMs) {
        BuildDueOrder(moment, due_);
        nextDay_.Day = -1;
        dueStale_ = false;
    }
    return due_;
}

std::optional<TDateTime> TQMTaskScheduler::FirstOpeningAfter(const TScheduleMoment& moment,
                                                             bool orNextDay) const {
    const auto first = [this](const TDueOrder& order,
                              long long afterMs) -> std::optional<TDateTime> {
        auto it = std::upper_bound(
            order.Windows.begin(), order.Windows.end(), afterMs,
            [](long long ms, const TDueWindow& window) { return ms < window.OpenMs; });
        for (; it != order.Windows.end(); ++it)
            if (!tasks_[static_cast<std::size_t>(it->ListIndex)]->HasRunOn(order.Day))
                return order.Day + static_cast<double>(it->OpenMs) / dt::MSecsPerDay;
        return std::nullopt;
    };
    if (const auto opening = first(DueOrderAt(moment), moment.TimeMs))
        return opening;
    if (!orNextDay)
        return std::nullopt;
    if (nextDay_.Day != moment.Day + 1)
        BuildDueOrder(TScheduleMoment::At(moment.Day + 1), nextDay_);
    return first(nextDay_, -1);
}

std::optional<TDateTime> TQMTaskScheduler::NextWindowOpening(TDateTime after) const {
    return FirstOpeningAfter(TScheduleMoment::At(after), true);
}

std::vector<int> TQMTaskScheduler::OpenWindows(const TScheduleMoment& moment) const {
    const TDueOrder& order = DueOrderAt(moment);
    std::vector<int> open;
    const auto from = std::lower_bound(
        order.Windows.begin(), order.Windows.end(), moment.TimeMs - order.LongestMs,
        [](const TDueWindow& window, long long ms) { return window.OpenMs < ms; });
    for (auto it = from; it != order.Windows.end() && it->OpenMs <= moment.TimeMs; ++it)
        if (it->CloseMs >= moment.TimeMs)
            open.push_back(it->ListIndex);
    std::sort(open.begin(), open.end());
    return open;
}

void TQMTaskScheduler::Tick(QObject* sender) {
    // One reading of the clock serves every task of the poll.
    const TScheduleMoment moment = TScheduleMoment::At(dt::Now());
    const dt::ClockReadings clocks = dt::ReadClocks();
    ArmPreciseTimer(moment);
    LookForMissedStarts(moment, clocks);
    lastRuns_.clear();
    bool anyRan = false;
    const std::uint64_t listAtStart = listChanges_;
    for (const int i : OpenWindows(moment)) {
        // A handler that changed the list leaves the rest to the next poll.
        if (listChanges_ != listAtStart)
            break;
        TQMTask& task = *tasks_[static_cast<std::size_t>(i)];
        anyRan = RunOne(task, sender, [&] { return task.ExecuteIfDue(true, moment); }) || anyRan;
    }
    if (const std::optional<TOwed> owed = TakeCatchUp(moment, clocks)) {
        TQMTask& task = *owed->Task;
        anyRan = RunOne(task, sender,
                        [&]() -> std::optional<TRunResult> {
                            return task.ExecuteInPlaceOf(owed->Start, moment.Now);
                        }) ||
                 anyRan;
    }
    if (anyRan && OnTasksExecuted)
        OnTasksExecuted(sender);
}

bool TQMTaskScheduler::RunOne(TQMTask& task, QObject* sender,
                              const std::function<std::optional<TRunResult>()>& run) {
    std::optional<TRunResult> result;
    try {
        result = run();
    } catch (...) {
        lastRuns_.push_back(&task);
        if (OnRunFailed)
            OnRunFailed(task, MessageOf(std::current_exception()));
        // The failing task and those that ran before it carry new stamps:
        // they are saved with this poll, or a restart the same day would
        // run them again. The tasks after it wait for the next poll.
        if (OnTasksExecuted)
            OnTasksExecuted(sender);
        throw;
    }
    if (!result)
        return false;
    lastRuns_.push_back(&task);
    if (*result != TRunResult::Executed && OnRunFailed)
        OnRunFailed(task, RunResultText(*result));
    return true;
}

void TQMTaskScheduler::ArmPreciseTimer(const TScheduleMoment& moment) {
    // A window that opens before the poll after next gets its own timer.
    // Each poll decides again, so an edit or a clock step leaves no timer
    // behind; a task that is due now runs in this poll.
    constexpr long long horizonMs = 2 * PollIntervalMs;
    const TDateTime horizon = moment.Now + static_cast<double>(horizonMs) / dt::MSecsPerDay;
    // The next day's windows matter only when the horizon reaches past midnight.
    std::optional<TDateTime> soonest =
        FirstOpeningAfter(moment, dt::DatePart(horizon) != moment.Day);
    if (soonest && *soonest > horizon)
        soonest.reset();
    if (!soonest) {
        precise_->stop();
        return;
    }
    // Rounded up: the timer never fires before the window opens by itself.
    const double waitMs = std::ceil((*soonest - moment.Now) * dt::MSecsPerDay);
    precise_->start(static_cast<int>(std::clamp(waitMs, 0.0, static_cast<double>(horizonMs))));
}

void TQMTaskScheduler::LookForMissedStarts(const TScheduleMoment& moment,
                                           const dt::ClockReadings& clocks) {
    TPollGap gap;
    gap.Now = moment.Now;
    gap.After = clocks;
    if (offSince_) {
        gap.Since = *offSince_;
        gap.ProgramWasOff = true;
        offSince_.reset();
    } else if (polled_) {
        gap.Since = lastPoll_;
        gap.Before = lastClocks_;
    } else {
        gap.Since = moment.Now; // the first poll has nothing to look back on
    }
    // The desktop and the network settle after a start or a resume before
    // anything is caught up.
    if (gap.ProgramWasOff ||
        (polled_ && clocks.SuspendedMs - lastClocks_.SuspendedMs >= StartWindowMs))
        catchUpNotBeforeMs_ = clocks.MonotonicMs + CatchUpSettleMs;
    polled_ = true;
    lastPoll_ = moment.Now;
    lastClocks_ = clocks;
    if (!CanHideAWindow(gap))
        return;

    std::vector<TMissedReport> reports;
    for (const std::unique_ptr<TQMTask>& task : tasks_) {
        const std::optional<TMissedStart> missed = DecideMissedStart(*task, gap);
        if (!missed)
            continue;
        // A clock set back and forward again shows the same start twice.
        auto [told, isNew] = told_.try_emplace(task.get(), missed->Start);
        if (!isNew && told->second == missed->Start)
            continue;
        told->second = missed->Start;
        task->LogResult("missed its start at " +
                        dt::FormatDateTime("yyyy-mmm-dd hh:nn", missed->Start) + ": " +
                        MissCauseText(missed->Cause));
        switch (missed->CatchUp) {
        case TCatchUp::Run: {
            std::erase_if(owed_, [&](const TOwed& owed) { return owed.Task == task.get(); });
            owed_.insert(std::upper_bound(
                             owed_.begin(), owed_.end(), missed->Start,
                             [](TDateTime start, const TOwed& owed) { return start < owed.Start; }),
                         {task.get(), missed->Start});
            break;
        }
        case TCatchUp::NextStartServes:
            task->LogResult("not caught up: the next start serves it");
            break;
        case TCatchUp::TooOld:
            task->LogResult("not caught up: the start is more than 7 days old");
            break;
        case TCatchUp::No:
            break;
        }
        reports.push_back({task.get(), *missed});
    }
    if (!reports.empty() && OnStartsMissed)
        OnStartsMissed(reports);
}

std::optional<TQMTaskScheduler::TOwed>
TQMTaskScheduler::TakeCatchUp(const TScheduleMoment& moment, const dt::ClockReadings& clocks) {
    while (!owed_.empty() && clocks.MonotonicMs >= catchUpNotBeforeMs_) {
        const TOwed owed = owed_.front();
        owed_.erase(owed_.begin());
        TQMTask& task = *owed.Task;
        // Changed, switched off or run meanwhile: nothing is owed any more.
        if (!task.Active || task.ScheduleChanged >= owed.Start ||
            task.HasRunOn(dt::DatePart(owed.Start)))
            continue;
        switch (CatchUpAt(task, owed.Start, moment.Now)) {
        case TCatchUp::Run:
            catchUpNotBeforeMs_ = clocks.MonotonicMs + CatchUpSpacingMs;
            return owed;
        case TCatchUp::NextStartServes:
            task.LogResult("not caught up: the next start serves it");
            break;
        case TCatchUp::TooOld:
            task.LogResult("not caught up: the start is more than 7 days old");
            break;
        case TCatchUp::No:
            break;
        }
    }
    return std::nullopt;
}

void TQMTaskScheduler::TimerTick() {
    std::string message;
    try {
        Tick(timer_.get());
        return;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Unknown error";
    }
    // Shown after the poll has returned: a box opened inside the timer's
    // handler would hold back every later poll until it is closed. The timer
    // is the context, so nothing is called once the list is gone.
    QTimer::singleShot(0, timer_.get(), [this, message] { ReportPollError(message); });
}

void TQMTaskScheduler::ReportPollError(const std::string& message) {
    try {
        if (OnPollError) {
            OnPollError(message);
            return;
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
    } catch (...) {
    }
    std::cerr << message << '\n';
}

TQMTask* TQMTaskScheduler::TaskOfRun(const TRunRecord& run) const {
    if (run.TaskGuid.empty())
        return nullptr;
    for (const auto& task : tasks_)
        if (task->Guid == run.TaskGuid)
            return task.get();
    return nullptr;
}

void TQMTaskScheduler::RunReported(const TRunRecord& run) {
    if (run.Outcome != TRunOutcome::Running) {
        if (TQMTask* task = TaskOfRun(run)) {
            task->LastResult = ResultText(run);
            task->LastRunFailed = IsFailure(run);
        }
    }
    if (OnRunRecorded)
        OnRunRecorded(run);
}

QTimer* TQMTaskScheduler::Timer() const {
    return timer_.get();
}

QTimer* TQMTaskScheduler::PreciseTimer() const {
    return precise_.get();
}
