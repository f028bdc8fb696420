#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Splits a command line into arguments by the POSIX shell's quoting rules,
// without any expansion: blanks (space, tab, line feed) separate arguments;
// '...' keeps everything literally; "..." keeps everything except that a
// backslash before $ ` " \ or a line feed escapes it; outside quotes a
// backslash keeps the next character (a backslash-line feed pair vanishes).
// "" and '' give an empty argument. A quote left open runs to the end.
// Variables, globs, tildes and operators are ordinary characters.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Puts a text in double quotes so that SplitCommandLine gives it back as one
// argument, whatever characters it holds.
std::string QuoteArgument(const std::string& text);

// Starts the command line (split as above) as a new process. A first
// argument without '/' is looked up in PATH. The process gets the working
// folder, the inherited environment, /dev/null as standard input and output,
// no other descriptor of this process and a session of its own.
// Without wait it is detached: it is never a child of this process, so it
// leaves no zombie and outlives this process. With wait the call returns when
// the process has ended.
// Returns 0 when the program was started, else the errno value of the
// failure (ENOENT, EACCES, ENOEXEC, ...).
[[nodiscard]] int StartProcess(const std::string& commandLine, const std::string& workingFolder,
                               bool wait);

// A program started as a direct child of this process, so that its end can be
// watched and its result read.
struct StartedChild {
    int Error = 0;     // 0, or the errno value of the failed start
    int Pid = -1;      // also the id of its process group and session
    int PidFd = -1;    // readable once the child has ended; -1 where the system has none
    int OutputFd = -1; // non-blocking read end of the pipe that takes its output
};

// The environment variable that marks every process of a run, whatever
// session or parent it ends up with: its value is the run's marker.
inline constexpr const char* RunMarkerVariable = "QMTS_RUN";

// Runs between the start of the child and its exec, with the child's process
// id; the program is executed only once it has returned.
using BeforeExec = std::function<void(int pid)>;

// As StartProcess without wait, but the program stays this process's child:
// it must be reaped with ReapChild. Standard output and error go to a pipe
// whose read end (OutputFd) the caller reads and closes: a writer faster
// than its reader waits, so no rate of output can fill a disk. The program's
// environment holds RunMarkerVariable=marker. Without beforeExec the child
// borrows this process's memory until exec (vfork), which keeps starts cheap
// with a large task list; with it the child is forked and waits for it.
[[nodiscard]] StartedChild StartChild(const std::string& commandLine,
                                      const std::string& workingFolder, const std::string& marker,
                                      const BeforeExec& beforeExec = {});

// Whether StartChild hands out process descriptors (PidFd). On by default
// where the system has them; off, ends are seen through WatchChildEnds only,
// as on systems without them.
void UseProcessDescriptors(bool use);

// Installs a SIGCHLD handler, once per process, that writes a byte to a
// descriptor which this returns (-1 when it could not be installed). A
// handler installed before is still called. Read it empty with
// DrainDescriptor, then look for ended children.
[[nodiscard]] int WatchChildEnds();
void DrainDescriptor(int fd);

// Makes this process the child subreaper of everything it starts: a process
// whose parent ends comes back to it instead of to init, so that it can be
// found and stopped, and must be reaped. False when the system refuses.
bool AdoptOrphans();

// A process as the system lists it.
struct ProcessInfo {
    int Pid = 0;
    int Parent = 0;
    int Session = 0;
    bool Ended = false; // a zombie, waiting to be reaped
};
// Every process now; one that ends while it is read is left out.
std::vector<ProcessInfo> ListProcesses();
// This process's own id and session.
int OwnPid();
int OwnSession();
// Whether the process's environment holds the entry ("NAME=value"); false
// when it cannot be read (another user's process, one that has ended).
bool HasEnvironmentEntry(int pid, const std::string& entry);
// Whether the child has ended, leaving it to be reaped.
bool ChildHasEnded(int pid);

// How a child ended.
struct ChildEnd {
    bool Ended = false; // false while it runs
    bool Signaled = false;
    bool Lost = false; // reaped elsewhere: how it ended is not known
    int Code = 0;      // exit status, or the signal's number
};

// Reaps the child when it has ended, without waiting.
ChildEnd ReapChild(int pid);

// Asks the child's process group to end (SIGTERM), or with force ends it (SIGKILL).
void SignalProcessGroup(int pid, bool force);
// The same for one process.
void SignalProcess(int pid, bool force);
// The number of the signal those send.
int StopSignal(bool force);

// The signal's short name ("SIGTERM"); empty when unknown.
std::string SignalName(int signal);

// Closes a descriptor that this layer handed out (a PidFd).
void CloseDescriptor(int fd);

} // namespace platform
