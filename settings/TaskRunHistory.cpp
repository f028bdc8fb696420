#include "settings/TaskRunHistory.h"

#include "platform/files.h"
#include "platform/runoutput.h"
#include "scheduler/MissedStart.h"
#include "scheduler/classQMTaskScheduler.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <unordered_set>

namespace {

// This history's name in the user's run-time folder: the database's
// canonical path in a digest, the same for every path that leads to it.
std::string SpareBase(const std::string& database, const platform::RuntimeRoots& roots) {
    const platform::RuntimeFolder runtime = platform::UserRuntimeFolder(roots);
    if (runtime.Path.empty())
        return {};
    const std::string canonical = platform::CanonicalPath(database);
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray::fromRawData(canonical.data(), static_cast<qsizetype>(canonical.size())),
        QCryptographicHash::Sha256);
    return runtime.Path + "/qmtaskscheduler2-" + digest.toHex().left(32).toStdString();
}

} // namespace

TTaskRunHistory::TTaskRunHistory(TQMTaskScheduler& taskList, const std::string& folder,
                                 const platform::RuntimeRoots& runtimeRoots)
    : taskList_(taskList), folder_(folder),
      spareBase_(SpareBase(folder + FileBaseName, runtimeRoots)),
      history_(folder + FileBaseName,
               spareBase_.empty() ? std::vector<std::string>{folder + FileBaseName + JournalSuffix}
                                  : std::vector<std::string>{folder + FileBaseName + JournalSuffix,
                                                             spareBase_ + JournalSuffix}),
      flush_(std::make_unique<QTimer>()) {
    // A zero timer fires once the poll (or the command) that queued records
    // has returned: one transaction for all of them, outside the poll.
    flush_->setSingleShot(true);
    flush_->setInterval(0);
    QObject::connect(flush_.get(), &QTimer::timeout, flush_.get(), [this] { Flush(); });
    // Records the database refused go with the next poll.
    QObject::connect(taskList_.Timer(), &QTimer::timeout, flush_.get(), [this] {
        if (history_.Waiting() > 0)
            FlushSoon();
    });
    taskList_.OnPrepareRun = [this](TRunRecord& run) { PrepareRun(run); };
    taskList_.OnRunRecorded = [this](const TRunRecord& run) { Recorded(run); };
}

TTaskRunHistory::~TTaskRunHistory() {
    taskList_.OnPrepareRun = nullptr;
    taskList_.OnRunRecorded = nullptr;
}

void TTaskRunHistory::PrepareRun(TRunRecord& run) {
    run.Id = history_.NewRunId();
    // The name alone tells the run, should its record never be written.
    const std::string name = std::to_string(run.Id) + "-" + run.TaskGuid + "-" +
                             std::to_string(std::llround(run.Start * dt::MSecsPerDay)) + ".out";
    // The output is a convenience: a folder that takes no file (read-only,
    // no free inodes, over quota) never stops the program from starting.
    const std::string beside = folder_ + OutputFilePrefix + name;
    if (platform::CreatePrivateFile(beside) == 0) {
        run.OutputFile = beside;
        return;
    }
    const std::string spare = spareBase_ + "-run-" + name;
    if (!spareBase_.empty() && platform::CreatePrivateFile(spare) == 0) {
        run.OutputFile = spare;
        return;
    }
    // The output still reaches the record; only a crash of this program
    // would lose it now.
    run.OutputFile.clear();
}

void TTaskRunHistory::TakeUpLeftOutput(const std::string& folder, const std::string& prefix) {
    // An output file left now belongs to a run of a scheduler that ended
    // before the run did, or before its record was written: its name gives
    // the run, the task and the start.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix) || !name.ends_with(".out"))
            continue;
        const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        const auto first = middle.find('-');
        const auto last = middle.rfind('-');
        if (first == std::string::npos || last <= first ||
            std::strtoll(middle.c_str(), nullptr, 10) <= 0) {
            (void)platform::DeleteFile(entry.path().string());
            continue;
        }
        TRunRecord run;
        run.Id = std::strtoll(middle.c_str(), nullptr, 10);
        run.TaskGuid = middle.substr(first + 1, last - first - 1);
        for (int i = 0; i < taskList_.Count(); ++i)
            if (taskList_.At(i).Guid == run.TaskGuid)
                run.TaskName = taskList_.At(i).TaskName;
        run.HowStarted = "unknown";
        run.Start = static_cast<double>(std::strtoll(middle.c_str() + last + 1, nullptr, 10)) /
                    dt::MSecsPerDay;
        run.End = run.Start;
        run.OutputFile = entry.path().string();
        history_.Claim(run);
    }
}

bool TTaskRunHistory::Open() {
    (void)platform::ForceDirectories(folder_);
    TakeUpLeftOutput(folder_, OutputFilePrefix);
    if (const auto slash = spareBase_.rfind('/'); slash != std::string::npos)
        TakeUpLeftOutput(spareBase_.substr(0, slash + 1), spareBase_.substr(slash + 1) + "-run-");
    const bool opened = history_.Open();
    if (opened) {
        // Made only when a task with old runs is asked about.
        std::unordered_set<std::string_view> live;
        history_.ForgetDeletedTasks(
            [&](const std::string& guid) {
                if (live.empty())
                    for (int i = 0; i < taskList_.Count(); ++i)
                        live.insert(taskList_.At(i).Guid);
                return live.contains(guid);
            },
            dt::Now());
    }
    Flush();
    return opened;
}

void TTaskRunHistory::Recorded(const TRunRecord& run) {
    TRunRecord record = run;
    // A program file that is missing is looked for at every poll of the
    // start window: one run, with the number of tries.
    const auto retrying = retrying_.find(run.TaskGuid);
    if (run.Outcome == TRunOutcome::NotStarted &&
        run.HowStarted == RunKindText(TRunKind::Scheduled)) {
        if (retrying != retrying_.end() && retrying->second.Detail == run.Detail &&
            (run.Start - retrying->second.Start) * dt::MSecsPerDay <= StartWindowMs) {
            record.Id = retrying->second.Id;
            record.Start = retrying->second.Start;
            record.Tries = retrying->second.Tries + 1;
        }
        retrying_[run.TaskGuid] = record;
    } else if (retrying != retrying_.end()) {
        retrying_.erase(retrying);
    }
    if (record.Tries > 1)
        if (TQMTask* task = taskList_.TaskOfRun(record))
            task->LastResult = ResultText(record);
    history_.Record(record);
    FlushSoon();
    if (record.Outcome != TRunOutcome::Running && OnRunEnded)
        OnRunEnded(record);
}

void TTaskRunHistory::FlushSoon() {
    if (!flush_->isActive())
        flush_->start();
}

void TTaskRunHistory::Flush() {
    (void)history_.Flush();
    // An end seen only now is the task's last result like any other.
    for (const TRunRecord& run : history_.TakeAdoptedRuns()) {
        if (TQMTask* task = taskList_.TaskOfRun(run)) {
            task->LastResult = ResultText(run);
            task->LastRunFailed = IsFailure(run);
        }
        if (OnRunEnded)
            OnRunEnded(run);
    }
    if (!history_.SetAsideFileName().empty() && history_.SetAsideFileName() != reportedSetAside_) {
        reportedSetAside_ = history_.SetAsideFileName();
        if (OnSetAside)
            OnSetAside(reportedSetAside_);
    }
    auto state = std::make_tuple(history_.IsOpen(), history_.Waiting(), history_.Problem());
    if (state != reportedState_) {
        reportedState_ = std::move(state);
        if (OnStateChanged)
            OnStateChanged();
    }
}
