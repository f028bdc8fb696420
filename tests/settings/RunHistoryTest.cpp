#include "history/RunHistory.h"
#include "lib/SupportLibrary.h"
#include "scheduler/TaskLog.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/TaskRunHistory.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> OutputFiles(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".out")
            found.push_back(entry.path().string());
    return found;
}

// Every file the history made in the folder is its owner's alone; how many.
int ExpectPrivateFiles(const std::string& folder) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.path().filename().string().starts_with("qmtaskscheduler2"))
            continue;
        ++files;
        EXPECT_EQ(entry.status().permissions() & (fs::perms::group_all | fs::perms::others_all),
                  fs::perms::none)
            << entry.path();
    }
    return files;
}

// No umask takes away what the history would give everybody.
struct TOpenUmask {
    mode_t previous = ::umask(0);
    ~TOpenUmask() { ::umask(previous); }
};

// A folder for the settings folder S, readied by shell commands run beside it
// (S/$D is the database); what is mounted on S or S/$D goes with it.
struct TArea {
    TempDir dir;
    std::string S = dir.File("S/");
    bool Run(const std::string& command) const {
        return std::system(("cd " + dir.Path() + " && D=" + TTaskRunHistory::FileBaseName +
                            " && (" + command + ") >/dev/null 2>&1")
                               .c_str()) == 0;
    }
    ~TArea() { Run("umount -l S/$D; umount -l S"); }
};

// Read-only and full folders are mounts, which need root.
bool CanMount() {
    return TArea().Run("mkdir S && mount -t tmpfs qmts S && umount S");
}

// A task list with its run history in a temporary folder, on a test clock
// that stands at the start time of every daily task added.
struct TScheduler {
    TempDir dir;
    TestClock clock{MakeDateTime(2026, 3, 4, 8, 0, 0)};
    long long monotonicMs = 0; // limits and durations count on it
    std::vector<std::string> log;
    std::vector<TRunRecord> ended;
    std::vector<std::string> setAside;
    // What the status line was told: the runs waiting and why.
    std::vector<std::string> states;
    std::string folder; // of the settings: dir's unless given
    std::unique_ptr<TQMTaskScheduler> list;
    std::unique_ptr<TTaskRunHistory> runs;
    std::vector<TQMTask> kept; // between a stop and the next start

    // With a database file already there when given one.
    platform::RuntimeRoots roots; // of the user's run-time folder
    explicit TScheduler(const std::string& database = {}, const std::string& settingsFolder = {},
                        platform::RuntimeRoots runtimeRoots = {})
        : folder(settingsFolder.empty() ? dir.Path() : settingsFolder),
          roots(std::move(runtimeRoots)) {
        SetTaskLogHandler([this](const std::string& line) { log.push_back(line); });
        dt::SetClockReadings([this] { return dt::ClockReadings{monotonicMs, monotonicMs, 0}; });
        if (!database.empty())
            WriteFile(dir.File(TTaskRunHistory::FileBaseName), database);
        Start();
    }
    ~TScheduler() {
        Stop();
        SetTaskLogHandler({});
        dt::SetClockReadings({});
    }
    // The tasks of the last stop come back, as a load of the settings file
    // brings them.
    void Start() {
        states.clear();
        list = std::make_unique<TQMTaskScheduler>();
        for (const TQMTask& task : kept)
            list->AddCopy(&task);
        kept.clear();
        runs = std::make_unique<TTaskRunHistory>(*list, folder, roots);
        runs->OnRunEnded = [this](const TRunRecord& run) { ended.push_back(run); };
        runs->OnSetAside = [this](const std::string& file) { setAside.push_back(file); };
        runs->OnStateChanged = [this] {
            states.push_back(std::to_string(runs->History().Waiting()) +
                             " waiting: " + runs->History().Problem());
        };
        (void)runs->Open();
    }
    void Stop() {
        runs.reset();
        for (int i = 0; list && i < list->Count(); ++i)
            kept.push_back(*list->GetTask(i));
        list.reset();
    }
    TQMTask* AddScript(const std::string& name, const std::string& body, unsigned mode = 0755,
                       const std::string& extension = ".sh") {
        const std::string path = dir.File(name + extension);
        WriteFile(path, "#!/bin/sh\n" + body + "\n", mode);
        TQMTask* task = list->AddNewTask();
        task->TaskName = name;
        task->Guid = std::string(40 - name.size(), '0') + name;
        task->Daily = true;
        task->DateTime = MakeDateTime(2026, 1, 1, 8, 0);
        task->TaskFileName = path;
        return task;
    }
    // The runs as a second reader finds them in the database file.
    std::vector<TRunRecord> Stored(const std::string& guid) {
        history::THistory reader(folder + TTaskRunHistory::FileBaseName);
        EXPECT_TRUE(reader.Open()) << reader.Problem();
        return reader.RunsOf(guid);
    }
};

} // namespace

// One poll starts a program of every kind of result; each end is seen without
// blocking, reaped, recorded once in the database with its tail of output,
// marked on its task and, when bad, logged. Nothing is left behind.
TEST(RunHistory, RecordsEveryKindOfEndOfRealPrograms) {
    TScheduler s;
    struct TCase {
        std::string Name;
        std::string Body;
        unsigned Mode;
        int LimitMinutes;
        std::string StartIn;
        std::string Result; // for a failed start: its reason
        bool Failed;
    };
    const std::string missing = s.dir.File("gone/");
    const std::vector<TCase> cases{
        {"Three", "echo working; exit 3", 0755, 0, "", "exit status 3", true},
        {"Killed", "kill -KILL $$", 0755, 0, "", "ended by signal 9 (SIGKILL)", true},
        {"Chatty",
         "printf FIRST; head -c 100000 /dev/zero | tr '\\0' x; echo; echo >&2 LAST; exit 0", 0755,
         0, s.dir.Path(), "exit status 0", false},
        {"Limited", "echo waiting; exec sleep 600", 0755, 1, "", "stopped after 1 minute", true},
        // Looked for again at every poll of its window: one run.
        {"Missing", "exit 0", 0755, 0, "", "file not found", true},
        {"Broken", "exit 0", 0644, 0, "", "LastError = 13", true},
        {"Elsewhere", "exit 0", 0755, 0, missing, "Start in folder not found: " + missing, true},
    };
    for (const TCase& c : cases) {
        TQMTask* task = s.AddScript(c.Name, c.Body, c.Mode, c.Mode == 0755 ? ".sh" : ".exe");
        task->TimeLimitMinutes = c.LimitMinutes;
        task->StartIn = c.StartIn;
    }
    fs::remove(s.dir.File("Missing.sh"));
    auto tries = [&] {
        return std::count_if(s.ended.begin(), s.ended.end(),
                             [](const TRunRecord& run) { return run.TaskName == "Missing"; });
    };

    ASSERT_TRUE(WaitUntil([&] { return s.ended.size() - tries() == 5 && tries() >= 2; }));
    // The limit counts on the clock: a minute later the watch stops the run.
    s.clock.AdvanceMs(61'000);
    s.monotonicMs += 61'000;
    ASSERT_TRUE(WaitUntil([&] { return s.ended.size() - tries() == 6; }));
    ASSERT_TRUE(WaitUntil([&] { return s.runs->History().Pending() == 0; }));

    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TQMTask* task = s.list->GetTask(s.list->Count() - 1);
        for (int i = 0; i < s.list->Count(); ++i)
            if (s.list->GetTask(i)->TaskName == c.Name)
                task = s.list->GetTask(i);
        const std::vector<TRunRecord> stored = s.Stored(task->Guid);
        ASSERT_EQ(stored.size(), 1u);
        const TRunRecord& run = stored.front();
        EXPECT_EQ(run.TaskName, c.Name);
        EXPECT_EQ(run.HowStarted, "scheduled");
        EXPECT_EQ(task->LastRunFailed, c.Failed);
        EXPECT_EQ(task->LastResult, ResultText(run));
        EXPECT_EQ(run.Start, MakeDateTime(2026, 3, 4, 8, 0, 0));
        if (run.Outcome == TRunOutcome::NotStarted) {
            EXPECT_NE(run.Detail.find(c.Result), std::string::npos) << run.Detail;
            EXPECT_EQ(run.Tries, c.Name == "Missing" ? tries() : 1);
            EXPECT_EQ(std::count_if(s.log.begin(), s.log.end(),
                                    [&](const std::string& line) {
                                        return line.find(c.Result) != std::string::npos;
                                    }),
                      run.Tries);
            continue;
        }
        EXPECT_EQ(ResultText(run), c.Result);
        const std::string logLine =
            "task (" + c.Name + "): " + c.Result + " (" + s.dir.File(c.Name + ".sh") + ")";
        EXPECT_EQ(std::count(s.log.begin(), s.log.end(), logLine), c.Failed ? 1 : 0);
    }
    const TRunRecord chatty = s.Stored(std::string(34, '0') + "Chatty").front();
    EXPECT_EQ(chatty.Output.size(), RunOutputTailBytes);
    EXPECT_EQ(chatty.Output.substr(chatty.Output.size() - 6), "\nLAST\n");
    EXPECT_EQ(chatty.Output.find("FIRST"), std::string::npos);
    EXPECT_EQ(s.Stored(std::string(35, '0') + "Three").front().Output, "working\n");
    const TRunRecord limited = s.Stored(std::string(33, '0') + "Limited").front();
    EXPECT_EQ(limited.Output, "waiting\n");
    EXPECT_EQ(DurationMs(limited), 61'000);

    EXPECT_EQ(ChildProcesses(), std::vector<long>{});
    EXPECT_EQ(OutputFiles(s.dir.Path()), std::vector<std::string>{});

    // The last results, limits and folders come back from the settings file
    // without the history.
    WriteFile(s.dir.File("qmtaskscheduler2.ini"), "");
    TSupportLibrary supportLibrary;
    auto saved = [&](TQMTaskScheduler& list) {
        auto store = std::make_unique<TQMTaskSchedulerSettings>(list);
        store->Settings().ProgramFolder = s.dir.Path();
        return store;
    };
    const TStoreResult written = saved(*s.list)->Save();
    ASSERT_TRUE(written) << written.Error;
    TQMTaskScheduler reread;
    ASSERT_TRUE(saved(reread)->Load());
    ASSERT_EQ(reread.Count(), s.list->Count());
    for (int i = 0; i < reread.Count(); ++i) {
        const TQMTask& before = *s.list->GetTask(i);
        const TQMTask& after = *reread.GetTask(i);
        EXPECT_EQ(
            std::tie(after.LastResult, after.LastRunFailed, after.TimeLimitMinutes, after.StartIn),
            std::tie(before.LastResult, before.LastRunFailed, before.TimeLimitMinutes,
                     before.StartIn))
            << before.TaskName;
    }
}

// A program that is still running when the scheduler ends goes on; the next
// start records its run as unknown, with the output it wrote so far.
TEST(RunHistory, RecordsARunThatOutlivesTheSchedulerAsUnknownAtTheNextStart) {
    const TOpenUmask umask;
    TScheduler s;
    const std::string guid = s.AddScript("Long", "echo begun; exec sleep 60")->Guid;
    ASSERT_TRUE(WaitUntil([&] {
        const auto runs = s.runs->History().RunsOf(guid);
        return s.runs->History().Pending() == 0 && runs.size() == 1 &&
               runs.front().Outcome == TRunOutcome::Running;
    }));
    ASSERT_TRUE(WaitUntil([&] { return !OutputFiles(s.dir.Path()).empty(); }));
    ASSERT_TRUE(
        WaitUntil([&] { return ReadFile(OutputFiles(s.dir.Path()).front()) == "begun\n"; }));
    // The database, its write-ahead log and shared memory, the output file.
    EXPECT_EQ(ExpectPrivateFiles(s.dir.Path()), 4);
    s.Stop();
    const std::vector<long> children = ChildProcesses();
    // The program, and the process that reads its output on.
    ASSERT_EQ(children.size(), 2u) << "the program ended with the scheduler";

    s.Start();
    const std::vector<TRunRecord> runs = s.Stored(guid);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(ResultText(runs.front()), "unknown");
    EXPECT_EQ(runs.front().Output, "begun\n");
    EXPECT_EQ(OutputFiles(s.dir.Path()), std::vector<std::string>{});
    // Marked on its task as any end is, and told to the window.
    const TQMTask& task = *s.list->GetTask(0);
    EXPECT_EQ(std::tie(task.LastResult, task.LastRunFailed), std::make_tuple("unknown", true));
    ASSERT_EQ(s.ended.size(), 1u);
    EXPECT_EQ(s.ended.front().TaskGuid, guid);

    for (const long child : children) {
        ::kill(-static_cast<pid_t>(child), SIGKILL);
        ::waitpid(static_cast<pid_t>(child), nullptr, 0);
    }
}

// A database file that SQLite finds corrupt is set aside whole, a new one
// takes the runs, the status line is told, and the tasks run as before.
TEST(RunHistory, SetsACorruptDatabaseAsideAndGoesOnRecording) {
    std::string damaged;
    {
        TempDir dir;
        {
            history::THistory earlier(dir.File("earlier.sqlite"));
            ASSERT_TRUE(earlier.Open());
            for (int i = 0; i < 50; ++i) {
                TRunRecord run;
                run.Id = earlier.NewRunId();
                run.TaskGuid = "T" + std::to_string(i);
                run.Outcome = TRunOutcome::Exited;
                run.Output = std::string(2000, 'o');
                earlier.Record(run);
            }
            ASSERT_TRUE(earlier.Flush());
        }
        damaged = ReadFile(dir.File("earlier.sqlite"));
    }
    ASSERT_GT(damaged.size(), 16384u);
    // The header stays; the pages of the table and its index are overwritten.
    for (std::size_t i = 4096; i < 16384; ++i)
        damaged[i] = static_cast<char>(0x55 ^ (i & 0xff));

    TScheduler s(damaged);
    const std::string kept = s.runs->History().SetAsideFileName();
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(s.setAside, std::vector<std::string>{kept});
    EXPECT_EQ(kept.rfind(s.dir.File(TTaskRunHistory::FileBaseName) + ".corrupt-", 0), 0u);
    EXPECT_EQ(ReadFile(kept), damaged);

    const std::string guid = s.AddScript("Fine", "echo fine")->Guid;
    ASSERT_TRUE(WaitUntil([&] { return s.ended.size() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return s.runs->History().Pending() == 0; }));
    EXPECT_EQ(ResultText(s.ended.front()), "exit status 0");
    const std::vector<TRunRecord> stored = s.Stored(guid);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored.front().Output, "fine\n");
}

// Runs of a task that is gone from the list go once its last run is more than
// the kept days old; a listed task keeps its runs however old.
TEST(RunHistory, ForgetsOnlyTasksGoneFromTheListWithOldRuns) {
    TempDir dir;
    history::THistory h(dir.File("runs.sqlite"));
    ASSERT_TRUE(h.Open());
    const TDateTime now = MakeDateTime(2026, 3, 4, 8, 0, 0);
    const struct {
        std::string Guid;
        double DaysAgo;
        bool Listed;
        bool Kept;
    } cases[] = {{"listed-old", 400, true, true},
                 {"gone-recent", history::DeletedTaskDays - 1, false, true},
                 {"gone-old", history::DeletedTaskDays + 1, false, false}};
    for (const auto& c : cases) {
        TRunRecord run;
        run.Id = h.NewRunId();
        run.TaskGuid = c.Guid;
        run.Start = run.End = now - c.DaysAgo;
        run.Outcome = TRunOutcome::Exited;
        h.Record(run);
    }
    ASSERT_TRUE(h.Flush());
    h.ForgetDeletedTasks(
        [&](const std::string& guid) {
            return std::any_of(std::begin(cases), std::end(cases),
                               [&](const auto& c) { return c.Guid == guid && c.Listed; });
        },
        now);
    for (const auto& c : cases)
        EXPECT_EQ(h.RunsOf(c.Guid).size(), c.Kept ? 1u : 0u) << c.Guid;
}

// A settings folder that takes no file never stops a program: its output file
// goes to the user's run-time folder, or there is none, and its record waits.
// A database that cannot take records for a while loses none of them: they
// wait in memory, in a journal over a restart, and go in once it can; a
// database of another program is set aside; the status line says what waits.
TEST(RunHistory, StartsAndRecordsEveryProgramWhateverTheSettingsFolderGoesThrough) {
    if (!CanMount())
        GTEST_SKIP() << "read-only and full folders are made with mounts, which need root";
    const TOpenUmask umask;
    enum { Default, RuntimeFolder, NoRuntimeFolder };
    const struct {
        const char* Name;
        const char* Make;   // the settings folder S
        const char* Refuse; // once S/$D is there; "lock": another program holds it
        const char* Lift;   // after a restart when the lock is held at the end; null: never
        std::string Problem;
        int Roots;
    } cases[] = {
        {"read-only", "mkdir S && mount -t tmpfs -o ro qmts S", "", nullptr, "", RuntimeFolder},
        {"no free inode",
         "mkdir S && mount -t tmpfs -o nr_inodes=4 qmts S && for i in 1 2 3 4; do touch S/$i || "
         "break; done",
         "", nullptr, "", RuntimeFolder},
        {"a file in its place", ": >S", "", nullptr, "", NoRuntimeFolder},
        {"locked while the program ends", "mkdir S", "lock", "", "database is locked", Default},
        {"a read-only database file", "mkdir S",
         "mount --bind S/$D S/$D && mount -o remount,bind,ro S/$D", "umount -l S/$D", "readonly",
         Default},
        {"a full folder at start",
         "mkdir S && mount -t tmpfs -o size=256k qmts S && { dd if=/dev/zero of=S/f; true; }", "",
         "rm S/f", "full", Default},
        {"another program's tables", "mkdir S", "", "", "", Default},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TArea area;
        const std::string database = area.S + TTaskRunHistory::FileBaseName;
        ASSERT_TRUE(area.Run(std::string("mkdir -m 700 run run/$(id -u) && ") + c.Make));
        if (c.Lift && c.Problem.empty()) {
            sqlite3* other = nullptr;
            sqlite3_open(database.c_str(), &other);
            sqlite3_exec(other, "CREATE TABLE runs (x); CREATE TABLE notes (y)", {}, {}, {});
            sqlite3_close(other);
            fs::permissions(database, fs::perms::owner_read | fs::perms::owner_write);
        }
        const std::string before = ReadFile(database);
        // No run-time folder: nothing fits where it is looked for.
        const std::string runtime = area.dir.File("run/") + std::to_string(::getuid());
        const std::string S = area.dir.File("S");
        const platform::RuntimeRoots roots[] = {
            {}, {area.dir.File("run"), runtime, runtime}, {S, S, S}};
        auto s = std::make_unique<TScheduler>(std::string(), area.S, roots[c.Roots]);
        sqlite3* holder = nullptr;
        if (*c.Refuse) {
            s->Stop();
            if (std::string(c.Refuse) == "lock") {
                sqlite3_open(database.c_str(), &holder);
                ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", {}, {}, {}), SQLITE_OK);
            } else {
                ASSERT_TRUE(area.Run(c.Refuse));
            }
            s->Start();
        }
        const std::string guid = s->AddScript("Kept", "echo kept; exit 4")->Guid;
        ASSERT_TRUE(WaitUntil([&] { return s->ended.size() == 1; }));
        EXPECT_EQ(s->ended.front().Output, "kept\n");
        if (!c.Lift) {
            EXPECT_EQ(s->ended.front().OutputFile.empty(), c.Roots == NoRuntimeFolder);
            EXPECT_EQ(ExpectPrivateFiles(runtime), c.Roots == RuntimeFolder ? 1 : 0);
            EXPECT_EQ(s->runs->History().Waiting(), 1u);
            continue;
        }
        if (!c.Problem.empty()) {
            ASSERT_TRUE(WaitUntil(
                [&] { return !s->states.empty() && s->states.back().starts_with("1 waiting: "); }));
            EXPECT_NE(s->states.back().find(c.Problem), std::string::npos) << s->states.back();
            // The output stays on disk until its record is in.
            EXPECT_TRUE(fs::exists(s->ended.front().OutputFile));
        }
        if (holder != nullptr) {
            s->Stop();
            EXPECT_TRUE(fs::exists(database + TTaskRunHistory::JournalSuffix));
            EXPECT_EQ(ExpectPrivateFiles(area.S), 5); // the journal and the output file too
            sqlite3_close_v2(holder);
            s->Start();
        }
        ASSERT_TRUE(!*c.Lift || area.Run(c.Lift));
        ASSERT_TRUE(WaitUntil([&] { return s->runs->History().Waiting() == 0; }));
        // Said until the records are in; a restart has nothing to say.
        EXPECT_TRUE(s->states.empty() || s->states.back() == "0 waiting: ") << s->states.back();
        const std::vector<TRunRecord> stored = s->Stored(guid);
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(ResultText(stored.front()), "exit status 4");
        EXPECT_EQ(stored.front().Output, "kept\n");
        if (c.Problem.empty()) {
            ASSERT_EQ(s->setAside.size(), 1u);
            EXPECT_NE(s->setAside.front().find(".foreign-"), std::string::npos);
            EXPECT_EQ(ReadFile(s->setAside.front()), before);
        }
        s->Stop();
        EXPECT_EQ(OutputFiles(area.S), std::vector<std::string>{});
        EXPECT_FALSE(fs::exists(database + TTaskRunHistory::JournalSuffix));
        ExpectPrivateFiles(area.S);
    }
}
