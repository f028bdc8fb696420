#pragma once

#include "lib/DateTimeUtil.h"

#include <cstddef>
#include <string>

// A task's run as the scheduler reports it and the history keeps it.

// How much of a run's standard output and error is kept: its end.
constexpr std::size_t RunOutputTailBytes = 64 * 1024;

// What a run came to.
enum class TRunOutcome : int {
    Running = 0,    // started, end not seen yet
    Exited = 1,     // Code = exit status
    Signaled = 2,   // Code = signal number, Detail = its name
    NotStarted = 3, // Detail = the reason
    TimedOut = 4,   // Code = the limit in minutes
    Unknown = 5,    // the scheduler ended before the run did
    Opened = 6,     // a document handed to its application, Detail = the application
};

// One run of a task, as kept in the database.
struct TRunRecord {
    long long Id = 0;
    std::string TaskGuid;
    std::string TaskName;   // at the time of the run
    std::string HowStarted; // "scheduled", "by hand", "early", ...
    TDateTime Start = 0;
    TDateTime End = 0; // 0 while running
    // Measured on the monotonic clock, which no clock change moves; -1 when
    // not measured (End - Start counts then).
    long long ElapsedMs = -1;
    TRunOutcome Outcome = TRunOutcome::Running;
    int Code = 0;
    std::string Detail;
    std::string Output; // the last RunOutputTailBytes of standard output and error
    // Where the output goes while the run is on; after its end, the file the
    // history removes once the record is kept.
    std::string OutputFile;
    // Starts tried for this run: a program file that is missing is looked
    // for again at every poll of the start window, which is one run.
    int Tries = 1;
};

// The result in words: "exit status 3", "ended by signal 15 (SIGTERM)",
// "could not start: file not found (16 tries)", ...
std::string ResultText(const TRunRecord& run);
// A result worth a mark and a log line: anything but exit status 0, a
// document opened or a run still going (an end nobody saw counts).
bool IsFailure(const TRunRecord& run);
// Duration in whole milliseconds, as measured when there is a measure; 0
// while running.
long long DurationMs(const TRunRecord& run);
