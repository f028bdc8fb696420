#pragma once

#include "scheduler/MissedStart.h"
#include "scheduler/StartJournal.h"
#include "scheduler/classQMTask.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class QObject;
class QTimer;

// The ordered list of all tasks with the timer that polls them every 2000 ms.
// The list owns its tasks.
//
// A poll looks only at the tasks whose start window is open: the list keeps
// the day's windows in the order they open, made again when the day changes
// and after the list or a task may have changed. A task is taken to change
// through the pointer GetTask hands out; one changed through a pointer kept
// from before must be announced with TaskChanged.
class TQMTaskScheduler {
public:
    // Called after a poll in which at least one task ran; gets the sender of
    // the timer event.
    using TNotifyEvent = std::function<void(QObject* sender)>;
    // Gets the message of an error that ended a timer-driven poll.
    using TErrorEvent = std::function<void(const std::string& message)>;
    // Gets a task of a poll whose start failed and the reason, in words.
    using TRunFailedEvent = std::function<void(const TQMTask& task, const std::string& reason)>;
    // Gets every run of a task when it starts and when it ends.
    using TRunEvent = std::function<void(const TRunRecord& run)>;
    // Gets the starts that one look found missed, one per task.
    struct TMissedReport {
        const TQMTask* Task = nullptr;
        TMissedStart Missed;
    };
    using TStartsMissedEvent = std::function<void(const std::vector<TMissedReport>& missed)>;

    static constexpr int PollIntervalMs = 2000;

    // Polling starts at the end of construction.
    TQMTaskScheduler();
    virtual ~TQMTaskScheduler();
    TQMTaskScheduler(const TQMTaskScheduler&) = delete;
    TQMTaskScheduler& operator=(const TQMTaskScheduler&) = delete;

    std::unique_ptr<TQMTask> CreateTask() const;
    virtual bool IsValidIndex(int index) const;
    virtual void CheckIndex(int index) const;
    void CheckTask(const TQMTask* task) const;
    // The task at the index, which the caller may change.
    TQMTask* GetTask(int index) const;
    // The task at the index, to read only.
    const TQMTask& At(int index) const;
    // A listed task was changed through a pointer kept from before.
    void TaskChanged() const;
    TQMTask* AddNewTask();
    // Takes ownership; raises when the task is missing.
    TQMTask* AddTask(std::unique_ptr<TQMTask> task);
    // Appends a copy of the task; the given task stays with its owner.
    TQMTask* AddCopy(const TQMTask* task);
    virtual void DeleteTask(int index);
    virtual void RemoveTask(const TQMTask* task);
    virtual void ClearTasks();
    int IndexOf(const TQMTask* task) const;
    // Appends one task per section of a version-1 task file, after the
    // tasks already in the list.
    void ImportVersion1(const std::string& path);
    int Count() const;

    // The program last ran until `lastRunning` (from the settings file): the
    // next poll looks for starts missed since then.
    void LookForStartsMissedSince(TDateTime lastRunning);
    // Up to when starts have been looked for, to be saved as the moment the
    // program last ran: a start after it that no run stands for is told at
    // the next start, also when the program ends before its next look.
    TDateTime LookedUntil(TDateTime now) const;
    // Catch-ups waiting for their turn (the listed tasks' CatchUpOwed).
    std::size_t OwedCatchUps() const;

    // Every poll makes its starts durable in the journal (one synced write)
    // before it starts their programs; null: no journal.
    void UseStartJournal(TStartJournal* journal) { journal_ = journal; }
    // What the journal of an earlier run holds, after the settings file was
    // loaded: stamps the file lacks are taken over, so no start is made
    // twice; a start whose program never started is told missed at the next
    // poll and caught up under the usual rule.
    void RecallClaims(const std::vector<TRecalledClaim>& recalled);

    // One poll: every due task runs, in list order, then one catch-up whose
    // turn has come, then one notification. A failed start is told and the
    // poll goes on; its error reaches OnPollError after the poll.
    void Tick(QObject* sender);
    // The tasks that ran (or failed to) in the last poll, in the order they ran.
    const std::vector<TQMTask*>& LastPollRuns() const { return lastRuns_; }

    // The earliest opening of a listed task's start window after the moment,
    // on its day or the next (a window opening at midnight included); none
    // when no window opens by then. A window counts when the schedule rule
    // could make its task due in it: active, its day, not yet run that day.
    std::optional<TDateTime> NextWindowOpening(TDateTime after) const;

    // What the polling timer runs: Tick, with an error that ends the poll
    // handed to OnPollError by a queued call, after the poll has returned,
    // instead of crossing the event loop. Polls go on meanwhile.
    void TimerTick();

    // The polling timer (owned).
    QTimer* Timer() const;
    // The single-shot timer for a window that opens before the next poll:
    // the task starts then, not up to a poll later. Set again by every poll.
    QTimer* PreciseTimer() const;

    TNotifyEvent OnTasksExecuted;
    // Set by the main window to show the error; without it the message goes
    // to standard error. Errors never cross the event loop.
    TErrorEvent OnPollError;
    // Told of every failed start of a poll (missing file, nothing to open it,
    // a launcher error), before a launcher error goes on to OnPollError.
    // OnTasksExecuted also follows a poll that changed what is owed.
    TRunFailedEvent OnRunFailed;
    // Gives a new run its history identifier and output file (the history's
    // wiring sets it); without it the output is not kept.
    TRunWatch::TPrepare OnPrepareRun;
    // Told of every run's start and end, after the task's last result is set.
    TRunEvent OnRunRecorded;

    // The programs of tasks still running.
    TRunWatch& Runs() const { return *runs_; }
    // The listed task a run belongs to; null when it is gone.
    TQMTask* TaskOfRun(const TRunRecord& run) const;
    // Told of the starts a poll found missed (after their log lines).
    TStartsMissedEvent OnStartsMissed;

private:
    struct TOwed {
        TQMTask* Task = nullptr;
        TDateTime Start = 0;
    };

    // One start window of the day, for a task that may run in it.
    struct TDueWindow {
        long long OpenMs = 0;
        long long CloseMs = 0;
        int ListIndex = 0;
    };
    // The windows of one day, by opening.
    struct TDueOrder {
        TDateTime Day = -1;
        dt::SkippedTimes Skipped;
        std::vector<TDueWindow> Windows;
        long long LongestMs = 0; // the longest window
    };
    void BuildDueOrder(const TScheduleMoment& moment, TDueOrder& order) const;
    // The moment's day's order, made again when stale or of another day.
    const TDueOrder& DueOrderAt(const TScheduleMoment& moment) const;
    // The first opening after the moment on its day, else (when asked) on
    // the next.
    std::optional<TDateTime> FirstOpeningAfter(const TScheduleMoment& moment, bool orNextDay) const;
    // The tasks whose window is open at the moment, in list order.
    std::vector<int> OpenWindows(const TScheduleMoment& moment) const;

    void ReportPollError(const std::string& message);
    void ArmPreciseTimer(const TScheduleMoment& moment, const dt::ClockReadings& clocks);
    // The catch-up's turn comes before the precise timer would fire.
    void ArmForCatchUp(const dt::ClockReadings& clocks);
    void LookForMissedStarts(const TScheduleMoment& moment, const dt::ClockReadings& clocks);
    // Logs the missed start and owes or refuses its catch-up.
    void TellMissed(TQMTask& task, const TMissedStart& missed, std::vector<TMissedReport>& reports);
    // The tasks owing a catch-up, earliest missed start first.
    const std::vector<TQMTask*>& OwedIndex() const;
    // The next catch-up whose turn has come and that still stands; nothing
    // when none. Catch-ups that no longer stand are dropped.
    std::optional<TOwed> TakeCatchUp(const TScheduleMoment& moment,
                                     const dt::ClockReadings& clocks);
    // Runs one task of the poll; a start that failed is told, and its error
    // kept for after the poll.
    bool RunOne(TQMTask& task, const std::function<std::optional<TRunResult>()>& run,
                std::vector<std::string>& errors);

    void RunReported(const TRunRecord& run);

    std::unique_ptr<QTimer> timer_;
    std::unique_ptr<QTimer> precise_;
    std::unique_ptr<TRunWatch> runs_;
    std::vector<std::unique_ptr<TQMTask>> tasks_;

    bool polled_ = false;
    TDateTime lastPoll_ = 0;
    dt::ClockReadings lastClocks_;
    std::optional<TDateTime> offSince_;
    long long catchUpNotBeforeMs_ = 0; // monotonic
    // Starts made durable by an earlier run whose programs never started.
    std::vector<TOwed> unstarted_;
    TStartJournal* journal_ = nullptr;
    // The claim of the start in flight, until its attempt is written.
    std::optional<TStartClaim> inFlight_;
    // Writes the attempt of the start in flight, once.
    void StartAttempted(bool givenUp);
    bool owedChanged_ = false;
    // The last start told missed, per task: each is told once.
    std::unordered_map<const TQMTask*, TDateTime> told_;

    std::vector<TQMTask*> lastRuns_;
    // Grows with every change of the list itself (a task added or gone).
    std::uint64_t listChanges_ = 0;
    mutable TDueOrder due_;
    mutable TDueOrder nextDay_; // the day after due_'s, made when asked for
    mutable bool dueStale_ = true;
    mutable std::vector<TQMTask*> owedIndex_;
    mutable bool owedStale_ = true;
};
