#include "platform/process.h"

#include "platform/files.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

namespace platform {

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

// The signal mask through the system call itself: the C library's wrappers
// leave its own internal signals out, and those must be blocked around vfork
// and unblocked for the program.
void SetSignalMask(int how, const sigset_t& set, sigset_t* old = nullptr) {
    syscall(SYS_rt_sigprocmask, how, &set, old, NSIG / 8);
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

[[noreturn]] void ExecChild(const char* program, char* const* argv, const char* folder, int devNull,
                            const ChildReport& report, int maxFd, int outputFd = -1) {
    // A fresh start: every signal at its default (an ignored one, such as
    // our SIGXFSZ, would survive exec) and none blocked, its own session (no
    // terminal's hang-up reaches it), nothing of ours open but /dev/null.
    // Defaults come before the unblocking, so that no pending signal reaches
    // one of our handlers here. Signals that cannot be changed just refuse.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig)
        sigaction(sig, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    SetSignalMask(SIG_SETMASK, none);
    if (setsid() < 0)
        Fail(report, errno);
    for (int target = 0; target <= 2; ++target)
        if (dup2(target > 0 && outputFd >= 0 ? outputFd : devNull, target) < 0)
            Fail(report, errno);
    if (folder[0] != '\0' && chdir(folder) != 0)
        Fail(report, errno);
    CloseOnExecAboveStandard(maxFd);
    execve(program, argv, environ);
    Fail(report, errno);
}

// Starts the program in a vforked child; returns its pid, or -1. error is
// the start's error (the child's exec included). Every signal is blocked
// meanwhile, so that none of our handlers runs in the child, which shares
// our memory, before it has reset them.
pid_t VforkExec(const char* program, char* const* argv, const char* folder, int devNull, int maxFd,
                int outputFd, int& error) {
    sigset_t all;
    std::memset(&all, 0xff, sizeof all);
    sigset_t previous;
    SetSignalMask(SIG_BLOCK, all, &previous);
    volatile int childError = 0;
    const pid_t pid = vfork();
    if (pid == 0)
        ExecChild(program, argv, folder, devNull, {-1, &childError}, maxFd, outputFd);
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

// Starts the command line; the child tells why its start failed.
StartedChild Launch(const std::string& commandLine, const std::string& workingFolder, Mode mode,
                    const std::string& outputFile) {
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

    rlimit limit{};
    int maxFd = 1024;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        maxFd = static_cast<int>(limit.rlim_cur < 65536 ? limit.rlim_cur : 65536);

    const int devNull = AboveStandard(open("/dev/null", O_RDWR | O_CLOEXEC));
    if (devNull < 0)
        return {errno};
    int output = -1;
    if (!outputFile.empty()) {
        output = AboveStandard(
            open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0600));
        if (output < 0) {
            const int error = errno;
            close(devNull);
            return {error};
        }
        // The lock belongs to the open file, which the program and whatever
        // it starts share: it goes when the last of them has ended.
        (void)flock(output, LOCK_EX | LOCK_NB);
    }
    auto closeOutput = [&output] {
        if (output >= 0)
            close(output);
        output = -1;
    };
    if (mode != Mode::Detached) {
        // vfork: the child borrows our memory until exec instead of copying
        // our page tables, which a large task list makes cost milliseconds
        // per start.
        StartedChild started;
        const pid_t pid = VforkExec(program.c_str(), argv.data(), workingFolder.c_str(), devNull,
                                    maxFd, output, started.Error);
        close(devNull);
        closeOutput();
        if (pid < 0)
            return started;
        if (mode == Mode::Wait || started.Error != 0) {
            Reap(pid);
            return started;
        }
        started.Pid = pid;
        started.PidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        if (started.PidFd >= 0)
            started.PidFd = AboveStandard(started.PidFd);
        if (started.PidFd >= 0)
            fcntl(started.PidFd, F_SETFD, FD_CLOEXEC);
        return started;
    }

    // A detached program needs a child between us and it, which exits at
    // once; vfork cannot give that, so this start forks.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        const int error = errno;
        close(devNull);
        closeOutput();
        return {error};
    }
    report[0] = AboveStandard(report[0]);
    report[1] = AboveStandard(report[1]);
    if (report[0] < 0 || report[1] < 0) {
        for (int fd : {report[0], report[1], devNull})
            if (fd >= 0)
                close(fd);
        closeOutput();
        return {EMFILE};
    }

    const pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        // The intermediate child exits at once and is reaped below; the
        // program, its child, is taken over by init, which reaps it.
        const pid_t grandchild = fork();
        if (grandchild < 0)
            Fail({report[1], nullptr}, errno);
        if (grandchild > 0)
            _exit(0);
        ExecChild(program.c_str(), argv.data(), workingFolder.c_str(), devNull,
                  {report[1], nullptr}, maxFd, output);
    }
    StartedChild started;
    started.Error = pid < 0 ? errno : 0;
    close(report[1]);
    close(devNull);
    closeOutput();
    if (pid > 0) {
        // End of file means that exec succeeded (the pipe closes on exec).
        int childError = 0;
        ssize_t got;
        while ((got = read(report[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
        }
        if (got == static_cast<ssize_t>(sizeof childError))
            started.Error = childError;
        // The program has started either way; a failed wait (a reaper set up
        // elsewhere) changes nothing of that.
        Reap(pid);
    }
    close(report[0]);
    return started;
}

} // namespace

int StartProcess(const std::string& commandLine, const std::string& workingFolder, bool wait) {
    return Launch(commandLine, workingFolder, wait ? Mode::Wait : Mode::Detached, {}).Error;
}

StartedChild StartChild(const std::string& commandLine, const std::string& workingFolder,
                        const std::string& outputFile) {
    return Launch(commandLine, workingFolder, Mode::Child, outputFile);
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

std::string SignalName(int signal) {
    const char* abbreviation = sigabbrev_np(signal);
    return abbreviation ? std::string("SIG") + abbreviation : std::string();
}

void CloseDescriptor(int fd) {
    if (fd >= 0)
        close(fd);
}

} // namespace platform
