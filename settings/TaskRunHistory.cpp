#include "settings/TaskRunHistory.h"

#include "platform/files.h"
#include "scheduler/classQMTaskScheduler.h"

#include <QTimer>

#include <filesystem>
#include <set>

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
        run.OutputFile = folder_ + OutputFilePrefix + std::to_string(run.Id) + ".out";
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
    // Output files of runs whose start never reached the database (the
    // scheduler was killed right after the start) belong to no record.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(OutputFilePrefix) && name.ends_with(".out"))
            (void)platform::DeleteFile(entry.path().string());
    }
    std::set<std::string> live;
    for (int i = 0; i < taskList_.Count(); ++i)
        live.insert(taskList_.GetTask(i)->Guid);
    history_.ForgetDeletedTasks(live, dt::Now());
    Flush();
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
