#include "scheduler/RunWatch.h"

#include "platform/files.h"
#include "platform/process.h"
#include "platform/runoutput.h"
#include "scheduler/TaskLog.h"

#include <QSocketNotifier>
#include <QTimer>

namespace {

TRunWatch*& CurrentWatch() {
    static TRunWatch* current = nullptr;
    return current;
}

long long Ms(TDateTime days) {
    return static_cast<long long>(days * dt::MSecsPerDay + 0.5);
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

struct TRunWatch::TChild {
    TRunRecord Run;
    std::string TaskFileName;
    int PidFd = -1;
    int LimitMinutes = 0;
    long long TerminatedAtMs = -1; // clock time of the SIGTERM at the limit
    std::unique_ptr<QSocketNotifier> Notifier;
    ~TChild() {
        Notifier.reset();
        platform::CloseDescriptor(PidFd);
    }
};

TRunWatch::TRunWatch() : timer_(std::make_unique<QTimer>()) {
    timer_->setInterval(CheckIntervalMs);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { Check(); });
    CurrentWatch() = this;
}

TRunWatch::~TRunWatch() {
    if (CurrentWatch() == this)
        CurrentWatch() = nullptr;
    // Runs still going are left to themselves; the history finds them
    // unfinished at the next start.
    timer_->stop();
    runs_.clear();
}

TRunWatch* TRunWatch::Current() {
    return CurrentWatch();
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
    const platform::StartedChild started =
        platform::StartChild(commandLine, folder, run.OutputFile);
    if (started.Error != 0) {
        if (!run.OutputFile.empty())
            (void)platform::DeleteFile(run.OutputFile);
        return started.Error;
    }
    auto child = std::make_unique<TChild>();
    child->Run = std::move(run);
    child->Run.Outcome = TRunOutcome::Running;
    child->TaskFileName = taskFileName;
    child->PidFd = started.PidFd;
    child->LimitMinutes = timeLimitMinutes;
    const int pid = started.Pid;
    if (started.PidFd >= 0) {
        child->Notifier = std::make_unique<QSocketNotifier>(started.PidFd, QSocketNotifier::Read);
        QObject::connect(child->Notifier.get(), &QSocketNotifier::activated, child->Notifier.get(),
                         [this, pid] { Ended(pid); });
    }
    const TRunRecord record = child->Run;
    runs_[pid] = std::move(child);
    if (!timer_->isActive())
        timer_->start();
    Report(record);
    return 0;
}

void TRunWatch::ReportFinished(TRunRecord run, TDateTime now) {
    run.End = now;
    Report(run);
}

void TRunWatch::Check() {
    const long long now = Ms(dt::Now());
    std::vector<int> ended;
    for (auto& [pid, child] : runs_) {
        // Without a process descriptor the end is looked for here.
        if (child->PidFd < 0) {
            ended.push_back(pid);
            continue;
        }
        if (!child->Run.OutputFile.empty())
            (void)platform::BoundAppendedFile(child->Run.OutputFile, OutputFileLimit,
                                              RunOutputTailBytes);
        if (child->LimitMinutes <= 0)
            continue;
        if (child->TerminatedAtMs < 0) {
            if (now - Ms(child->Run.Start) >= child->LimitMinutes * 60'000LL) {
                child->TerminatedAtMs = now;
                platform::SignalProcessGroup(pid, false);
            }
        } else if (now - child->TerminatedAtMs >= KillGraceMs) {
            platform::SignalProcessGroup(pid, true);
        }
    }
    for (int pid : ended)
        Ended(pid);
    if (runs_.empty())
        timer_->stop();
}

void TRunWatch::Ended(int pid) {
    const auto it = runs_.find(pid);
    if (it == runs_.end())
        return;
    const platform::ChildEnd end = platform::ReapChild(pid);
    if (!end.Ended)
        return;
    std::unique_ptr<TChild> child = std::move(it->second);
    runs_.erase(it);
    if (runs_.empty())
        timer_->stop();
    TRunRecord& run = child->Run;
    run.End = dt::Now();
    if (child->TerminatedAtMs >= 0) {
        run.Outcome = TRunOutcome::TimedOut;
        run.Code = child->LimitMinutes;
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
    if (!run.OutputFile.empty())
        (void)platform::ReadFileTail(run.OutputFile, RunOutputTailBytes, run.Output);
    // A run that ends badly gets its line, as a start that fails does.
    if (IsFailure(run)) {
        try {
            WriteTaskLog("task (" + run.TaskName + "): " + ResultText(run) + " (" +
                         child->TaskFileName + ")");
        } catch (...) {
        }
    }
    Report(run);
}

void TRunWatch::Report(const TRunRecord& run) {
    // A report's receiver must not stop the watch: the run is over either way.
    try {
        if (OnReport)
            OnReport(run);
    } catch (...) {
    }
}
