#pragma once

#include "lib/RunRecord.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace history {

using TRun = TRunRecord;
using TOutcome = TRunOutcome;

constexpr int RunsKeptPerTask = 100;
constexpr int DeletedTaskDays = 30;
constexpr long long SizeLimitBytes = 256LL * 1024 * 1024;

// The run history: an SQLite database. Records are queued in memory and
// written by Flush, all of one flush in one transaction; a database that is
// busy keeps them queued for the next flush. Nothing here raises: a history
// that cannot be written never stops a run.
class THistory {
public:
    explicit THistory(std::string fileName);
    ~THistory();
    THistory(const THistory&) = delete;
    THistory& operator=(const THistory&) = delete;

    // Opens or creates the database. A file that SQLite finds corrupt is
    // renamed aside (SetAsideFileName) and a new one started. Runs left
    // "running" by an earlier scheduler become "unknown", with the tail of
    // their output file, which is then removed. False when no database could
    // be opened (Problem says why); the queue then only grows to its limit.
    bool Open();
    bool IsOpen() const { return db_ != nullptr; }
    // The runs Open found left "running" and made "unknown", handed out once.
    std::vector<TRun> TakeAdoptedRuns() { return std::exchange(adopted_, {}); }
    const std::string& FileName() const { return fileName_; }

    // A new run's identifier, unique in this database.
    long long NewRunId();
    // Queues the run (a new one or a new state of a queued or written one).
    void Record(const TRun& run);
    // Writes what is queued in one transaction. False when it was not
    // written (busy, locked, no database); the queue stays.
    bool Flush();
    std::size_t Pending() const { return pending_.size(); }

    // The task's runs, newest first, at most RunsKeptPerTask; queued records
    // included.
    std::vector<TRun> RunsOf(const std::string& taskGuid);
    // Every run in the database, oldest first (checks and tools).
    std::vector<TRun> AllRuns();
    // SQLite's full integrity check finds nothing wrong.
    bool IsIntact();
    // Removes the runs of tasks that are not live and whose last run started
    // more than DeletedTaskDays before now.
    void ForgetDeletedTasks(const std::function<bool(const std::string& guid)>& isLive,
                            TDateTime now);

    // Set when a corrupt database was renamed aside; empty otherwise.
    const std::string& SetAsideFileName() const { return setAside_; }
    // The last failure in words; empty when all went well.
    const std::string& Problem() const { return problem_; }
    // Whether the database runs in write-ahead-log mode (not on every file system).
    bool UsesWriteAheadLog() const { return wal_; }

private:
    bool OpenFile();
    void Close();
    bool SetAside();
    // After SQLite found the database corrupt: set it aside, start a new one.
    void Recover();
    bool Migrate();
    void AdoptUnfinishedRuns();
    bool Exec(const char* sql);
    bool HandleError(int code);
    void KeepUnderSizeLimit();

    std::string fileName_;
    sqlite3* db_ = nullptr;
    std::map<long long, TRun> pending_;
    long long nextId_ = 1;
    std::string setAside_;
    std::string problem_;
    std::vector<TRun> adopted_;
    bool wal_ = false;
    bool corrupt_ = false;
};

} // namespace history
