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

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <tuple>

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

// A task list with its run history in a temporary folder, on a test clock
// that stands at the start time of every daily task added.
struct TScheduler {
    TempDir dir;
    TestClock clock{MakeDateTime(2026, 3, 4, 8, 0, 0)};
    long long monotonicMs = 0; // limits and durations count on it
    std::vector<std::string> log;
    std::vector<TRunRecord> ended;
    std::vector<std::string> setAside;
    std::unique_ptr<TQMTaskScheduler> list;
    std::unique_ptr<TTaskRunHistory> runs;
    std::vector<TQMTask> kept; // between a stop and the next start

    // With a database file already there when given one.
    explicit TScheduler(const std::string& database = {}) {
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
        list = std::make_unique<TQMTaskScheduler>();
        for (const TQMTask& task : kept)
            list->AddCopy(&task);
        kept.clear();
        runs = std::make_unique<TTaskRunHistory>(*list, dir.Path());
        runs->OnRunEnded = [this](const TRunRecord& run) { ended.push_back(run); };
        runs->OnSetAside = [this](const std::string& file) { setAside.push_back(file); };
        ASSERT_TRUE(runs->Open()) << runs->History().Problem();
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
        history::THistory reader(dir.File(TTaskRunHistory::FileBaseName));
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
        {"Broken", "exit 0", 0644, 0, "", "LastError = 13", true},
        {"Elsewhere", "exit 0", 0755, 0, missing, "Start in folder not found: " + missing, true},
    };
    for (const TCase& c : cases) {
        TQMTask* task = s.AddScript(c.Name, c.Body, c.Mode, c.Mode == 0755 ? ".sh" : ".exe");
        task->TimeLimitMinutes = c.LimitMinutes;
        task->StartIn = c.StartIn;
    }

    ASSERT_TRUE(WaitUntil([&] { return s.ended.size() == 5; }));
    // The limit counts on the clock: a minute later the watch stops the run.
    s.clock.AdvanceMs(61'000);
    s.monotonicMs += 61'000;
    ASSERT_TRUE(WaitUntil([&] { return s.ended.size() == 6; }));
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
            EXPECT_EQ(std::count_if(s.log.begin(), s.log.end(),
                                    [&](const std::string& line) {
                                        return line.find(c.Result) != std::string::npos;
                                    }),
                      1);
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
    s.Stop();
    const std::vector<long> children = ChildProcesses();
    ASSERT_EQ(children.size(), 1u) << "the program ended with the scheduler";

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

    ::kill(-static_cast<pid_t>(children.front()), SIGKILL);
    ::waitpid(static_cast<pid_t>(children.front()), nullptr, 0);
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
