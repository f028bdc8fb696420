#include "history/RunHistory.h"

#include "platform/files.h"
#include "platform/runoutput.h"

#include <sqlite3.h>

#include <cstdio>
#include <utility>

namespace history {

namespace {

constexpr int SchemaVersion = 1;
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
    output_file TEXT NOT NULL
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
    return run;
}

const char* const SelectColumns =
    "SELECT runs.id, task, name, how, start, end, outcome, code, detail, "
    "coalesce(outputs.output, x''), output_file, duration_ms FROM runs LEFT JOIN outputs USING "
    "(id) ";

} // namespace

THistory::THistory(std::string fileName) : fileName_(std::move(fileName)) {}

THistory::~THistory() {
    (void)Flush();
    Close();
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
    problem_ = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    if (IsCorruption(code))
        corrupt_ = true;
    return false;
}

bool THistory::OpenFile() {
    corrupt_ = false;
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
    if (found < 1) {
        if (!Exec("BEGIN IMMEDIATE"))
            return false;
        if (!Exec(CreateSchema) || !Exec("PRAGMA user_version=1")) {
            (void)Exec("ROLLBACK");
            return false;
        }
        if (!Exec("COMMIT"))
            return false;
    }
    return true;
}

void THistory::Recover() {
    Close();
    if (SetAside() && OpenFile())
        return;
    Close();
}

bool THistory::SetAside() {
    const std::string kept =
        fileName_ + ".corrupt-" + dt::FormatDateTime("yyyymmdd-hhnnsszzz", dt::Now());
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
        if (!corrupt_ || !SetAside() || !OpenFile() || !readLast()) {
            Close();
            return false;
        }
    }
    // Identifiers handed out before the database was open may collide.
    std::map<long long, TRun> queued;
    for (auto& [id, run] : pending_) {
        run.Id = nextId_++;
        queued.emplace(run.Id, std::move(run));
    }
    pending_ = std::move(queued);
    AdoptUnfinishedRuns();
    return true;
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
        run.Outcome = TOutcome::Unknown;
        if (!run.OutputFile.empty()) {
            (void)platform::ReadFileTail(run.OutputFile, RunOutputTailBytes, run.Output);
            (void)platform::DeleteFile(run.OutputFile);
            run.OutputFile.clear();
        }
        Record(run);
        adopted_.push_back(run);
    }
}

long long THistory::NewRunId() {
    return nextId_++;
}

void THistory::Record(const TRun& run) {
    // Nothing can be written: the oldest queued records give way.
    if (pending_.size() >= PendingLimit && pending_.count(run.Id) == 0)
        pending_.erase(pending_.begin());
    pending_[run.Id] = run;
}

bool THistory::Flush() {
    if (pending_.empty())
        return true;
    if (db_ == nullptr)
        return false;
    if (!Exec("BEGIN IMMEDIATE")) {
        if (corrupt_)
            Recover();
        return false;
    }
    bool ok = true;
    {
        Statement put(db_, "INSERT OR REPLACE INTO runs (id, task, name, how, start, end, "
                           "duration_ms, outcome, code, detail, result, output_file) "
                           "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
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
            put.Text(12, r.OutputFile);
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
        if (corrupt_)
            Recover();
        return false;
    }
    pending_.clear();
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
