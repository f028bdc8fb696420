#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The end of a log file, read for showing it.
struct TLogTail {
    enum class TState { Read, Missing, Unreadable };
    TState State = TState::Missing;
    // Why the file could not be read (Unreadable only).
    std::string Error;
    // The last lines, oldest first, without their line ends; bytes as written.
    std::vector<std::string> Lines;
};

// Reads the last `maxLines` lines of the file. Only the end of the file is
// read, backwards in blocks, and never more than `maxBytes`: the cost does not
// grow with the length of the log. A line longer than that is returned cut at
// its start. Line ends may be "\r\n" or "\n".
TLogTail ReadLogTail(const std::string& path, int maxLines,
                     std::int64_t maxBytes = std::int64_t(4) << 20);
