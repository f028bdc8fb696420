#pragma once

#include "scheduler/classQMTask.h"

#include <optional>

// Why a poll did not see a start window: the program was not running, the
// computer was suspended, the wall clock was set forward over the window, or
// the program was held up (stopped, or busy) for longer than the window, or
// the program ended after the start was made durable and before its program
// started.
enum class TMissCause { NotRunning, Asleep, ClockSetForward, HeldUp, EndedBeforeStart };
const char* MissCauseText(TMissCause cause);

// The time between two looks at the tasks: the previous poll (or the moment
// the program last ran, when it was not running) and this poll. The clock
// readings tell a suspend or a clock step from a poll held up; they are not
// looked at when the program was not running.
struct TPollGap {
    TDateTime Since = 0; // local time of the previous look
    TDateTime Now = 0;   // local time of this poll
    bool ProgramWasOff = false;
    dt::ClockReadings Before;
    dt::ClockReadings After;
};

// Only a gap longer than a start window can have hidden a whole window.
bool CanHideAWindow(const TPollGap& gap);
TMissCause CauseOf(const TPollGap& gap);

// What becomes of a missed start.
enum class TCatchUp {
    No,              // the task did not ask for it: the start is only told
    Run,             // run it once, in place of the missed start
    TooOld,          // the start is more than CatchUpMaxAgeDays old
    NextStartServes, // a regular start comes within the hour of the catch-up
};
const char* CatchUpText(TCatchUp outcome); // "not caught up: ..."; empty for No and Run

struct TMissedStart {
    TDateTime Start = 0; // when the missed window opened (local time)
    TMissCause Cause = TMissCause::NotRunning;
    TCatchUp CatchUp = TCatchUp::No;
};

constexpr long long StartWindowMs = 30000;
constexpr double CatchUpMaxAgeDays = 7;
constexpr long long CatchUpSettleMs = 60000; // after start-up or resume
constexpr long long CatchUpSpacingMs = 5000; // between two catch-ups
constexpr long long NextStartServesMs = 3600000;

// The latest start of the task whose whole window lies inside the gap, on a
// day the task is meant for, after its schedule was set, and with no run
// standing for it; nothing when there is none. A task that is not active
// now has nothing to miss (a change of the flag restarts the count).
std::optional<TDateTime> LatestMissedStart(const TQMTask& task, TDateTime since, TDateTime now);

// Whether a catch-up of `start`, decided at `now`, may run at `runAt`: not
// when a regular start of the task comes (from now on) within the hour of
// runAt. A run since the start clears what is owed when it runs.
TCatchUp CatchUpAt(const TQMTask& task, TDateTime start, TDateTime now, TDateTime runAt);

// The whole decision for one task and one gap; the catch-up is judged for
// the earliest moment it may run, CatchUpSettleMs after this poll when the
// program has just started or the computer resumed.
std::optional<TMissedStart> DecideMissedStart(const TQMTask& task, const TPollGap& gap);
