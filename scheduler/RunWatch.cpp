#include "scheduler/RunWatch.h"

#include "platform/files.h"
#include "platform/process.h"
#include "platform/runoutput.h"
#include "scheduler/RunScope.h"
#include "scheduler/TaskLog.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

namespace {

TRunWatch*& CurrentWatch() {
    static TRunWatch* current = nullptr;
    return current;
}

} // namespace

const char* RunKindText(TRunKind kind) {
    switch (kind) {
    case TRunKind::Scheduled:
        return "scheduled";
    case TRunKind::ByHand:
        return "by hand";
    case TRunKind::Early:
        return "early";
    case TRunKind::CaughtUp:
        return "caught up";
    }
    return "";
}

namespace {

long long MonotonicMs() {
    return dt::ReadClocks().MonotonicMs;
}

// A notifier is never deleted from its own signal: it is switched off there,
// and deleted with its run, from a queued call.
void SwitchOff(const std::unique_ptr<QSocketNotifier>& notifier) {
    if (notifier)
        notifier->setEnabled(false);
}

} // namespace

struct TRunWatch::TChild {
    TRunRecord Run;
    std::string TaskFileName;
    std::string Marker; // the value of the run's marker in its processes' environment
    std::string Unit;   // its scope; empty without one
    int Pid = -1;
    int PidFd = -1;
    int OutputFd = -1;     // the pipe its processes write to
    int OutputFileFd = -1; // the file the output is kept in while the run goes on
    std::size_t SinceBound = 0;
    std::string Tail;
    int LimitMinutes = 0;
    long long StartMs = 0; // monotonic
    long long EndMs = -1;  // monotonic, when the end was first seen
    TDateTime EndAt = 0;
    long long TerminatedAtMs = -1; // monotonic time of the SIGTERM at the limit
    bool Ended = false;            // the program has ended and its run is reported
    bool Killed = false;           // nothing of it was left after SIGKILL
    std::unique_ptr<QSocketNotifier> EndNotifier;
    std::unique_ptr<QSocketNotifier> OutputNotifier;

    // A run with a limit is kept until the limit has stopped what the
    // program left behind, as a job object or a control group would.
    bool Finished() const { return Ended && OutputFd < 0 && (LimitMinutes <= 0 || Killed); }
    // The file itself stays: the report's receiver removes it once the
    // run's record is safe.
    void CloseOutputFile() {
        platform::CloseDescriptor(OutputFileFd);
        OutputFileFd = -1;
    }
    ~TChild() {
        EndNotifier.reset();
        OutputNotifier.reset();
        platform::CloseDescriptor(PidFd);
        platform::CloseDescriptor(OutputFd);
        platform::CloseDescriptor(OutputFileFd);
    }
};

TRunWatch::TRunWatch() : timer_(std::make_unique<QTimer>()) {
    timer_->setInterval(CheckIntervalMs);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { Check(); });
    CurrentWatch() = this;
    scopes_ = TRunScope::ServiceManagerRuns();
    // What a run leaves behind comes back here, to be stopped at its limit
    // and reaped; a scope does the stopping better, but not the reaping.
    (void)platform::AdoptOrphans();
    AllWatches().push_back(this);
    if (AllWatches().size() == 1)
        ListenForChildEnds();
}

TRunWatch::~TRunWatch() {
    if (CurrentWatch() == this)
        CurrentWatch() = nullptr;
    // Runs still going are left to themselves; the history finds them
    // unfinished at the next start, with the output that went on reaching
    // their files. Their pipes outlive us in a process of their own: closed
    // here, the next write of a program would end it (SIGPIPE).
    timer_->stop();
    std::vector<platform::PipeToDrain> pipes;
    for (const auto& child : runs_)
        if (child->OutputFd >= 0)
            pipes.push_back({child->OutputFd, child->Ended ? -1 : child->OutputFileFd});
    (void)platform::DrainInBackground(pipes, OutputFileLimit, RunOutputTailBytes);
    auto& all = AllWatches();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    const bool listened = childEnds_ != nullptr;
    childEnds_.reset();
    if (listened && !all.empty())
        all.front()->ListenForChildEnds();
    runs_.clear();
}

std::vector<TRunWatch*>& TRunWatch::AllWatches() {
    static std::vector<TRunWatch*> all;
    return all;
}

void TRunWatch::ListenForChildEnds() {
    // One descriptor for the process: one watch listens for all of them.
    const int fd = platform::WatchChildEnds();
    if (fd < 0)
        return;
    childEnds_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(childEnds_.get(), &QSocketNotifier::activated, childEnds_.get(), [fd] {
        platform::DrainDescriptor(fd);
        const std::vector<TRunWatch*> all = AllWatches();
        for (TRunWatch* watch : all)
            watch->SeeEnds();
        all.front()->ReapOrphans();
        for (TRunWatch* watch : all)
            watch->TidySoon();
    });
}

TRunWatch* TRunWatch::Current() {
    return CurrentWatch();
}

int TRunWatch::Running() const {
    return static_cast<int>(
        std::count_if(runs_.begin(), runs_.end(), [](const auto& child) { return !child->Ended; }));
}

TRunRecord TRunWatch::NewRun(const std::string& taskGuid, const std::string& taskName,
                             TRunKind kind, TDateTime now) {
    static long long counter = 0;
    TRunRecord run;
    run.Id = ++counter;
    run.TaskGuid = taskGuid;
    run.TaskName = taskName;
    run.HowStarted = RunKindText(kind);
    run.Start = now;
    if (OnPrepare)
        OnPrepare(run);
    return run;
}

int TRunWatch::StartProgram(TRunRecord run, const std::string& commandLine,
                            const std::string& folder, const std::string& taskFileName,
                            int timeLimitMinutes) {
    auto child = std::make_unique<TChild>();
    child->Marker = std::to_string(platform::OwnPid()) + "-" + std::to_string(++markers_);
    platform::BeforeExec enterScope;
    if (scopes_) {
        enterScope = [&child, &run](int pid) {
            const std::string unit = "qmts-run-" + child->Marker + ".scope";
            if (TRunScope::Enter(pid, unit, "Task " + run.TaskName))
                child->Unit = unit;
        };
    }
    const platform::StartedChild started =
        platform::StartChild(commandLine, folder, child->Marker, enterScope);
    if (started.Error != 0) {
        if (!run.OutputFile.empty())
            (void)platform::DeleteFile(run.OutputFile);
        return started.Error;
    }
    // The program has started (exec has happened) when the call returns.
    child->StartMs = MonotonicMs();
    run.Start = dt::Now();
    child->Run = std::move(run);
    child->Run.Outcome = TRunOutcome::Running;
    child->TaskFileName = taskFileName;
    child->Pid = started.Pid;
    child->PidFd = started.PidFd;
    child->OutputFd = started.OutputFd;
    child->LimitMinutes = timeLimitMinutes;
    if (!child->Run.OutputFile.empty()) {
        child->OutputFileFd = platform::OpenOutputFile(child->Run.OutputFile);
        if (child->OutputFileFd < 0)
            child->Run.OutputFile.clear();
    }
    TChild* raw = child.get();
    if (started.PidFd >= 0) {
        raw->EndNotifier = std::make_unique<QSocketNotifier>(started.PidFd, QSocketNotifier::Read);
        QObject::connect(raw->EndNotifier.get(), &QSocketNotifier::activated,
                         raw->EndNotifier.get(), [this] {
                             SeeEnds();
                             TidySoon();
                         });
    }
    raw->OutputNotifier =
        std::make_unique<QSocketNotifier>(started.OutputFd, QSocketNotifier::Read);
    QObject::connect(raw->OutputNotifier.get(), &QSocketNotifier::activated,
                     raw->OutputNotifier.get(), [this, raw] {
                         ReadOutput(*raw, OutputReadPerWake);
                         TidySoon();
                     });
    const TRunRecord record = raw->Run;
    runs_.push_back(std::move(child));
    if (!timer_->isActive())
        timer_->start();
    Report(record);
    return 0;
}

void TRunWatch::ReportFinished(TRunRecord run, TDateTime now) {
    run.End = now;
    Report(run);
}

void TRunWatch::ReadOutput(TChild& child, std::size_t budget) {
    char buffer[64 * 1024];
    while (child.OutputFd >= 0 && budget > 0) {
        const long got = platform::ReadPipe(child.OutputFd, buffer, sizeof buffer);
        if (got < 0)
            return;
        if (got == 0) {
            // Every process of the run has closed it.
            SwitchOff(child.OutputNotifier);
            platform::CloseDescriptor(child.OutputFd);
            child.OutputFd = -1;
            return;
        }
        const auto size = static_cast<std::size_t>(got);
        budget -= std::min(budget, size);
        // What comes after the run's end has no record to go to.
        if (child.Ended)
            continue;
        child.Tail.append(buffer, size);
        if (child.Tail.size() > 2 * RunOutputTailBytes)
            child.Tail.erase(0, child.Tail.size() - RunOutputTailBytes);
        if (child.OutputFileFd >= 0) {
            (void)platform::AppendOutput(child.OutputFileFd, buffer, size);
            // Checked by size as it grows: the disk it takes stays near the
            // limit whatever the rate.
            child.SinceBound += size;
            if (child.SinceBound >= RunOutputTailBytes) {
                child.SinceBound = 0;
                (void)platform::BoundOutputFile(child.OutputFileFd, OutputFileLimit,
                                                RunOutputTailBytes);
            }
        }
    }
}

int TRunWatch::Stop(TChild& child, bool force) {
    if (!child.Ended)
        platform::SignalProcessGroup(child.Pid, force);
    if (!child.Unit.empty())
        TRunScope::Signal(child.Unit, force);
    // Everything of the run: its session while its program lives (later the
    // number may be another's), the processes that carry its marker (also
    // after setsid or a double fork), and their descendants.
    const std::vector<platform::ProcessInfo> all = platform::ListProcesses();
    const std::string entry = std::string(platform::RunMarkerVariable) + "=" + child.Marker;
    const int me = platform::OwnPid();
    std::vector<int> members;
    for (const platform::ProcessInfo& p : all)
        if (!p.Ended && p.Pid != me &&
            ((p.Session == child.Pid && !child.Ended) ||
             platform::HasEnvironmentEntry(p.Pid, entry)))
            members.push_back(p.Pid);
    for (bool grew = true; grew;) {
        grew = false;
        for (const platform::ProcessInfo& p : all)
            if (!p.Ended && std::find(members.begin(), members.end(), p.Parent) != members.end() &&
                std::find(members.begin(), members.end(), p.Pid) == members.end()) {
                members.push_back(p.Pid);
                grew = true;
            }
    }
    for (int pid : members)
        platform::SignalProcess(pid, force);
    return static_cast<int>(members.size());
}

void TRunWatch::Check() {
    SeeEnds();
    const long long now = MonotonicMs();
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        TChild& child = *runs_[i];
        if (child.LimitMinutes <= 0)
            continue;
        if (child.TerminatedAtMs < 0) {
            if (now - child.StartMs >= child.LimitMinutes * 60'000LL) {
                child.TerminatedAtMs = now;
                child.Killed = Stop(child, false) == 0 && child.Ended;
            }
        } else if (!child.Killed && now - child.TerminatedAtMs >= KillGraceMs) {
            // Again at each check until nothing of it is left: a process may
            // have forked while the list was read.
            child.Killed = Stop(child, true) == 0 && child.Ended;
        }
    }
    // Without SIGCHLD the ends of processes that came back to us are
    // looked for here.
    if (platform::WatchChildEnds() < 0)
        ReapOrphans();
    Tidy();
}

void TRunWatch::SeeEnds() {
    // Every end is stamped before any is handled: handling one (its record,
    // its log line) must not make the ends after it look later.
    const long long now = MonotonicMs();
    const TDateTime at = dt::Now();
    std::vector<TChild*> ended;
    for (const auto& child : runs_) {
        if (child->Ended)
            continue;
        if (child->EndMs < 0 && platform::ChildHasEnded(child->Pid)) {
            child->EndMs = now;
            child->EndAt = at;
        }
        if (child->EndMs >= 0)
            ended.push_back(child.get());
    }
    for (TChild* child : ended)
        Finish(*child);
}

void TRunWatch::Finish(TChild& child) {
    const platform::ChildEnd end = platform::ReapChild(child.Pid);
    if (!end.Ended)
        return;
    SwitchOff(child.EndNotifier);
    // What it wrote before it ended is in the pipe; its descendants may go
    // on writing, so the reading is bounded.
    ReadOutput(child, 4 * OutputReadPerWake);
    child.Ended = true;
    TRunRecord& run = child.Run;
    run.End = child.EndAt;
    run.ElapsedMs = std::max(0LL, child.EndMs - child.StartMs);
    if (child.TerminatedAtMs >= 0) {
        run.Outcome = TRunOutcome::TimedOut;
        run.Code = child.LimitMinutes;
    } else if (end.Lost) {
        run.Outcome = TRunOutcome::Unknown;
    } else if (end.Signaled) {
        run.Outcome = TRunOutcome::Signaled;
        run.Code = end.Code;
        run.Detail = platform::SignalName(end.Code);
    } else {
        run.Outcome = TRunOutcome::Exited;
        run.Code = end.Code;
    }
    run.Output = child.Tail.size() > RunOutputTailBytes
                     ? child.Tail.substr(child.Tail.size() - RunOutputTailBytes)
                     : child.Tail;
    child.Tail.clear();
    child.CloseOutputFile();
    // A run that ends badly gets its line, as a start that fails does.
    if (IsFailure(run)) {
        try {
            WriteTaskLog("task (" + run.TaskName + "): " + ResultText(run) + " (" +
                         child.TaskFileName + ")");
        } catch (...) {
        }
    }
    Report(run);
}

void TRunWatch::ReapOrphans() {
    // Processes that came back to us (their parent ended) are reaped here;
    // children in our own session are not ours to reap (another part of the
    // program waits for them), nor the programs of runs, reaped above.
    const int me = platform::OwnPid();
    const int session = platform::OwnSession();
    for (const platform::ProcessInfo& p : platform::ListProcesses()) {
        if (p.Parent != me || !p.Ended || p.Session == session)
            continue;
        const bool watched =
            std::any_of(AllWatches().begin(), AllWatches().end(), [&](const TRunWatch* watch) {
                return std::any_of(
                    watch->runs_.begin(), watch->runs_.end(),
                    [&](const auto& child) { return child->Pid == p.Pid && !child->Ended; });
            });
        if (!watched)
            (void)platform::ReapChild(p.Pid);
    }
}

void TRunWatch::TidySoon() {
    QMetaObject::invokeMethod(
        timer_.get(), [this] { Tidy(); }, Qt::QueuedConnection);
}

void TRunWatch::Tidy() {
    runs_.erase(std::remove_if(runs_.begin(), runs_.end(),
                               [](const auto& child) { return child->Finished(); }),
                runs_.end());
    // The clock is needed for the ends of programs without a descriptor,
    // limits and the SIGKILL after SIGTERM; an output still open waits for
    // its descriptor alone.
    const bool needed = std::any_of(runs_.begin(), runs_.end(), [](const auto& child) {
        return !child->Ended || (child->LimitMinutes > 0 && !child->Killed);
    });
    if (!needed)
        timer_->stop();
    else if (!timer_->isActive())
        timer_->start();
}

void TRunWatch::Report(const TRunRecord& run) {
    // A report's receiver must not stop the watch: the run is over either way.
    try {
        if (OnReport)
            OnReport(run);
    } catch (...) {
    }
}
