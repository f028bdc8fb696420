#include "lib/QMException.h"
#include "platform/files.h"
#include "platform/process.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskSchedulerFileUtils.h"
#include "scheduler/classQMTaskSchedulerStringUtils.h"
#include "tests/scheduler/SchedulerTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fs = std::filesystem;
using FileUtils = TQMTaskSchedulerFileUtils;
using scheduler_test::ParseReport;
using scheduler_test::Report;
using scheduler_test::ReportArgsProgram;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

using scheduler_test::ErrorOf;
namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// Starts the file detached, as a task does, and returns the helper's report.
Report RunAndReport(const TempDir& dir, const std::string& file, const std::string& parameters,
                    bool wait = false) {
    const std::string target = dir.File("report.txt");
    fs::remove(target);
    scheduler_test::ScopedReportTarget scoped(target);
    EXPECT_TRUE(FileUtils::RunProgram(file, parameters, false, wait));
    EXPECT_TRUE(scheduler_test::WaitForFile(target)) << "the program did not report";
    return ParseReport(ReadFile(target));
}

std::string OwnFolder() {
    return fs::canonical("/proc/self/exe").parent_path().string();
}
} // namespace

TEST(ReplaceAll, ReplacesLeftToRightWithoutRevisitingReplacements) {
    std::string text = "a%1b%1";
    EXPECT_TRUE(TQMTaskSchedulerStringUtils::ReplaceAll(text, "%1", "%1%1"));
    EXPECT_EQ(text, "a%1%1b%1%1");
    text = "abc";
    EXPECT_FALSE(TQMTaskSchedulerStringUtils::ReplaceAll(text, "%1", "x"));
    EXPECT_EQ(text, "abc");
    EXPECT_FALSE(TQMTaskSchedulerStringUtils::ReplaceAll(text, "", "x"));
    EXPECT_EQ(text, "abc");
    text = "aaaaa";
    EXPECT_TRUE(TQMTaskSchedulerStringUtils::ReplaceAll(text, "aa", "b"));
    EXPECT_EQ(text, "bba");
    text = "%1";
    EXPECT_TRUE(TQMTaskSchedulerStringUtils::ReplaceAll(text, "%1", ""));
    EXPECT_EQ(text, "");
}

TEST(ReplaceAll, MillionsOfOccurrencesNeedNoDeepRecursion) {
    std::string text;
    for (int i = 0; i < 2'000'000; ++i)
        text += "%1.";
    EXPECT_TRUE(TQMTaskSchedulerStringUtils::ReplaceAll(text, "%1", "ab"));
    EXPECT_EQ(text.size(), 6'000'000u);
    EXPECT_EQ(text.substr(0, 9), "ab.ab.ab.");
    EXPECT_EQ(text.find('%'), std::string::npos);
}

TEST(LauncherDecisions, ProgramsAreStartedDirectlyAsOneQuotedArgument) {
    TempDir dir;
    const std::string exe = dir.File("backup.exe");
    WriteFile(exe, "x", 0644);
    EXPECT_EQ(FileUtils::GetLaunchCommand(exe), exe);
    EXPECT_EQ(FileUtils::GetCommandLine(exe, "-q"), Quoted(exe) + " -q");
    EXPECT_EQ(FileUtils::GetCommandLine(exe, ""), Quoted(exe) + " ");
    // Parameters go as given, neither trimmed nor quoted.
    EXPECT_EQ(FileUtils::GetCommandLine(exe, " 'a b' "), Quoted(exe) + "  'a b' ");
    for (const char* name : {"BACKUP.EXE", "tool.Com", "job.bat"}) {
        WriteFile(dir.File(name), "x", 0644);
        EXPECT_EQ(FileUtils::GetLaunchCommand(dir.File(name)), dir.File(name)) << name;
    }
    // The command is made from the trimmed name.
    EXPECT_EQ(FileUtils::GetLaunchCommand(" \t" + exe + "  \r\n"), exe);

    // Without extension and without a program's first bytes: a program only
    // when it may be executed.
    WriteFile(dir.File("run"), "echo notes\n", 0644);
    EXPECT_EQ(FileUtils::GetLaunchCommand(dir.File("run")), "");
    EXPECT_EQ(FileUtils::GetCommandLine(dir.File("run"), "-q"), "");
    fs::permissions(dir.File("run"), fs::perms::owner_exec, fs::perm_options::add);
    EXPECT_EQ(FileUtils::GetLaunchCommand(dir.File("run")), dir.File("run"));
    // A relative name is the file in the current folder, never one found in
    // PATH or in the folder the program is started in.
    {
        const fs::path previous = fs::current_path();
        fs::current_path(dir.Path());
        EXPECT_EQ(FileUtils::GetLaunchCommand("run"), dir.File("run"));
        EXPECT_EQ(FileUtils::GetCommandLine("./run", "-q"), Quoted(dir.File("run")) + " -q");
        fs::current_path(previous);
    }
    // A dot in a folder name is no extension.
    fs::create_directories(dir.File("v1.2"));
    WriteFile(dir.File("v1.2/notes"), "x", 0644);
    EXPECT_EQ(FileUtils::ExtractLowerExtension(dir.File("v1.2/notes")), "");
    EXPECT_EQ(FileUtils::GetLaunchCommand(dir.File("v1.2/notes")), "");

    // Whatever the path holds, the splitter gives it back whole.
    const std::string odd = dir.File("it's \"odd\" $HOME `x` \\ *.exe");
    WriteFile(odd, "x", 0644);
    const auto args = platform::SplitCommandLine(FileUtils::GetCommandLine(odd, "a 'b c'"));
    EXPECT_EQ(args, (std::vector<std::string>{odd, "a", "b c"}));
}

TEST(LauncherDecisions, DocumentsOpenThroughTheirAssociation) {
    TempDir dir;
    const std::string helper = ReportArgsProgram();
    EXPECT_EQ(FileUtils::GetAssociationCommand(".qmtsdoc"),
              Quoted(helper) + " --doc %1 --again %1   --end");
    EXPECT_EQ(FileUtils::GetAssociationCommand(".qmtsplain"), Quoted(helper) + " --plain");
    // The name alone leaves this guess "uncertain"; the type is known all the same.
    EXPECT_EQ(FileUtils::GetAssociationCommand(".html"), Quoted(helper) + " --plain");
    EXPECT_EQ(FileUtils::GetAssociationCommand(".qmtsbare"), "") << "type without application";
    EXPECT_EQ(FileUtils::GetAssociationCommand(".qmtsnosuchtype"), "");
    EXPECT_EQ(FileUtils::GetAssociationCommand(""), "");

    const std::string doc = dir.File("my doc.qmtsdoc");
    WriteFile(doc, "text");
    // Every %1 becomes the quoted path; the parameters come behind.
    EXPECT_EQ(FileUtils::GetLaunchCommand(doc),
              Quoted(helper) + " --doc " + Quoted(doc) + " --again " + Quoted(doc) + "   --end");
    EXPECT_EQ(FileUtils::GetCommandLine(" " + doc, "-p 'x y'"),
              FileUtils::GetLaunchCommand(doc) + " -p 'x y'");
    // The extension test ignores case.
    WriteFile(dir.File("UPPER.QMTSDOC"), "text");
    EXPECT_NE(FileUtils::GetLaunchCommand(dir.File("UPPER.QMTSDOC")), "");

    const std::string plain = dir.File("plain doc.qmtsplain");
    WriteFile(plain, "text");
    EXPECT_EQ(FileUtils::GetLaunchCommand(plain), Quoted(helper) + " --plain " + Quoted(plain));

    const std::string bare = dir.File("bare.qmtsbare");
    WriteFile(bare, "text");
    EXPECT_EQ(FileUtils::GetLaunchCommand(bare), "");
}

TEST(LauncherDecisions, ShortPathAndFileChecksRaiseTheirMessages) {
    TempDir dir;
    EXPECT_EQ(FileUtils::GetShortPath(dir.Path()), Quoted(dir.Path()));
    EXPECT_EQ(ErrorOf([&] { (void)FileUtils::GetShortPath(dir.File("gone")); }),
              "Pad: " + dir.File("gone") + " bestaat niet");
    EXPECT_EQ(ErrorOf([&] { (void)FileUtils::GetLaunchCommand(dir.File("gone.qmtsdoc")); }),
              "Pad: " + dir.File("gone.qmtsdoc") + " bestaat niet");
    EXPECT_EQ(ErrorOf([] { FileUtils::CheckProgramFile(""); }), "Filename empty.");
    EXPECT_EQ(ErrorOf([&] { (void)FileUtils::RunProgram(dir.File("no.exe"), "", false, false); }),
              "File not found: " + dir.File("no.exe"));
    EXPECT_EQ(ErrorOf([&] { FileUtils::CheckProgramFile(dir.Path()); }),
              "File not found: " + dir.Path());
    EXPECT_EQ(FileUtils::CreateProcessErrorText("C:\\x.exe", 193),
              "Can not create process: \rC:\\x.exe.\rLastError = 193");
}

TEST(Launcher, ParametersArriveByShellQuotingInTheSchedulersFolder) {
    TempDir dir;
    const Report report = RunAndReport(
        dir, ReportArgsProgram(),
        R"(plain "two words" 'single $HOME *' back\ slash "esc \"q\" \$x \n" '' *.txt ~ a"b"'c')");
    EXPECT_EQ(report.Args,
              (std::vector<std::string>{"plain", "two words", "single $HOME *", "back slash",
                                        "esc \"q\" $x \\n", "", "*.txt", "~", "abc"}));
    EXPECT_EQ(report.Cwd, OwnFolder());
    EXPECT_EQ(FileUtils::WorkingFolder(), OwnFolder() + "/");
}

TEST(Launcher, StartedProgramIsDetachedReapedAndInheritsNoDescriptor) {
    TempDir dir;
    // Not close-on-exec: a careless launcher would hand it on.
    std::ofstream open(dir.File("held-open"));
    ASSERT_TRUE(open.is_open());
    const std::string target = dir.File("report.txt");
    scheduler_test::ScopedReportTarget scoped(target);
    ASSERT_TRUE(FileUtils::RunProgram(ReportArgsProgram(), "", false, false));
    // The intermediate process is reaped before the call returns, and the
    // program itself is no child of ours: no zombie can stay behind.
    EXPECT_TRUE(scheduler_test::ChildProcesses().empty());
    ASSERT_TRUE(scheduler_test::WaitForFile(target));
    const Report report = ParseReport(ReadFile(target));
    EXPECT_EQ(report.SessionId, report.Pid) << "runs in a session of its own";
    EXPECT_NE(report.ParentPid, std::stol(fs::read_symlink("/proc/self").string()));
    EXPECT_EQ(report.Fds, (std::vector<std::string>{"0 /dev/null", "1 /dev/null", "2 /dev/null"}));
    EXPECT_TRUE(scheduler_test::ChildProcesses().empty());
}

TEST(Launcher, StartedProgramGetsAFreshStartDetachedOrWaitedFor) {
    TempDir dir;
    // Not close-on-exec: a careless launcher would hand it on.
    std::ofstream open(dir.File("held-open"));
    ASSERT_TRUE(open.is_open());
    // As in the running program: SIGXFSZ ignored for its saves, and a
    // signal blocked in the starting thread.
    platform::IgnoreFileSizeSignal();
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    // The signals below SIGRTMIN from 32 on are the C library's own, which it
    // lets no program change; GNU make, which runs a package build's tests,
    // starts its commands with them ignored.
    std::uint64_t libraryOwn = 0;
    for (int s = 32; s < SIGRTMIN; ++s)
        libraryOwn |= std::uint64_t{1} << (s - 1);
    // A detached start forks; one that is waited for or watched is spawned.
    for (const bool wait : {false, true}) {
        const Report report = RunAndReport(dir, ReportArgsProgram(), "", wait);
        ASSERT_FALSE(report.IgnoredSignals.empty()) << wait;
        EXPECT_EQ(std::stoull(report.IgnoredSignals, nullptr, 16) & ~libraryOwn, 0u)
            << report.IgnoredSignals;
        EXPECT_EQ(std::stoull(report.BlockedSignals, nullptr, 16), 0u) << report.BlockedSignals;
        EXPECT_EQ(report.SessionId, report.Pid) << wait;
        EXPECT_EQ(report.Fds,
                  (std::vector<std::string>{"0 /dev/null", "1 /dev/null", "2 /dev/null"}));
        EXPECT_EQ(report.Cwd, OwnFolder());
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    std::signal(SIGXFSZ, SIG_DFL);
}

namespace {

// The system call a thread of this process is blocked in, from
// /proc/self/task/<tid>/syscall; -1 when running or unknown.
long BlockedInSystemCall(pid_t thread) {
    std::ifstream file("/proc/self/task/" + std::to_string(thread) + "/syscall");
    std::string first;
    if (!(file >> first) || first == "running")
        return -1;
    return std::strtol(first.c_str(), nullptr, 10);
}

} // namespace

// The started program holds on until the calling thread is seen blocked in
// the wait for a child, or until the call has returned, which then came too
// early: a launcher that ignores the wait option fails every time.
TEST(Launcher, WaitOptionReturnsWhenTheProgramHasEnded) {
    TempDir dir;
    const std::string target = dir.File("report.txt");
    const std::string gate = dir.File("gate");
    ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
    const std::string program = dir.File("held.sh");
    WriteFile(program,
              "#!/bin/sh\n: > '" + dir.File("started") + "'\nread go < '" + gate + "'\nexec '" +
                  ReportArgsProgram() + "' \"$@\"\n",
              0755);
    scheduler_test::ScopedReportTarget scoped(target);

    const pid_t caller = gettid();
    std::atomic<bool> returned{false};
    bool returnedWhileHeld = false;
    std::thread gatekeeper([&] {
        const bool started = scheduler_test::WaitForFile(dir.File("started"));
        while (started && !returned) {
            const long call = BlockedInSystemCall(caller);
            if (call == SYS_wait4 || call == SYS_waitid)
                break;
            std::this_thread::yield();
        }
        returnedWhileHeld = returned;
        std::ofstream(gate) << "go\n"; // lets the program go on to its report
    });
    const bool ran = FileUtils::RunProgram(program, "waited", false, true);
    const bool reportedAtReturn = fs::exists(target);
    returned = true;
    gatekeeper.join();
    ASSERT_TRUE(ran);
    EXPECT_FALSE(returnedWhileHeld) << "returned while the program was still running";
    EXPECT_TRUE(reportedAtReturn);
    EXPECT_EQ(ParseReport(ReadFile(target)).Args, std::vector<std::string>{"waited"});
    EXPECT_TRUE(scheduler_test::ChildProcesses().empty());
}

TEST(Launcher, ProgramPathWithBlanksQuotesAndDollarsWorks) {
    TempDir dir;
    const std::string folder = dir.File("it's a \"odd\" $dir\\");
    fs::create_directories(folder);
    const std::string program = folder + "/run me `now` $PATH";
    fs::copy_file(ReportArgsProgram(), program);
    fs::permissions(program, fs::perms::owner_all);
    const Report report = RunAndReport(dir, program, "'one arg'");
    EXPECT_EQ(report.Args, std::vector<std::string>{"one arg"});

    // A script without extension is a program once it may be executed.
    const std::string script = dir.File("wrapper script");
    WriteFile(script, "#!/bin/sh\nexec \"$0.real\" wrapped \"$@\"\n", 0755);
    fs::copy_file(ReportArgsProgram(), script + ".real");
    fs::permissions(script + ".real", fs::perms::owner_all);
    EXPECT_EQ(RunAndReport(dir, script, "x").Args, (std::vector<std::string>{"wrapped", "x"}));
}

TEST(Launcher, DocumentStartsItsAssociatedProgramWithDocumentThenParameters) {
    TempDir dir;
    const std::string doc = dir.File("my $doc \"1\".qmtsdoc");
    WriteFile(doc, "text", 0644);
    EXPECT_EQ(RunAndReport(dir, doc, "--p 'x y'").Args,
              (std::vector<std::string>{"--doc", doc, "--again", doc, "--end", "--p", "x y"}));
    const std::string plain = dir.File("plain.qmtsplain");
    WriteFile(plain, "text", 0644);
    EXPECT_EQ(RunAndReport(dir, plain, "").Args, (std::vector<std::string>{"--plain", plain}));
}

TEST(Launcher, NothingAssociatedStartsNothingAndIsLoggedAsSuch) {
    TempDir dir;
    scheduler_test::CapturedTaskLog log;
    testing_support::TestClock clock(testing_support::MakeDateTime(2026, 3, 4, 9, 0, 1));
    TQMTask task;
    task.Daily = true;
    task.DateTime = testing_support::MakeDateTime(2026, 1, 1, 9, 0);
    task.TaskName = "Notes";
    for (const char* name : {"notes.qmtsbare", "notes.qmtsnosuchtype", "notes"}) {
        task.TaskFileName = dir.File(name);
        WriteFile(task.TaskFileName, "text", 0644);
        EXPECT_FALSE(FileUtils::RunProgram(task.TaskFileName, "", false, false)) << name;
        log.Lines.clear();
        task.DateTimeLastExecuted = 0;
        EXPECT_TRUE(task.ExecuteIfDue(true));
        EXPECT_EQ(log.Lines, std::vector<std::string>{"task (Notes): no associated program (" +
                                                      task.TaskFileName + ")"});
        // A scheduled run is stamped all the same.
        EXPECT_DOUBLE_EQ(task.DateTimeLastExecuted, clock.Now());
    }
}

TEST(Launcher, ConsoleApplicationsRunInTheDesktopsTerminalOrNotAtAll) {
    TempDir dir;
    // A terminal that runs the helper, which reports what the terminal got.
    const std::string bin = dir.File("bin");
    fs::create_directories(bin);
    WriteFile(bin + "/x-terminal-emulator",
              std::string("#!/bin/sh\nexec \"") + ReportArgsProgram() + "\" terminal \"$@\"\n",
              0755);
    const std::string doc = dir.File("my \"notes\".qmtsterm");
    WriteFile(doc, "text", 0644);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    const auto restorePath = [&] { setenv("PATH", path.c_str(), 1); };

    setenv("PATH", bin.c_str(), 1);
    EXPECT_EQ(RunAndReport(dir, doc, "-p 'x y'").Args,
              (std::vector<std::string>{"terminal", "-e", ReportArgsProgram(), "--console", doc,
                                        "-p", "x y"}));

    // No terminal at all: nothing starts, and the run log says why.
    const std::string empty = dir.File("empty");
    fs::create_directories(empty);
    setenv("PATH", empty.c_str(), 1);
    scheduler_test::CapturedTaskLog log;
    testing_support::TestClock clock(testing_support::MakeDateTime(2026, 3, 4, 9, 0, 1));
    TQMTask task;
    task.Daily = true;
    task.DateTime = testing_support::MakeDateTime(2026, 1, 1, 9, 0);
    task.TaskName = "Notes";
    task.TaskFileName = doc;
    const bool ran = task.ExecuteIfDue(true).has_value();
    restorePath();
    EXPECT_TRUE(ran);
    EXPECT_EQ(log.Lines,
              std::vector<std::string>{"task (Notes): no associated program (" + doc + ")"});
    EXPECT_TRUE(scheduler_test::ChildProcesses().empty());
}

TEST(Launcher, ScriptOrBinaryWithoutExecuteBitIsARefusedStart) {
    TempDir dir;
    const std::string script = dir.File("backup.sh");
    WriteFile(script, "#!/bin/sh\nexit 0\n", 0644);
    const std::string binary = dir.File("tool");
    fs::copy_file(ReportArgsProgram(), binary);
    fs::permissions(binary, fs::perms::owner_read | fs::perms::owner_write);
    for (const std::string& file : {script, binary})
        EXPECT_EQ(ErrorOf([&] { (void)FileUtils::RunProgram(file, "", false, false); }),
                  "Can not create process: \r" + file + ".\rLastError = 13");
}

TEST(Launcher, RefusedStartsCarryTheFileNameAndErrno) {
    TempDir dir;
    const std::string exe = dir.File("not executable.exe");
    WriteFile(exe, "MZ", 0644);
    const std::string message =
        ErrorOf([&] { (void)FileUtils::RunProgram(exe, "-q", false, false); });
    EXPECT_EQ(message, std::string("Can not create process: ") + char(13) + exe + "." + char(13) +
                           "LastError = 13");
    EXPECT_EQ(message.find('\n'), std::string::npos);

    // Executable but neither a binary nor a script.
    const std::string junk = dir.File("junk");
    WriteFile(junk, std::string("\x01\x02\x03 no interpreter", 18), 0755);
    EXPECT_EQ(ErrorOf([&] { (void)FileUtils::RunProgram(junk, "", false, false); }),
              "Can not create process: \r" + junk + ".\rLastError = 8");
    // An interpreter line naming nothing.
    const std::string script = dir.File("script.sh");
    WriteFile(script, "#!/nonexistent/interpreter\n", 0755);
    EXPECT_EQ(ErrorOf([&] { (void)FileUtils::RunProgram(script, "", false, true); }),
              "Can not create process: \r" + script + ".\rLastError = 2");
    EXPECT_TRUE(scheduler_test::ChildProcesses().empty());
}
