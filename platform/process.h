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

} // namespace platform
