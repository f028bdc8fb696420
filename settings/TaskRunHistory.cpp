#include "settings/TaskRunHistory.h"

#include "platform/files.h"
#include "platform/runoutput.h"
#include "scheduler/classQMTaskScheduler.h"

#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <unordered_set>
#include <vector>

TTaskRunHistory::TTaskRunHistory(TQMTaskScheduler& taskList, const std::string& folder)
    : taskList_(taskList), folder_(folder), history_(folder + FileBaseName),
      flush_(std::make_unique<QTimer>()) {
    // A zero timer fires once the poll (or the command) that queued records
    // has returned: one transaction for all of them, outside the poll.
    flush_->setSingleShot(true);
    flush_->setInterval(0);
    QObject::connect(flush_.get(), &QTimer::timeout, flush_.get(), [this] { Flush(); });
    // Records a busy database refused go with the next poll.
    QObject::connect(taskList_.Timer(), &QTimer::timeout, flush_.get(), [this] {
        if (history_.Pending() > 0)
            FlushSoon();
    });
    taskList_.OnPrepareRun = [this](TRunRecord& run) {
        run.Id = history_.NewRunId();
        // The name alone tells the run, should its record never be written.
        run.OutputFile = folder_ + OutputFilePrefix + std::to_string(run.Id) + "-" + run.TaskGuid +
                         "-" + std::to_string(std::llround(run.Start * dt::MSecsPerDay)) + ".out";
    };
    taskList_.OnRunRecorded = [this](const TRunRecord& run) { Recorded(run); };
}

TTaskRunHistory::~TTaskRunHistory() {
    taskList_.OnPrepareRun = nullptr;
    taskList_.OnRunRecorded = nullptr;
}

bool TTaskRunHistory::Open() {
    (void)platform::ForceDirectories(folder_);
    const bool opened = history_.Open();
    if (!opened)
        return false;
    // An output file left now belongs to a run whose start never reached the
    // database (the scheduler was killed right after it): its name gives the
    // task and the start, and the run is recorded as unknown.
    std::vector<TRunRecord> unknown = history_.TakeAdoptedRuns();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(OutputFilePrefix) || !name.ends_with(".out"))
            continue;
        const std::string middle =
            name.substr(std::string_view(OutputFilePrefix).size(),
                        name.size() - std::string_view(OutputFilePrefix).size() - 4);
        const auto first = middle.find('-');
        const auto last = middle.rfind('-');
        if (first != std::string::npos && last > first) {
            TRunRecord run;
            run.Id = history_.NewRunId();
            run.TaskGuid = middle.substr(first + 1, last - first - 1);
            for (int i = 0; i < taskList_.Count(); ++i)
                if (taskList_.GetTask(i)->Guid == run.TaskGuid)
                    run.TaskName = taskList_.GetTask(i)->TaskName;
            run.HowStarted = "unknown";
            run.Start = std::strtoll(middle.c_str() + last + 1, nullptr, 10) / dt::MSecsPerDay;
            run.End = run.Start;
            run.Outcome = TRunOutcome::Unknown;
            (void)platform::ReadFileTail(entry.path().string(), RunOutputTailBytes, run.Output);
            history_.Record(run);
            unknown.push_back(std::move(run));
        }
        (void)platform::DeleteFile(entry.path().string());
    }
    // Made only when a task with old runs is asked about.
    std::unordered_set<std::string_view> live;
    history_.ForgetDeletedTasks(
        [&](const std::string& guid) {
            if (live.empty())
                for (int i = 0; i < taskList_.Count(); ++i)
                    live.insert(taskList_.GetTask(i)->Guid);
            return live.contains(guid);
        },
        dt::Now());
    Flush();
    // An end seen only now is the task's last result like any other.
    for (const TRunRecord& run : unknown) {
        if (TQMTask* task = taskList_.TaskOfRun(run)) {
            task->LastResult = ResultText(run);
            task->LastRunFailed = IsFailure(run);
        }
        if (OnRunEnded)
            OnRunEnded(run);
    }
    return true;
}

void TTaskRunHistory::Recorded(const TRunRecord& run) {
    history_.Record(run);
    FlushSoon();
    if (run.Outcome != TRunOutcome::Running && OnRunEnded)
        OnRunEnded(run);
}

void TTaskRunHistory::FlushSoon() {
    if (!flush_->isActive())
        flush_->start();
}

void TTaskRunHistory::Flush() {
    (void)history_.Flush();
    if (!history_.SetAsideFileName().empty() && history_.SetAsideFileName() != reportedSetAside_) {
        reportedSetAside_ = history_.SetAsideFileName();
        if (OnSetAside)
            OnSetAside(reportedSetAside_);
    }
}
