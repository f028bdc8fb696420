#pragma once

#include "history/RunHistory.h"
#include "platform/locks.h"

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>

class QTimer;
class TQMTaskScheduler;

// Wires the task list's run reports to the run history beside the settings
// file: every start and end is queued, and what one poll queued is written
// in one transaction right after it; records the database does not take wait
// and are tried again at every poll. Nothing of it can stop a run.
class TTaskRunHistory {
public:
    static constexpr const char* FileBaseName = "qmtaskscheduler2-history.sqlite";
    // A run's output file: this, its number, task, start and ".out", beside
    // the database, or in the user's run-time folder when none can be made
    // there.
    static constexpr const char* OutputFilePrefix = "qmtaskscheduler2-run-";
    // Records still waiting when the history ends, beside the database.
    static constexpr const char* JournalSuffix = ".waiting";

    // folder: where the settings file lives, ending in '/'; runtimeRoots:
    // where the user's run-time folder is looked for.
    TTaskRunHistory(TQMTaskScheduler& taskList, const std::string& folder,
                    const platform::RuntimeRoots& runtimeRoots = {});
    ~TTaskRunHistory();
    TTaskRunHistory(const TTaskRunHistory&) = delete;
    TTaskRunHistory& operator=(const TTaskRunHistory&) = delete;

    history::THistory& History() { return history_; }

    // Takes up what an earlier scheduler left (output files, waiting
    // records), opens the database and drops the runs of tasks deleted long
    // ago. False when it could not be opened; runs go on regardless, their
    // records wait.
    bool Open();
    // Called with every run that has ended.
    std::function<void(const TRunRecord& run)> OnRunEnded;
    // Called when a corrupt database was set aside (its new name).
    std::function<void(const std::string& setAsideFile)> OnSetAside;
    // Called when the database opened, or the records waiting for it or the
    // reason changed (History(): IsOpen, Waiting, Problem).
    std::function<void()> OnStateChanged;

private:
    void PrepareRun(TRunRecord& run);
    void TakeUpLeftOutput(const std::string& folder, const std::string& prefix);
    void Recorded(const TRunRecord& run);
    void FlushSoon();
    void Flush();

    TQMTaskScheduler& taskList_;
    std::string folder_;
    // Output files and waiting records that the settings folder cannot take
    // go to the run-time folder under this name; empty when there is none.
    std::string spareBase_;
    history::THistory history_;
    std::unique_ptr<QTimer> flush_;
    std::string reportedSetAside_;
    std::tuple<bool, std::size_t, std::string> reportedState_{true, 0, {}};
    // The run of a task's start window that tries again to find its file.
    std::unordered_map<std::string, TRunRecord> retrying_;
};
