#include "scheduler/RunWatch.h"
#include "platform/process.h"
#include "platform/runoutput.h"

#include "tests/scheduler/SchedulerTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sys/stat.h>

namespace {

using scheduler_test::ChildProcesses;
using scheduler_test::WaitUntil;
using testing_support::MakeDateTime;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// The monotonic clock as the test moves it, with the wall clock beside it.
struct MovedClocks {
    testing_support::ZoneClock Wall;
    long long MonotonicMs = 1'000'000;
    explicit MovedClocks(TDateTime localStart) : Wall(localStart) {
        dt::SetClockReadings([this] { return dt::ClockReadings{0, MonotonicMs, 0}; });
    }
    ~MovedClocks() { dt::SetClockReadings({}); }
    void Advance(long long ms) {
        MonotonicMs += ms;
        Wall.AdvanceMs(ms);
    }
};

// A watch on the private bus's absent service manager, with its ends.
struct Watch {
    explicit Watch(bool processDescriptors) {
        platform::UseProcessDescriptors(processDescriptors);
        watch->OnReport = [this](const TRunRecord& run) {
            if (run.Outcome != TRunOutcome::Running && (ended.push_back(run), OnEnd))
                OnEnd();
        };
    }
    ~Watch() { platform::UseProcessDescriptors(true); }
    int Start(const std::string& name, const std::string& script, int limitMinutes,
              const std::string& outputFile = {}) {
        TRunRecord run = watch->NewRun("guid-" + name, name, TRunKind::Scheduled, dt::Now());
        run.OutputFile = outputFile;
        const std::string path = dir.File(name + ".sh");
        WriteFile(path, "#!/bin/sh\n" + script + "\n", 0755);
        return watch->StartProgram(run, path, dir.Path(), path, limitMinutes);
    }
    const TRunRecord* Ended(const std::string& name) const {
        const auto it = std::find_if(ended.begin(), ended.end(),
                                     [&](const TRunRecord& run) { return run.TaskName == name; });
        return it == ended.end() ? nullptr : &*it;
    }
    TempDir dir;
    std::unique_ptr<TRunWatch> watch = std::make_unique<TRunWatch>();
    std::vector<TRunRecord> ended;
    std::function<void()> OnEnd;
};

bool Alive(long pid) {
    return kill(static_cast<pid_t>(pid), 0) == 0;
}

long PidIn(const std::string& file) {
    std::string text;
    if (!WaitUntil([&] {
            text = ReadFile(file);
            return !text.empty() && text.back() == '\n';
        }))
        return 0;
    return std::stol(text);
}

// Disk taken by a file, or by what a process's standard output is.
long long Allocated(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_blocks) * 512 : 0;
}

constexpr long long FewMiB = 4 * 1024 * 1024;

} // namespace

// On the day the clock jumps from 02:00 to 03:00, a run started at 01:59:30
// reads 61 minutes on the local clock a minute later: the 1-minute limit
// stops its run then, the 60-minute limit only after 60 real minutes, and
// each recorded duration is the time that passed.
TEST(RunWatch, LimitsAndDurationsCountOnTheMonotonicClockAcrossADaylightSavingChange) {
    testing_support::ScopedTimeZone zone("Europe/Amsterdam");
    MovedClocks clocks(MakeDateTime(2026, 3, 29, 1, 59, 30));
    Watch w(true);
    w.watch->UseScopes(false);
    const struct {
        const char* Name;
        int LimitMinutes;
        long long AtMs; // when the clocks have moved this far
        TDateTime End;
    } ends[] = {{"Minute", 1, 61'000, MakeDateTime(2026, 3, 29, 3, 0, 31)},
                {"Hour", 60, 3'600'000, MakeDateTime(2026, 3, 29, 3, 59, 30)}};
    for (const auto& end : ends)
        ASSERT_EQ(w.Start(end.Name, "exec sleep 3600", end.LimitMinutes), 0);
    long long passedMs = 0;
    for (const auto& end : ends) {
        SCOPED_TRACE(end.Name);
        clocks.Advance(end.AtMs - passedMs);
        passedMs = end.AtMs;
        ASSERT_TRUE(WaitUntil([&] { return w.Ended(end.Name) != nullptr; }));
        EXPECT_EQ(w.Ended(end.Name)->Outcome, TRunOutcome::TimedOut);
        EXPECT_EQ(DurationMs(*w.Ended(end.Name)), end.AtMs);
        EXPECT_EQ(w.Ended(end.Name)->End, end.End);
    }
}

// Handling an end takes time (here a second of the clock each); ends that
// came together each keep the moment they were seen, with and without
// process descriptors.
TEST(RunWatch, EachEndOfABurstKeepsItsOwnMoment) {
    for (const bool descriptors : {true, false}) {
        SCOPED_TRACE(descriptors ? "process descriptors" : "SIGCHLD");
        MovedClocks clocks(MakeDateTime(2026, 5, 4, 8, 0, 0));
        Watch w(descriptors);
        w.OnEnd = [&] { clocks.Advance(1000); };
        constexpr int Count = 20;
        for (int i = 0; i < Count; ++i)
            ASSERT_EQ(w.Start("Quick" + std::to_string(i), "exit 0", 0), 0);
        // All have ended before the event loop sees the first end.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (ChildProcesses(true).size() < Count && std::chrono::steady_clock::now() < deadline) {
        }
        ASSERT_TRUE(WaitUntil([&] { return w.ended.size() == Count; }));
        for (const TRunRecord& run : w.ended) {
            EXPECT_EQ(DurationMs(run), 0) << run.TaskName;
            EXPECT_EQ(run.End, MakeDateTime(2026, 5, 4, 8, 0, 0)) << run.TaskName;
        }
    }
}

// At the limit SIGTERM reaches every process of the run. A grandchild that
// ignores it and one in a session of its own come back to the scheduler when
// the program has ended (of the SIGTERM, or long before the limit); the
// SIGKILL ten seconds later ends them, and they are reaped.
TEST(RunWatch, ALimitStopsEveryProcessTheRunStartedWithoutAServiceManager) {
    struct TCase {
        bool Descriptors;
        std::string Program; // after the grandchildren have started
        TRunOutcome Outcome;
    };
    for (const TCase& c : {TCase{true, "sleep 600", TRunOutcome::TimedOut},
                           TCase{false, "sleep 600", TRunOutcome::TimedOut},
                           TCase{true, "exit 0", TRunOutcome::Exited}}) {
        SCOPED_TRACE(c.Program + (c.Descriptors ? " with process descriptors" : " with SIGCHLD"));
        MovedClocks clocks(MakeDateTime(2026, 5, 4, 8, 0, 0));
        Watch w(c.Descriptors);
        w.watch->UseScopes(false);
        // Grandchildren ignoring SIGTERM, one in a session of its own, and a plain one.
        const std::string starts[] = {"sh -c 'trap \"\" TERM; ", "setsid sh -c 'trap \"\" TERM; ",
                                      "sh -c '"};
        std::string script;
        for (int i = 0; i < 3; ++i)
            script += starts[i] + "echo $$ > " + w.dir.File(std::to_string(i)) +
                      "; exec sleep 600' > /dev/null &\n";
        ASSERT_EQ(w.Start("Family", script + c.Program, 1), 0);
        long pids[3]{};
        for (int i = 0; i < 3; ++i)
            ASSERT_GT(pids[i] = PidIn(w.dir.File(std::to_string(i))), 0);

        clocks.Advance(60'000);
        ASSERT_TRUE(WaitUntil([&] { return w.Ended("Family") != nullptr && !Alive(pids[2]); }));
        EXPECT_EQ(w.Ended("Family")->Outcome, c.Outcome);
        EXPECT_TRUE(Alive(pids[0]) && Alive(pids[1]));

        clocks.Advance(TRunWatch::KillGraceMs);
        EXPECT_TRUE(WaitUntil([&] { return !Alive(pids[0]) && !Alive(pids[1]); }));
        EXPECT_TRUE(WaitUntil([] { return ChildProcesses().empty(); }));
        for (long pid : pids)
            kill(static_cast<pid_t>(pid), SIGKILL);
    }
}

// A program writing as fast as it can, and its grandchild writing after the
// run has ended, never take more than a few MiB of disk; the record keeps the
// end of the output.
TEST(RunWatch, OutputTakesAFewMiBOfDiskWhateverTheRate) {
    Watch w(true);
    const std::string file = w.dir.File("run.out");
    const std::string late = w.dir.File("late");
    const std::string go = w.dir.File("go");
    ASSERT_EQ(mkfifo(go.c_str(), 0600), 0);
    ASSERT_EQ(w.Start("Fast",
                      "sh -c 'echo $$ > " + late + "; read x < " + go +
                          "; exec head -c 100000000 /dev/zero' &\n"
                          "head -c 100000000 /dev/zero\necho END",
                      0, file),
              0);
    long long most = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            most = std::max(most, Allocated(file));
            return !w.ended.empty();
        },
        60000));
    EXPECT_LE(most, FewMiB);
    // Left to the report's receiver, which removes it once the record is safe.
    EXPECT_TRUE(std::filesystem::exists(file));
    const TRunRecord& run = w.ended.front();
    EXPECT_EQ(run.Output.size(), RunOutputTailBytes);
    EXPECT_EQ(run.Output.substr(run.Output.size() - 4), "END\n");

    const long grandchild = PidIn(late);
    ASSERT_GT(grandchild, 0);
    std::ofstream(go) << "\n";
    const std::string itsOutput = "/proc/" + std::to_string(grandchild) + "/fd/1";
    most = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            most = std::max(most, Allocated(itsOutput));
            return !Alive(grandchild);
        },
        60000));
    EXPECT_LE(most, FewMiB);
}

// A program still writing when the watch ends goes on unharmed: its later
// output, bounded as before, lands in the run's file, and the process that
// took its pipe over ends with it.
TEST(RunWatch, AProgramOutlivesTheWatchAndItsLaterOutputReachesItsFile) {
    Watch w(true);
    const std::string file = w.dir.File("run.out");
    const std::string go = w.dir.File("go");
    ASSERT_EQ(mkfifo(go.c_str(), 0600), 0);
    ASSERT_EQ(w.Start("Lasting",
                      "echo early\nread x < " + go + "\nhead -c 3000000 /dev/zero\necho late", 0,
                      file),
              0);
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(file) == "early\n"; }));
    w.watch.reset();
    // A later watch reaps what comes back to this process.
    TRunWatch next;
    std::ofstream(go) << "\n";
    std::string tail;
    EXPECT_TRUE(WaitUntil(
        [&] { return platform::ReadFileTail(file, 5, tail) == 0 && tail == "late\n"; }, 60000));
    EXPECT_LE(Allocated(file), FewMiB);
    EXPECT_TRUE(WaitUntil([] { return ChildProcesses().empty(); }));
}

// Where a service manager runs, the program starts inside a transient scope
// of its own, asked for with its process id before it executes.
TEST(RunWatch, ProgramsStartInAScopeOfTheServiceManager) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "tests run on a private bus";
    TempDir dir;
    const std::string log = dir.File("systemd.log");
    QProcess manager;
    manager.start(
        QStringLiteral("/usr/bin/python3"),
        {"-m", "dbusmock", "--session", "-t", "systemd", "-l", QString::fromStdString(log)});
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    ASSERT_TRUE(WaitUntil(
        [bus] {
            return bus->isServiceRegistered(QStringLiteral("org.freedesktop.systemd1")).value();
        },
        30000));
    {
        Watch w(true);
        const std::string pidFile = w.dir.File("pid");
        ASSERT_EQ(w.Start("Scoped", "echo $$ > " + pidFile + "; echo ran", 0), 0);
        ASSERT_TRUE(WaitUntil([&] { return !w.ended.empty(); }));
        EXPECT_EQ(w.ended.front().Output, "ran\n");
        const std::string calls = ReadFile(log);
        EXPECT_NE(calls.find("StartTransientUnit \"qmts-run-"), std::string::npos) << calls;
        EXPECT_NE(calls.find(".scope\" \"fail\""), std::string::npos) << calls;
        EXPECT_NE(calls.find(std::to_string(PidIn(pidFile))), std::string::npos) << calls;
    }
    manager.kill();
    manager.waitForFinished();
}
