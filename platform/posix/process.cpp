#include "platform/process.h"

#include "platform/files.h"
#include "platform/posix/childstart.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

namespace platform {

using posix::DescriptorLimit;
using posix::RestoreDefaultSignals;
using posix::SetSignalMask;

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// Characters that a backslash escapes inside double quotes.
constexpr std::string_view DoubleQuoteEscapable{"$`\"\\\n"};

std::string SearchPath(const std::string& name) {
    const char* env = std::getenv("PATH");
    const std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        std::string dir = path.substr(start, end - start);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (IsExecutableFile(candidate))
            return candidate;
        start = end + 1;
    }
    return {};
}

// Keeps a descriptor away from 0..2, which the child overwrites.
int AboveStandard(int fd) {
    if (fd < 0 || fd > 2)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

// Where a child tells why its start failed: a pipe after fork, our own
// memory after vfork (which shares it until exec).
struct ChildReport {
    int PipeFd = -1;
    volatile int* Shared = nullptr;
};

// From here on only async-signal-safe calls: the parent may have threads.
[[noreturn]] void Fail(const ChildReport& report, int error) {
    if (report.Shared != nullptr) {
        *report.Shared = error;
    } else {
        ssize_t ignored = write(report.PipeFd, &error, sizeof error);
        (void)ignored;
    }
    _exit(127);
}

// Every descriptor above 2 closes at exec; the report pipe stays usable
// until then.
void CloseOnExecAboveStandard(int maxFd) {
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
#endif
    for (int fd = 3; fd < maxFd; ++fd)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
}

struct ExecPlan {
    const char* Program;
    char* const* Argv;
    char* const* Envp;
    const char* Folder;
    int DevNull;
    int MaxFd;
    int OutputFd = -1;
    int GateFd = -1; // when set, exec only after a byte arrives on it
};

[[noreturn]] void ExecChild(const ExecPlan& plan, const ChildReport& report) {
    // A fresh start: every signal at its default (an ignored one, such as
    // our SIGXFSZ, would survive exec) and none blocked, its own session (no
    // terminal's hang-up reaches it), nothing of ours open but /dev/null and
    // the output pipe.
    RestoreDefaultSignals();
    if (setsid() < 0)
        Fail(report, errno);
    for (int target = 0; target <= 2; ++target)
        if (dup2(target > 0 && plan.OutputFd >= 0 ? plan.OutputFd : plan.DevNull, target) < 0)
            Fail(report, errno);
    if (plan.Folder[0] != '\0' && chdir(plan.Folder) != 0)
        Fail(report, errno);
    CloseOnExecAboveStandard(plan.MaxFd);
    if (plan.GateFd >= 0) {
        char go = 0;
        ssize_t got;
        while ((got = read(plan.GateFd, &go, 1)) < 0 && errno == EINTR) {
        }
        // The gate closed without a byte: the parent gave the start up.
        if (got != 1)
            Fail(report, ECANCELED);
    }
    execve(plan.Program, plan.Argv, plan.Envp);
    Fail(report, errno);
}

// Starts the program in a vforked child; returns its pid, or -1. error is
// the start's error (the child's exec included). Every signal is blocked
// meanwhile, so that none of our handlers runs in the child, which shares
// our memory, before it has reset them.
pid_t VforkExec(const ExecPlan& plan, int& error) {
    sigset_t all;
    std::memset(&all, 0xff, sizeof all);
    sigset_t previous;
    SetSignalMask(SIG_BLOCK, all, &previous);
    volatile int childError = 0;
    const pid_t pid = vfork();
    if (pid == 0)
        ExecChild(plan, {-1, &childError});
    error = pid < 0 ? errno : childError;
    SetSignalMask(SIG_SETMASK, previous);
    return pid;
}

void Reap(pid_t pid) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& s) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const char c = s[i];
        if (IsBlank(c)) {
            if (inArgument)
                args.push_back(std::move(current));
            current.clear();
            inArgument = false;
            ++i;
        } else if (c == '\'') {
            inArgument = true;
            for (++i; i < n && s[i] != '\''; ++i)
                current += s[i];
            ++i;
        } else if (c == '"') {
            inArgument = true;
            for (++i; i < n && s[i] != '"'; ++i) {
                if (s[i] == '\\' && i + 1 < n &&
                    DoubleQuoteEscapable.find(s[i + 1]) != std::string_view::npos) {
                    ++i;
                    if (s[i] != '\n')
                        current += s[i];
                } else {
                    current += s[i];
                }
            }
            ++i;
        } else if (c == '\\' && i + 1 < n) {
            if (s[i + 1] != '\n') {
                inArgument = true;
                current += s[i + 1];
            }
            i += 2;
        } else {
            inArgument = true;
            current += c;
            ++i;
        }
    }
    if (inArgument)
        args.push_back(std::move(current));
    return args;
}

std::string QuoteArgument(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c != '\n' && DoubleQuoteEscapable.find(c) != std::string_view::npos)
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

namespace {

enum class Mode { Detached, Wait, Child };

std::atomic<bool> useProcessDescriptors{true};

// Closes the descriptors it holds when it goes out of scope.
struct Descriptors {
    std::vector<int> Fds;
    ~Descriptors() {
        for (int fd : Fds)
            if (fd >= 0)
                close(fd);
    }
    int Add(int fd) {
        Fds.push_back(fd);
        return fd;
    }
    // Hands the descriptor out: it is no longer closed here.
    int Release(int fd) {
        for (int& held : Fds)
            if (held == fd)
                held = -1;
        return fd;
    }
    void Close(int fd) {
        Release(fd);
        if (fd >= 0)
            close(fd);
    }
};

// A pipe with both ends above 2 and closed at exec; false when it cannot be made.
bool MakePipe(int (&ends)[2], Descriptors& held) {
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    ends[0] = held.Add(AboveStandard(ends[0]));
    ends[1] = held.Add(AboveStandard(ends[1]));
    return ends[0] >= 0 && ends[1] >= 0;
}

int ReadReport(int fd) {
    // End of file means that exec succeeded (the pipe closes on exec).
    int childError = 0;
    ssize_t got;
    while ((got = read(fd, &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    return got == static_cast<ssize_t>(sizeof childError) ? childError : 0;
}

// -1 where the system has no process descriptors, denies them, or they are
// switched off.
int OpenPidFd(pid_t pid) {
    if (!useProcessDescriptors)
        return -1;
    const int fd = AboveStandard(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
    if (fd >= 0)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

// Starts the command line; the child tells why its start failed.
StartedChild Launch(const std::string& commandLine, const std::string& workingFolder, Mode mode,
                    const std::string& marker = {}, const BeforeExec& beforeExec = {}) {
    std::vector<std::string> args = SplitCommandLine(commandLine);
    if (args.empty())
        return {ENOENT};
    std::string program = args.front();
    if (program.find('/') == std::string::npos) {
        program = SearchPath(program);
        if (program.empty())
            return {ENOENT};
    }
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // The environment as inherited, with the run's marker instead of any
    // marker inherited from whoever started us.
    const std::string prefix = std::string(RunMarkerVariable) + "=";
    std::string markerEntry = prefix + marker;
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, prefix.c_str(), prefix.size()) != 0)
            envp.push_back(*e);
    if (mode == Mode::Child)
        envp.push_back(markerEntry.data());
    envp.push_back(nullptr);

    const int maxFd = DescriptorLimit();

    Descriptors held;
    const int devNull = held.Add(AboveStandard(open("/dev/null", O_RDWR | O_CLOEXEC)));
    if (devNull < 0)
        return {errno};
    ExecPlan plan{program.c_str(), argv.data(), envp.data(), workingFolder.c_str(), devNull, maxFd};
    int output[2] = {-1, -1};
    if (mode == Mode::Child) {
        if (!MakePipe(output, held))
            return {errno != 0 ? errno : EMFILE};
        plan.OutputFd = output[1];
    }
    if (mode != Mode::Detached && !beforeExec) {
        // vfork: the child borrows our memory until exec instead of copying
        // our page tables, which a large task list makes cost milliseconds
        // per start.
        StartedChild started;
        const pid_t pid = VforkExec(plan, started.Error);
        if (pid < 0)
            return started;
        if (mode == Mode::Wait || started.Error != 0) {
            Reap(pid);
            return started;
        }
        started.Pid = pid;
        held.Close(output[1]);
        started.OutputFd = held.Release(output[0]);
        fcntl(started.OutputFd, F_SETFL, O_NONBLOCK);
        started.PidFd = OpenPidFd(pid);
        return started;
    }

    // A detached program needs a child between us and it, which exits at
    // once, and a child that waits for beforeExec needs its own memory: vfork
    // gives neither, so these starts fork.
    int report[2] = {-1, -1};
    int gate[2] = {-1, -1};
    if (!MakePipe(report, held) || (beforeExec && !MakePipe(gate, held)))
        return {EMFILE};
    plan.GateFd = gate[0];

    // As around vfork: none of our handlers may run in the child before it
    // has reset them (one would write to our own descriptors).
    sigset_t all;
    std::memset(&all, 0xff, sizeof all);
    sigset_t previous;
    SetSignalMask(SIG_BLOCK, all, &previous);
    const pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        if (mode == Mode::Child)
            ExecChild(plan, {report[1], nullptr});
        // The intermediate child exits at once and is reaped below; the
        // program, its child, is taken over by init (or by a subreaper).
        const pid_t grandchild = fork();
        if (grandchild < 0)
            Fail({report[1], nullptr}, errno);
        if (grandchild > 0)
            _exit(0);
        ExecChild(plan, {report[1], nullptr});
    }
    StartedChild started;
    started.Error = pid < 0 ? errno : 0;
    SetSignalMask(SIG_SETMASK, previous);
    held.Close(report[1]);
    held.Close(gate[0]);
    if (pid < 0)
        return started;
    if (mode == Mode::Child) {
        held.Close(output[1]);
        beforeExec(pid);
        const char go = 1;
        while (write(gate[1], &go, 1) < 0 && errno == EINTR) {
        }
        held.Close(gate[1]);
        started.Error = ReadReport(report[0]);
        if (started.Error != 0) {
            Reap(pid);
            return started;
        }
        started.Pid = pid;
        started.OutputFd = held.Release(output[0]);
        fcntl(started.OutputFd, F_SETFL, O_NONBLOCK);
        started.PidFd = OpenPidFd(pid);
        return started;
    }
    started.Error = ReadReport(report[0]);
    // The program has started either way; a failed wait (a reaper set up
    // elsewhere) changes nothing of that.
    Reap(pid);
    return started;
}

} // namespace

int StartProcess(const std::string& commandLine, const std::string& workingFolder, bool wait) {
    return Launch(commandLine, workingFolder, wait ? Mode::Wait : Mode::Detached, {}).Error;
}

StartedChild StartChild(const std::string& commandLine, const std::string& workingFolder,
                        const std::string& marker, const BeforeExec& beforeExec) {
    return Launch(commandLine, workingFolder, Mode::Child, marker, beforeExec);
}

void UseProcessDescriptors(bool use) {
    useProcessDescriptors = use;
}

ChildEnd ReapChild(int pid) {
    int status = 0;
    pid_t got;
    while ((got = waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    ChildEnd end;
    if (got == pid) {
        end.Ended = true;
        end.Signaled = WIFSIGNALED(status);
        end.Code = end.Signaled ? WTERMSIG(status) : WEXITSTATUS(status);
    } else if (got < 0) {
        // Not ours (any more): someone else reaped it; its status is lost.
        end.Ended = true;
        end.Lost = true;
    }
    return end;
}

void SignalProcessGroup(int pid, bool force) {
    if (pid > 0)
        kill(-pid, force ? SIGKILL : SIGTERM);
}

int StopSignal(bool force) {
    return force ? SIGKILL : SIGTERM;
}

void SignalProcess(int pid, bool force) {
    if (pid > 0)
        kill(pid, force ? SIGKILL : SIGTERM);
}

namespace {

std::atomic<int> childEndsWrite{-1};
struct sigaction previousChildHandler {};

void OnChildEnd(int signal, siginfo_t* info, void* context) {
    const int saved = errno;
    const char byte = 0;
    // Non-blocking: a full pipe already says that something ended.
    ssize_t ignored = write(childEndsWrite.load(), &byte, 1);
    (void)ignored;
    if (previousChildHandler.sa_flags & SA_SIGINFO) {
        if (previousChildHandler.sa_sigaction != nullptr)
            previousChildHandler.sa_sigaction(signal, info, context);
    } else if (previousChildHandler.sa_handler != SIG_DFL &&
               previousChildHandler.sa_handler != SIG_IGN) {
        previousChildHandler.sa_handler(signal);
    }
    errno = saved;
}

// Reads /proc/<pid>/<name> whole; empty when it cannot.
std::string ReadProcFile(int pid, const char* name) {
    const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
        if (got > 0)
            text.append(buffer, static_cast<std::size_t>(got));
    close(fd);
    return text;
}

} // namespace

int WatchChildEnds() {
    static const int readEnd = [] {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return -1;
        childEndsWrite = AboveStandard(ends[1]);
        struct sigaction action {};
        action.sa_sigaction = OnChildEnd;
        action.sa_flags = SA_SIGINFO | SA_RESTART | SA_NOCLDSTOP;
        sigemptyset(&action.sa_mask);
        if (sigaction(SIGCHLD, &action, &previousChildHandler) != 0)
            return -1;
        return AboveStandard(ends[0]);
    }();
    return readEnd;
}

void DrainDescriptor(int fd) {
    char buffer[256];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
}

bool AdoptOrphans() {
    return prctl(PR_SET_CHILD_SUBREAPER, 1UL, 0UL, 0UL, 0UL) == 0;
}

std::vector<ProcessInfo> ListProcesses() {
    std::vector<ProcessInfo> found;
    DIR* dir = opendir("/proc");
    if (dir == nullptr)
        return found;
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || pid <= 0 || pid > INT32_MAX)
            continue;
        const std::string stat = ReadProcFile(static_cast<int>(pid), "stat");
        // The command name in parentheses may hold spaces and parentheses.
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int parent = 0;
        int group = 0;
        int session = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d %d %d", &state, &parent, &group,
                        &session) != 4)
            continue;
        found.push_back({static_cast<int>(pid), parent, session, state == 'Z' || state == 'X'});
    }
    closedir(dir);
    return found;
}

int OwnPid() {
    return static_cast<int>(getpid());
}

int OwnSession() {
    return static_cast<int>(getsid(0));
}

bool HasEnvironmentEntry(int pid, const std::string& entry) {
    const std::string environment = ReadProcFile(pid, "environ");
    std::size_t at = 0;
    while (at < environment.size()) {
        std::size_t end = environment.find('\0', at);
        if (end == std::string::npos)
            end = environment.size();
        if (environment.compare(at, end - at, entry) == 0)
            return true;
        at = end + 1;
    }
    return false;
}

bool ChildHasEnded(int pid) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD;
    return info.si_pid == pid;
}

std::string SignalName(int signal) {
    const char* abbreviation = sigabbrev_np(signal);
    return abbreviation ? std::string("SIG") + abbreviation : std::string();
}

void CloseDescriptor(int fd) {
    if (fd >= 0)
        close(fd);
}

} // namespace platform
