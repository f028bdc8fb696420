#pragma once

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
    int Error = 0;  // 0, or the errno value of the failed start
    int Pid = -1;   // also the id of its process group and session
    int PidFd = -1; // readable once the child has ended; -1 where the system has none
};

// As StartProcess without wait, but the program stays this process's child:
// it must be reaped with ReapChild. Standard output and error are appended to
// outputFile (created for its owner only; /dev/null when empty), so that a
// program that outlives this process never meets a closed or full pipe. The
// output file stays locked while any process holds it (IsOutputFileHeld).
[[nodiscard]] StartedChild StartChild(const std::string& commandLine,
                                      const std::string& workingFolder,
                                      const std::string& outputFile);

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

// The signal's short name ("SIGTERM"); empty when unknown.
std::string SignalName(int signal);

// Closes a descriptor that this layer handed out (a PidFd).
void CloseDescriptor(int fd);

} // namespace platform
