#include "history/RunHistory.h"

#include "history/RunJournal.h"
#include "platform/files.h"
#include "platform/runoutput.h"
#include "platform/textfile.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace history {

namespace {

constexpr int SchemaVersion = 2;
// Marks the file as this program's history ("QMTS").
constexpr int ApplicationId = 0x514d5453;
// A poll never waits long for a database another program holds.
constexpr int BusyTimeoutMs = 20;
// What the queue may hold while nothing can be written.
constexpr std::size_t PendingLimit = 10000;

const char* const CreateSchema = R"(
CREATE TABLE IF NOT EXISTS runs (
    id INTEGER PRIMARY KEY,
    task TEXT NOT NULL,
    name TEXT NOT NULL,
    how TEXT NOT NULL,
    start REAL NOT NULL,
    end REAL NOT NULL,
    duration_ms INTEGER NOT NULL,
    outcome INTEGER NOT NULL,
    code INTEGER NOT NULL,
    detail TEXT NOT NULL,
    result TEXT NOT NULL,
    output_file TEXT NOT NULL,
    tries INTEGER NOT NULL DEFAULT 1
);
-- Output tails apart from the runs: removing the oldest frees whole pages,
-- which later runs use again.
CREATE TABLE IF NOT EXISTS outputs (
    id INTEGER PRIMARY KEY,
    output BLOB NOT NULL
);
CREATE INDEX IF NOT EXISTS runs_by_task ON runs (task, id);
CREATE INDEX IF NOT EXISTS runs_running ON runs (id) WHERE outcome = 0;
CREATE TABLE IF NOT EXISTS tasks (
    task TEXT PRIMARY KEY,
    last_start REAL NOT NULL
);
)";

// A prepared statement, finalised on every path.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int Prepared() const { return rc_; }
    sqlite3_stmt* get() const { return stmt_; }
    void Text(int i, const std::string& s) {
        sqlite3_bind_text(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    void Blob(int i, const std::string& s) {
        sqlite3_bind_blob(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    void Int(int i, long long v) { sqlite3_bind_int64(stmt_, i, v); }
    void Real(int i, double v) { sqlite3_bind_double(stmt_, i, v); }
    int Step() { return sqlite3_step(stmt_); }
    std::string ColumnText(int i) const {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, i));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i)))
                 : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_ERROR;
};

bool IsCorruption(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// Another connection holds the database for a moment: the same connection
// tries again. After any other failure (read-only, full, an I/O error) the
// next try opens the file again, as it is then.
bool IsBusy(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// A run that was going when its scheduler ended: its end is not known; what
// its output file holds is kept.
void EndAsUnknown(TRun& run) {
    run.Outcome = TOutcome::Unknown;
    if (!run.OutputFile.empty())
        (void)platform::ReadFileTail(run.OutputFile, RunOutputTailBytes, run.Output);
}

TRun ReadRun(const Statement& s) {
    TRun run;
    run.Id = sqlite3_column_int64(s.get(), 0);
    run.TaskGuid = s.ColumnText(1);
    run.TaskName = s.ColumnText(2);
    run.HowStarted = s.ColumnText(3);
    run.Start = sqlite3_column_double(s.get(), 4);
    run.End = sqlite3_column_double(s.get(), 5);
    run.Outcome = static_cast<TOutcome>(sqlite3_column_int(s.get(), 6));
    run.Code = sqlite3_column_int(s.get(), 7);
    run.Detail = s.ColumnText(8);
    run.Output = s.ColumnText(9);
    run.OutputFile = s.ColumnText(10);
    run.ElapsedMs = sqlite3_column_int64(s.get(), 11);
    run.Tries = sqlite3_column_int(s.get(), 12);
    return run;
}

const char* const SelectColumns =
    "SELECT runs.id, task, name, how, start, end, outcome, code, detail, "
    "coalesce(outputs.output, x''), output_file, duration_ms, tries FROM runs LEFT JOIN outputs "
    "USING (id) ";

} // namespace

THistory::THistory(std::string fileName, std::vector<std::string> journals)
    : fileName_(std::move(fileName)), journals_(std::move(journals)) {
    // Numbered from the clock, a thousand a millisecond: runs numbered while
    // the database could not be opened never take the number of a run in it.
    nextId_ = std::max(1LL, std::llround(dt::Now() * dt::MSecsPerDay) * 1000);
}

THistory::~THistory() {
    (void)Flush();
    SaveJournal();
    Close();
}

void THistory::ReadJournals() {
    journalsRead_ = true;
    for (const std::string& journal : journals_) {
        std::string bytes;
        if (platform::ReadWholeFile(journal, bytes) != 0)
            continue;
        for (TRun& run : DecodeJournal(bytes)) {
            nextId_ = std::max(nextId_, run.Id + 1);
            if (run.Outcome == TOutcome::Running) {
                EndAsUnknown(run);
                adopted_.push_back(run);
            }
            // A later journal holds a later state, but never a start after its end.
            const auto queued = pending_.find(run.Id);
            if (queued == pending_.end() || run.Outcome != TOutcome::Unknown ||
                queued->second.Outcome == TOutcome::Unknown)
                Record(run);
        }
        afterCommit_.insert(journal);
    }
}

void THistory::SaveJournal() {
    if (pending_.empty())
        return;
    std::vector<TRun> runs;
    for (const auto& [id, run] : pending_)
        runs.push_back(run);
    const std::string bytes = EncodeJournal(runs);
    for (const std::string& journal : journals_)
        if (platform::WriteFileAtomically(journal, bytes) == 0) {
            // One journal holds them all; one read earlier may be left behind.
            for (const std::string& other : journals_)
                if (other != journal)
                    (void)platform::DeleteFile(other);
            return;
        }
}

void THistory::Close() {
    if (db_ != nullptr)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool THistory::Exec(const char* sql) {
    if (db_ == nullptr)
        return false;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        return true;
    return HandleError(rc);
}

// Notes the failure; a corrupt database is closed so that Open sets it aside.
// Always false, for the caller to pass on.
bool THistory::HandleError(int code) {
    error_ = code;
    problem_ = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    if (IsCorruption(code))
        corrupt_ = true;
    return false;
}

bool THistory::OpenFile() {
    corrupt_ = false;
    foreign_ = false;
    // SQLite gives its journal files the mode of the database file: made
    // here for its owner alone, every file of the history is.
    if (!platform::FileExists(fileName_))
        (void)platform::CreatePrivateFile(fileName_);
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        platform::MakeFilePrivate(fileName_ + suffix);
    const int rc = sqlite3_open_v2(fileName_.c_str(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        HandleError(rc);
        Close();
        return false;
    }
    sqlite3_busy_timeout(db_, BusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    // Reading the schema is the first real look at the file: a file that is
    // no database fails here.
    if (!Exec("SELECT count(*) FROM sqlite_master")) {
        Close();
        return false;
    }
    if (IsForeign()) {
        foreign_ = true;
        problem_ = "the file holds another program's tables";
        Close();
        return false;
    }
    // WAL needs shared memory that a network file system may not give; the
    // rollback journal works everywhere.
    {
        Statement mode(db_, "PRAGMA journal_mode=WAL");
        wal_ = mode.Prepared() == SQLITE_OK && mode.Step() == SQLITE_ROW &&
               mode.ColumnText(0) == "wal";
    }
    if (!wal_)
        (void)Exec("PRAGMA journal_mode=DELETE");
    (void)Exec("PRAGMA synchronous=NORMAL");
    // The log of a busy day is cut back after each checkpoint.
    (void)Exec("PRAGMA journal_size_limit=4194304");
    if (!Migrate()) {
        Close();
        return false;
    }
    if (!HasOwnShape()) {
        foreign_ = true;
        problem_ = "the file holds another program's tables";
        Close();
        return false;
    }
    return true;
}

bool THistory::IsForeign() {
    Statement s(db_, "SELECT (SELECT count(*) FROM sqlite_master), "
                     "(SELECT user_version FROM pragma_user_version), "
                     "(SELECT application_id FROM pragma_application_id)");
    if (s.Prepared() != SQLITE_OK || s.Step() != SQLITE_ROW)
        return false;
    const long long objects = sqlite3_column_int64(s.get(), 0);
    const int version = sqlite3_column_int(s.get(), 1);
    const int application = sqlite3_column_int(s.get(), 2);
    return (objects > 0 && version == 0) || (application != 0 && application != ApplicationId);
}

bool THistory::HasOwnShape() {
    for (const char* sql :
         {"SELECT id, task, name, how, start, end, duration_ms, outcome, code, "
          "detail, result, output_file, tries FROM runs LIMIT 0",
          "SELECT id, output FROM outputs LIMIT 0", "SELECT task, last_start FROM tasks LIMIT 0"}) {
        Statement s(db_, sql);
        if (s.Prepared() != SQLITE_OK)
            return false;
    }
    return true;
}

bool THistory::Migrate() {
    Statement version(db_, "PRAGMA user_version");
    if (version.Prepared() != SQLITE_OK || version.Step() != SQLITE_ROW)
        return HandleError(sqlite3_errcode(db_));
    const int found = sqlite3_column_int(version.get(), 0);
    if (found > SchemaVersion) {
        problem_ = "the history was written by a newer version; it is left as it is";
        return false;
    }
    // Each step takes the schema one version further, in one transaction.
    auto step = [this](const char* sql) {
        if (!Exec("BEGIN IMMEDIATE"))
            return false;
        if (!Exec(sql)) {
            (void)Exec("ROLLBACK");
            return false;
        }
        return Exec("COMMIT");
    };
    if (found < 1)
        return step((std::string(CreateSchema) + "PRAGMA user_version=2; PRAGMA application_id=" +
                     std::to_string(ApplicationId) + ";")
                        .c_str());
    if (found < 2)
        return step("ALTER TABLE runs ADD COLUMN tries INTEGER NOT NULL DEFAULT 1; "
                    "PRAGMA user_version=2;");
    return true;
}

void THistory::Recover() {
    Close();
    if (SetAside(".corrupt-") && OpenFile())
        return;
    Close();
}

bool THistory::SetAside(const char* why) {
    const std::string kept = fileName_ + why + dt::FormatDateTime("yyyymmdd-hhnnsszzz", dt::Now());
    if (std::rename(fileName_.c_str(), kept.c_str()) != 0)
        return false;
    // The journal files belong to the file set aside.
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        const std::string from = fileName_ + suffix;
        if (platform::FileExists(from))
            (void)std::rename(from.c_str(), (kept + suffix).c_str());
    }
    setAside_ = kept;
    return true;
}

bool THistory::Open() {
    if (!journalsRead_)
        ReadJournals();
    Close();
    problem_.clear();
    // Only what start needs is read: the newest identifier and the runs left
    // running, both through indexes; the history itself is not.
    auto readLast = [this] {
        Statement last(db_, "SELECT coalesce(max(id), 0) FROM runs");
        const int rc = last.Prepared() == SQLITE_OK ? last.Step() : last.Prepared();
        if (rc != SQLITE_ROW)
            return HandleError(rc);
        nextId_ = std::max(nextId_, sqlite3_column_int64(last.get(), 0) + 1);
        return true;
    };
    if (!OpenFile() || !readLast()) {
        Close();
        const char* why = corrupt_ ? ".corrupt-" : foreign_ ? ".foreign-" : nullptr;
        if (why == nullptr || !SetAside(why) || !OpenFile() || !readLast()) {
            Close();
            return false;
        }
    }
    // Once: a database opened again later holds this scheduler's own runs.
    if (!tookUp_) {
        tookUp_ = true;
        TakeClaims();
        AdoptUnfinishedRuns();
    }
    return true;
}

void THistory::Claim(const TRun& run) {
    nextId_ = std::max(nextId_, run.Id + 1);
    claimed_.push_back(run);
    if (tookUp_ && db_ != nullptr)
        TakeClaims();
}

void THistory::TakeClaims() {
    Statement known(db_, "SELECT outcome, task FROM runs WHERE id = ?1");
    if (known.Prepared() != SQLITE_OK)
        return;
    for (TRun& run : claimed_) {
        // A queued record (from a journal) says more than the file alone.
        if (pending_.count(run.Id) != 0)
            continue;
        known.Int(1, run.Id);
        const int rc = known.Step();
        bool held = rc == SQLITE_ROW;
        const bool ended = held && sqlite3_column_int(known.get(), 0) != 0;
        // A number another task's run has (given before the database opened,
        // by an older version) is not this run's.
        if (held && known.ColumnText(1) != run.TaskGuid) {
            held = false;
            run.Id = NewRunId();
        }
        sqlite3_reset(known.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            continue;
        if (held && ended) {
            // Written, but the scheduler ended before it removed the file.
            (void)platform::DeleteFile(run.OutputFile);
        } else if (!held) {
            EndAsUnknown(run);
            Record(run);
            adopted_.push_back(run);
        }
        // A run held as running is taken up with the others left running.
    }
    claimed_.clear();
}

void THistory::AdoptUnfinishedRuns() {
    // One scheduler per settings file: what is still running here was
    // started by one that has ended, and its end is not known.
    std::vector<TRun> unfinished;
    {
        Statement s(db_,
                    (std::string(SelectColumns) + "WHERE outcome = 0 ORDER BY runs.id").c_str());
        if (s.Prepared() != SQLITE_OK)
            return;
        int rc;
        while ((rc = s.Step()) == SQLITE_ROW)
            unfinished.push_back(ReadRun(s));
        if (rc != SQLITE_DONE)
            HandleError(rc);
    }
    for (TRun& run : unfinished) {
        if (pending_.count(run.Id) != 0)
            continue;
        EndAsUnknown(run);
        Record(run);
        adopted_.push_back(run);
    }
}

long long THistory::NewRunId() {
    return nextId_++;
}

void THistory::Record(const TRun& run) {
    if (run.Outcome != TOutcome::Running && !run.OutputFile.empty())
        afterCommit_.insert(run.OutputFile);
    // Nothing can be written for long: the oldest queued records give way.
    if (pending_.size() >= PendingLimit && pending_.count(run.Id) == 0)
        pending_.erase(pending_.begin());
    pending_[run.Id] = run;
}

bool THistory::Flush() {
    if (pending_.empty() && claimed_.empty() && afterCommit_.empty())
        return true;
    if ((db_ == nullptr || reopen_) && !Open())
        return false;
    reopen_ = false;
    auto failed = [this] {
        if (corrupt_)
            Recover();
        else
            reopen_ = !IsBusy(error_);
        return false;
    };
    if (!Exec("BEGIN IMMEDIATE"))
        return failed();
    bool ok = true;
    {
        Statement put(db_, "INSERT OR REPLACE INTO runs (id, task, name, how, start, end, "
                           "duration_ms, outcome, code, detail, result, output_file, tries) "
                           "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)");
        Statement putOutput(db_, "INSERT OR REPLACE INTO outputs (id, output) VALUES (?1, ?2)");
        Statement trimOutputs(db_, "DELETE FROM outputs WHERE id IN (SELECT id FROM runs WHERE "
                                   "task = ?1 ORDER BY id DESC LIMIT -1 OFFSET ?2)");
        Statement trim(db_, "DELETE FROM runs WHERE task = ?1 AND id NOT IN "
                            "(SELECT id FROM runs WHERE task = ?1 ORDER BY id DESC LIMIT ?2)");
        Statement seen(db_,
                       "INSERT INTO tasks (task, last_start) VALUES (?1, ?2) ON CONFLICT "
                       "(task) DO UPDATE SET last_start = max(last_start, excluded.last_start)");
        ok = put.Prepared() == SQLITE_OK && trim.Prepared() == SQLITE_OK &&
             seen.Prepared() == SQLITE_OK && putOutput.Prepared() == SQLITE_OK &&
             trimOutputs.Prepared() == SQLITE_OK;
        if (!ok)
            HandleError(sqlite3_errcode(db_));
        std::map<std::string, TDateTime> tasks;
        for (auto it = pending_.begin(); ok && it != pending_.end(); ++it) {
            const TRun& r = it->second;
            put.Int(1, r.Id);
            put.Text(2, r.TaskGuid);
            put.Text(3, r.TaskName);
            put.Text(4, r.HowStarted);
            put.Real(5, r.Start);
            put.Real(6, r.End);
            put.Int(7, DurationMs(r));
            put.Int(8, static_cast<int>(r.Outcome));
            put.Int(9, r.Code);
            put.Text(10, r.Detail);
            put.Text(11, ResultText(r));
            // An ended run's file goes once this commits.
            put.Text(12, r.Outcome == TOutcome::Running ? r.OutputFile : std::string());
            put.Int(13, r.Tries);
            int rc = put.Step();
            sqlite3_reset(put.get());
            if (rc == SQLITE_DONE && !r.Output.empty()) {
                putOutput.Int(1, r.Id);
                putOutput.Blob(2, r.Output);
                rc = putOutput.Step();
                sqlite3_reset(putOutput.get());
            }
            if (rc != SQLITE_DONE)
                ok = HandleError(rc);
            auto [entry, added] = tasks.emplace(r.TaskGuid, r.Start);
            if (!added)
                entry->second = std::max(entry->second, r.Start);
        }
        for (auto it = tasks.begin(); ok && it != tasks.end(); ++it) {
            trimOutputs.Text(1, it->first);
            trimOutputs.Int(2, RunsKeptPerTask);
            trim.Text(1, it->first);
            trim.Int(2, RunsKeptPerTask);
            seen.Text(1, it->first);
            seen.Real(2, it->second);
            int rc = trimOutputs.Step();
            if (rc == SQLITE_DONE)
                rc = trim.Step();
            if (rc == SQLITE_DONE)
                rc = seen.Step();
            sqlite3_reset(trimOutputs.get());
            sqlite3_reset(trim.get());
            sqlite3_reset(seen.get());
            if (rc != SQLITE_DONE)
                ok = HandleError(rc);
        }
    }
    if (ok)
        ok = Exec("COMMIT");
    if (!ok) {
        (void)sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return failed();
    }
    pending_.clear();
    for (const std::string& file : afterCommit_)
        (void)platform::DeleteFile(file);
    afterCommit_.clear();
    problem_.clear();
    KeepUnderSizeLimit();
    return true;
}

void THistory::KeepUnderSizeLimit() {
    auto usedBytes = [this]() -> long long {
        Statement s(db_, "SELECT (SELECT page_count FROM pragma_page_count) - "
                         "(SELECT freelist_count FROM pragma_freelist_count), "
                         "(SELECT page_size FROM pragma_page_size)");
        if (s.Prepared() != SQLITE_OK || s.Step() != SQLITE_ROW)
            return 0;
        return sqlite3_column_int64(s.get(), 0) * sqlite3_column_int64(s.get(), 1);
    };
    // The oldest output tails go first; the records of the runs stay. Freed
    // pages are used again, so the file stops growing.
    for (int round = 0; round < 100 && usedBytes() > SizeLimitBytes; ++round) {
        if (!Exec(
                "DELETE FROM outputs WHERE id IN (SELECT id FROM outputs ORDER BY id LIMIT 500)") ||
            sqlite3_changes(db_) == 0)
            break;
    }
}

std::vector<TRun> THistory::RunsOf(const std::string& taskGuid) {
    std::map<long long, TRun, std::greater<>> runs;
    if (db_ != nullptr) {
        Statement s(db_,
                    (std::string(SelectColumns) + "WHERE task = ?1 ORDER BY runs.id DESC LIMIT ?2")
                        .c_str());
        if (s.Prepared() == SQLITE_OK) {
            s.Text(1, taskGuid);
            s.Int(2, RunsKeptPerTask);
            while (s.Step() == SQLITE_ROW) {
                TRun run = ReadRun(s);
                runs.emplace(run.Id, std::move(run));
            }
        }
    }
    for (const auto& [id, run] : pending_)
        if (run.TaskGuid == taskGuid)
            runs[id] = run;
    std::vector<TRun> newest;
    for (auto& [id, run] : runs) {
        if (newest.size() == static_cast<std::size_t>(RunsKeptPerTask))
            break;
        newest.push_back(std::move(run));
    }
    return newest;
}

std::vector<TRun> THistory::AllRuns() {
    std::vector<TRun> runs;
    if (db_ == nullptr)
        return runs;
    Statement s(db_, (std::string(SelectColumns) + "ORDER BY runs.id").c_str());
    while (s.Prepared() == SQLITE_OK && s.Step() == SQLITE_ROW)
        runs.push_back(ReadRun(s));
    return runs;
}

bool THistory::IsIntact() {
    if (db_ == nullptr)
        return false;
    Statement check(db_, "PRAGMA integrity_check");
    return check.Prepared() == SQLITE_OK && check.Step() == SQLITE_ROW &&
           check.ColumnText(0) == "ok" && check.Step() == SQLITE_DONE;
}

void THistory::ForgetDeletedTasks(const std::function<bool(const std::string& guid)>& isLive,
                                  TDateTime now) {
    if (db_ == nullptr)
        return;
    // Few tasks have runs old enough to be forgotten: ask for those, not for
    // every task of the list.
    std::vector<std::string> gone;
    {
        Statement old(db_, "SELECT task FROM tasks WHERE last_start < ?1");
        old.Real(1, now - DeletedTaskDays);
        int rc;
        while ((rc = old.Step()) == SQLITE_ROW) {
            std::string guid = old.ColumnText(0);
            if (!isLive(guid))
                gone.push_back(std::move(guid));
        }
        if (rc != SQLITE_DONE) {
            HandleError(rc);
            return;
        }
    }
    if (gone.empty() || !Exec("BEGIN IMMEDIATE"))
        return;
    bool ok = true;
    {
        Statement outputs(db_,
                          "DELETE FROM outputs WHERE id IN (SELECT id FROM runs WHERE task = ?1)");
        Statement runs(db_, "DELETE FROM runs WHERE task = ?1");
        Statement tasks(db_, "DELETE FROM tasks WHERE task = ?1");
        for (const std::string& guid : gone)
            for (Statement* s : {&outputs, &runs, &tasks}) {
                if (!ok)
                    break;
                s->Text(1, guid);
                ok = s->Step() == SQLITE_DONE;
                sqlite3_reset(s->get());
            }
        if (!ok)
            HandleError(sqlite3_errcode(db_));
    }
    if (!(ok && Exec("COMMIT")))
        (void)sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

} // namespace history
