#include "scheduler/classQMTaskScheduler.h"

#include "lib/QMException.h"
#include "platform/clock.h"
#include "platform/files.h"
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

long long Ms(TDateTime value) {
    return std::llround(value * dt::MSecsPerDay);
}

// The instant (ms since 1970 UTC) of a local time.
long long InstantOf(TDateTime local) {
    const dt::DateTimeFields f = dt::DecodeDateTime(local);
    return platform::InstantOfLocalTime(
        {f.Year, f.Month, f.Day, f.Hour, f.Minute, f.Second, f.Millisecond});
}

// The instant of the present local time: of the hour that comes twice in
// autumn, the pass the machine's clock is in.
long long InstantOfNow(TDateTime now, long long wallMs) {
    const long long first = InstantOf(now);
    const long long later = first + 3600000;
    const platform::LocalTime t = platform::LocalTimeAt(later);
    const dt::DateTimeFields f = dt::DecodeDateTime(now);
    const bool twice = t.year == f.Year && t.month == f.Month && t.day == f.Day &&
                       t.hour == f.Hour && t.minute == f.Minute && t.second == f.Second;
    return twice && std::llabs(later - wallMs) < std::llabs(first - wallMs) ? later : first;
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
    owedStale_ = true;
    return tasks_[static_cast<std::size_t>(index)].get();
}

const TQMTask& TQMTaskScheduler::At(int index) const {
    CheckIndex(index);
    return *tasks_[static_cast<std::size_t>(index)];
}

void TQMTaskScheduler::TaskChanged() const {
    dueStale_ = true;
    owedStale_ = true;
}

TQMTask* TQMTaskScheduler::AddNewTask() {
    return AddTask(CreateTask());
}

TQMTask* TQMTaskScheduler::AddTask(std::unique_ptr<TQMTask> task) {
    CheckTask(task.get());
    tasks_.push_back(std::move(task));
    ++listChanges_;
    dueStale_ = true;
    owedStale_ = true;
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
    std::erase_if(unstarted_, [task](const TOwed& owed) { return owed.Task == task; });
    told_.erase(task);
    tasks_.erase(tasks_.begin() + index);
    ++listChanges_;
    dueStale_ = true;
    owedStale_ = true;
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

TDateTime TQMTaskScheduler::LookedUntil(TDateTime now) const {
    if (offSince_)
        return std::min(*offSince_, now);
    return polled_ ? std::min(lastPoll_, now) : now;
}

void TQMTaskScheduler::RecallClaims(const std::vector<TRecalledClaim>& recalled) {
    std::unordered_map<std::string, TQMTask*> byGuid;
    for (const auto& task : tasks_)
        byGuid.emplace(task->Guid, task.get());
    for (const TRecalledClaim& r : recalled) {
        const auto found = byGuid.find(r.Claim.Guid);
        if (found == byGuid.end() || r.GivenUp)
            continue;
        TQMTask& task = *found->second;
        // The settings file already holds this start, or a later one.
        if (Ms(r.Claim.Stamp) <= Ms(task.DateTimeLastExecuted))
            continue;
        // A start of its own that never started keeps its day taken: which
        // of the two it was is not known for sure, and a start is made at
        // most once. A catch-up that never started takes nothing.
        if (r.Attempted || r.Claim.Served == 0) {
            task.DateTimeLastExecuted = r.Claim.Stamp;
            task.OccurrenceServed = r.Claim.Served;
        }
        if (!r.Attempted) {
            std::erase_if(unstarted_, [&](const TOwed& owed) { return owed.Task == &task; });
            unstarted_.push_back({&task, r.Claim.Start});
        } else if (task.CatchUpOwed > 0 &&
                   (r.Claim.Served == 0 || task.CatchUpOwed <= r.Claim.Served)) {
            task.CatchUpOwed = 0;
        }
    }
    dueStale_ = true;
    owedStale_ = true;
}

std::size_t TQMTaskScheduler::OwedCatchUps() const {
    const std::vector<TQMTask*>& index = OwedIndex();
    return static_cast<std::size_t>(std::count_if(
        index.begin(), index.end(), [](const TQMTask* task) { return task->CatchUpOwed > 0; }));
}

const std::vector<TQMTask*>& TQMTaskScheduler::OwedIndex() const {
    if (owedStale_) {
        owedIndex_.clear();
        for (const auto& task : tasks_)
            if (task->CatchUpOwed > 0)
                owedIndex_.push_back(task.get());
        std::stable_sort(
            owedIndex_.begin(), owedIndex_.end(),
            [](const TQMTask* a, const TQMTask* b) { return a->CatchUpOwed < b->CatchUpOwed; });
        owedStale_ = false;
    }
    return owedIndex_;
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
    ArmPreciseTimer(moment, clocks);
    owedChanged_ = false;
    LookForMissedStarts(moment, clocks);
    lastRuns_.clear();

    // What the poll starts: the due tasks in list order, then one catch-up.
    // Each start whose program file is there is claimed in the journal, in
    // one durable write, before any program starts: a crash after it can
    // lose a start, never make one twice.
    struct TStart {
        TQMTask* Task;
        std::optional<TOwed> InPlaceOf;
        std::optional<TStartClaim> Claim;
    };
    std::vector<TStart> starts;
    for (const int i : OpenWindows(moment)) {
        TQMTask* task = tasks_[static_cast<std::size_t>(i)].get();
        if (task->IsDue(moment))
            starts.push_back({task, std::nullopt, std::nullopt});
    }
    if (const std::optional<TOwed> owed = TakeCatchUp(moment, clocks))
        starts.push_back({owed->Task, owed, std::nullopt});
    std::vector<TStartClaim> claims;
    for (TStart& start : starts) {
        if (!platform::FileExists(start.Task->TaskFileName))
            continue; // not stamped: "file not found" is tried again
        TStartClaim claim{start.Task->Guid, moment.Now, 0, 0};
        if (start.InPlaceOf) {
            claim.Served = claim.Start = start.InPlaceOf->Start;
        } else {
            claim.Start =
                moment.Day + static_cast<double>(start.Task->StartWindowOn(moment.Skipped).OpenMs) /
                                 dt::MSecsPerDay;
        }
        start.Claim = claim;
        claims.push_back(claim);
    }
    // A journal that cannot be written stops no start.
    if (journal_ && !claims.empty())
        static_cast<void>(journal_->Claim(claims));

    bool anyRan = false;
    std::vector<std::string> errors;
    const std::uint64_t listAtStart = listChanges_;
    // The attempt is written right before the program starts: once a
    // process is made, it runs its program even when this one is killed.
    // A kill in between loses the start rather than make it twice.
    TQMTask::TStartingHook outerHook = std::move(TQMTask::StartingHook());
    TQMTask::StartingHook() = [this](const TQMTask& task) {
        if (inFlight_ && task.Guid == inFlight_->Guid)
            StartAttempted(false);
    };
    for (const TStart& start : starts) {
        // A handler that changed the list leaves the rest to the next poll.
        const bool listChanged = listChanges_ != listAtStart;
        inFlight_ = journal_ ? start.Claim : std::nullopt;
        if (!listChanged) {
            TQMTask& task = *start.Task;
            if (start.InPlaceOf) {
                const TDateTime missed = start.InPlaceOf->Start;
                anyRan = RunOne(
                             task,
                             [&]() -> std::optional<TRunResult> {
                                 return task.ExecuteInPlaceOf(missed, moment.Now);
                             },
                             errors) ||
                         anyRan;
            } else {
                anyRan = RunOne(
                             task, [&] { return task.ExecuteIfDue(true, moment); }, errors) ||
                         anyRan;
            }
        }
        // Not started, or failed before its program could start.
        if (inFlight_)
            StartAttempted(listChanged ||
                           Ms(start.Task->DateTimeLastExecuted) != Ms(inFlight_->Stamp));
    }
    TQMTask::StartingHook() = std::move(outerHook);
    ArmForCatchUp(dt::ReadClocks());
    if ((anyRan || owedChanged_) && OnTasksExecuted)
        OnTasksExecuted(sender);
    // Shown after the poll has returned: a box opened inside the timer's
    // handler would hold back every later poll until it is closed. The timer
    // is the context, so nothing is called once the list is gone.
    for (const std::string& message : errors)
        QTimer::singleShot(0, timer_.get(), [this, message] { ReportPollError(message); });
}

bool TQMTaskScheduler::RunOne(TQMTask& task, const std::function<std::optional<TRunResult>()>& run,
                              std::vector<std::string>& errors) {
    std::optional<TRunResult> result;
    std::exception_ptr failure;
    try {
        result = run();
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        // Logged by the task; the failing task keeps its stamp and is not
        // retried that day, and the tasks after it still start.
        lastRuns_.push_back(&task);
        if (OnRunFailed)
            OnRunFailed(task, MessageOf(failure));
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            errors.emplace_back(e.what());
        } catch (...) {
            errors.emplace_back("Unknown error");
        }
        return true;
    }
    if (!result)
        return false;
    lastRuns_.push_back(&task);
    if (*result != TRunResult::Executed && OnRunFailed)
        OnRunFailed(task, RunResultText(*result));
    return true;
}

void TQMTaskScheduler::ArmPreciseTimer(const TScheduleMoment& moment,
                                       const dt::ClockReadings& clocks) {
    // A window that opens before the poll after next gets its own timer.
    // Each poll decides again, so an edit or a clock step leaves no timer
    // behind; a task that is due now runs in this poll.
    constexpr long long horizonMs = 2 * PollIntervalMs;
    // Up to an hour of local time may pass in the real horizon, when the
    // clock jumps forward; the next day's windows matter only when that
    // reaches past midnight.
    const TDateTime localHorizon =
        moment.Now + static_cast<double>(horizonMs + 3600000) / dt::MSecsPerDay;
    const std::optional<TDateTime> soonest =
        FirstOpeningAfter(moment, dt::DatePart(localHorizon) != moment.Day);
    long long waitMs = -1;
    if (soonest && *soonest <= localHorizon) {
        // Waited for on the real instant of the opening: across a
        // daylight-saving jump local time and real time part.
        waitMs = InstantOf(*soonest) - InstantOfNow(moment.Now, clocks.WallMs);
        // An opening in the hour that comes twice, seen from its second pass.
        if (waitMs <= 0)
            waitMs = static_cast<long long>(std::ceil((*soonest - moment.Now) * dt::MSecsPerDay));
    }
    if (waitMs < 0 || waitMs > horizonMs) {
        precise_->stop();
        return;
    }
    // Never before the window opens by itself: the instants are whole
    // milliseconds, the moment may lie within one.
    precise_->start(static_cast<int>(waitMs + 1));
}

void TQMTaskScheduler::ArmForCatchUp(const dt::ClockReadings& clocks) {
    if (OwedCatchUps() == 0)
        return;
    const long long waitMs = std::max(0LL, catchUpNotBeforeMs_ - clocks.MonotonicMs);
    if (waitMs > 2 * PollIntervalMs)
        return;
    if (!precise_->isActive() || waitMs < precise_->remainingTime())
        precise_->start(static_cast<int>(waitMs));
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
    if (gap.ProgramWasOff || !unstarted_.empty() ||
        (polled_ && clocks.SuspendedMs - lastClocks_.SuspendedMs >= StartWindowMs))
        catchUpNotBeforeMs_ = clocks.MonotonicMs + CatchUpSettleMs;
    polled_ = true;
    lastPoll_ = moment.Now;
    lastClocks_ = clocks;

    std::vector<TMissedReport> reports;
    const TDateTime settled = moment.Now + static_cast<double>(CatchUpSettleMs) / dt::MSecsPerDay;
    for (const TOwed& owed : unstarted_) {
        TMissedStart missed;
        missed.Start = owed.Start;
        missed.Cause = TMissCause::EndedBeforeStart;
        missed.CatchUp = CatchUpAt(*owed.Task, owed.Start, moment.Now, settled);
        TellMissed(*owed.Task, missed, reports);
    }
    unstarted_.clear();
    if (CanHideAWindow(gap)) {
        for (const std::unique_ptr<TQMTask>& task : tasks_)
            if (const std::optional<TMissedStart> missed = DecideMissedStart(*task, gap))
                TellMissed(*task, *missed, reports);
    }
    if (!reports.empty() && OnStartsMissed)
        OnStartsMissed(reports);
}

void TQMTaskScheduler::TellMissed(TQMTask& task, const TMissedStart& missed,
                                  std::vector<TMissedReport>& reports) {
    // A clock set back and forward again shows the same start twice.
    auto [told, isNew] = told_.try_emplace(&task, missed.Start);
    if (!isNew && told->second == missed.Start)
        return;
    told->second = missed.Start;
    task.LogResult("missed its start at " + dt::FormatDateTime("yyyy-mmm-dd hh:nn", missed.Start) +
                   ": " + MissCauseText(missed.Cause));
    if (missed.CatchUp == TCatchUp::Run) {
        // Only the latest missed start is owed.
        task.CatchUpOwed = missed.Start;
        owedStale_ = true;
        owedChanged_ = true;
    } else {
        // Told "not caught up": nothing is owed for it any more.
        if (task.CatchUpOwed > 0 && task.CatchUpOwed <= missed.Start) {
            task.CatchUpOwed = 0;
            owedChanged_ = true;
        }
        if (const std::string text = CatchUpText(missed.CatchUp); !text.empty())
            task.LogResult(text);
    }
    reports.push_back({&task, missed});
}

std::optional<TQMTaskScheduler::TOwed>
TQMTaskScheduler::TakeCatchUp(const TScheduleMoment& moment, const dt::ClockReadings& clocks) {
    if (clocks.MonotonicMs < catchUpNotBeforeMs_)
        return std::nullopt;
    for (TQMTask* task : OwedIndex()) {
        const TDateTime start = task->CatchUpOwed;
        if (start <= 0)
            continue; // served meanwhile
        task->CatchUpOwed = 0;
        owedChanged_ = true;
        // Changed, switched off, or caught up meanwhile: nothing is owed any
        // more. What was served never moves back.
        if (!task->Active || task->ScheduleChanged >= start || task->OccurrenceServed >= start)
            continue;
        const TCatchUp outcome = CatchUpAt(*task, start, moment.Now, moment.Now);
        if (outcome == TCatchUp::Run) {
            // Tried once: the poll's claim stands for it from here on.
            catchUpNotBeforeMs_ = clocks.MonotonicMs + CatchUpSpacingMs;
            return TOwed{task, start};
        }
        if (const std::string text = CatchUpText(outcome); !text.empty())
            task->LogResult(text);
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

void TQMTaskScheduler::StartAttempted(bool givenUp) {
    if (!inFlight_)
        return;
    static_cast<void>(journal_->Attempted(*inFlight_, givenUp));
    inFlight_.reset();
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
