#pragma once

#include "lib/RunRecord.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
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
// written by Flush, all of one flush in one transaction. What cannot be
// written yet (a busy or read-only database, a full disk, a folder that takes
// no files) stays queued, and Flush opens the database again each time until
// it takes them; what still waits when the history ends goes to a journal
// file that the next Open replays. A record's output file is removed only
// once the record is committed. Nothing here raises: a history that cannot
// be written never stops a run.
class THistory {
public:
    // journals: where waiting records are kept at the end, the first that
    // can be written (beside the database first, a spare place after it).
    explicit THistory(std::string fileName, std::vector<std::string> journals = {});
    ~THistory();
    THistory(const THistory&) = delete;
    THistory& operator=(const THistory&) = delete;

    // Opens or creates the database (readable and writable by its owner
    // only, as are its journal files). A file that SQLite finds corrupt, or
    // that holds another program's tables, is renamed aside
    // (SetAsideFileName) and a new one started. The first call replays the
    // journals; the first that opens the database records the runs left
    // "running" by an earlier scheduler, and the claimed runs it does not
    // hold, as "unknown" with the tail of their output. False when no
    // database could be opened (Problem says why).
    bool Open();
    bool IsOpen() const { return db_ != nullptr; }
    // The runs found left "running" (by Open, in the database, a journal or
    // an output file) and made "unknown", handed out once.
    std::vector<TRun> TakeAdoptedRuns() { return std::exchange(adopted_, {}); }
    const std::string& FileName() const { return fileName_; }

    // A new run's identifier, unique in this database.
    long long NewRunId();
    // Queues the run (a new one or a new state of a queued or written one).
    // The output file of a run that has ended is removed once it is written.
    void Record(const TRun& run);
    // A run of an earlier scheduler known only by its output file: the file
    // name gives its identifier, task and start. Recorded as unknown with
    // that output, unless the database holds it already.
    void Claim(const TRun& run);
    // Writes what is queued in one transaction, opening the database first
    // when it is closed or its last write failed (not only busy). False when
    // it was not written; the queue stays.
    bool Flush();
    std::size_t Pending() const { return pending_.size(); }
    // Runs claimed or queued that wait for the database.
    std::size_t Waiting() const { return pending_.size() + claimed_.size(); }

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
    bool SetAside(const char* why);
    // Whether the file holds tables of another program.
    bool IsForeign();
    bool HasOwnShape();
    void ReadJournals();
    void SaveJournal();
    void TakeClaims();
    // After SQLite found the database corrupt: set it aside, start a new one.
    void Recover();
    bool Migrate();
    void AdoptUnfinishedRuns();
    bool Exec(const char* sql);
    bool HandleError(int code);
    void KeepUnderSizeLimit();

    std::string fileName_;
    sqlite3* db_ = nullptr;
    std::vector<std::string> journals_;
    std::map<long long, TRun> pending_;
    std::vector<TRun> claimed_;
    // Output files and replayed journals to remove after the next commit.
    std::set<std::string> afterCommit_;
    long long nextId_ = 1;
    std::string setAside_;
    std::string problem_;
    int error_ = 0; // SQLite's code of the last failure
    std::vector<TRun> adopted_;
    bool wal_ = false;
    bool corrupt_ = false;
    bool foreign_ = false;
    bool reopen_ = false; // the last write failed for more than a busy moment
    bool journalsRead_ = false;
    bool tookUp_ = false;
};

} // namespace history
