#pragma once

#include "history/RunHistory.h"

#include <functional>
#include <memory>
#include <string>

class QTimer;
class TQMTaskScheduler;

// Wires the task list's run reports to the run history beside the settings
// file: every start and end is queued, and what one poll queued is written
// in one transaction right after it; a busy database keeps its records for
// the next poll. Nothing of it can stop a run.
class TTaskRunHistory {
public:
    static constexpr const char* FileBaseName = "qmtaskscheduler2-history.sqlite";
    // A run's output file: this, its number and ".out", beside the database.
    static constexpr const char* OutputFilePrefix = "qmtaskscheduler2-run-";

    // folder: where the settings file lives, ending in '/'.
    TTaskRunHistory(TQMTaskScheduler& taskList, const std::string& folder);
    ~TTaskRunHistory();
    TTaskRunHistory(const TTaskRunHistory&) = delete;
    TTaskRunHistory& operator=(const TTaskRunHistory&) = delete;

    history::THistory& History() { return history_; }

    // Opens the database and drops the runs of tasks deleted long ago.
    // False when it could not be opened; runs go on regardless.
    bool Open();
    // Called with every run that has ended.
    std::function<void(const TRunRecord& run)> OnRunEnded;
    // Called when a corrupt database was set aside (its new name).
    std::function<void(const std::string& setAsideFile)> OnSetAside;

private:
    void Recorded(const TRunRecord& run);
    void FlushSoon();
    void Flush();

    TQMTaskScheduler& taskList_;
    std::string folder_;
    history::THistory history_;
    std::unique_ptr<QTimer> flush_;
    std::string reportedSetAside_;
};
