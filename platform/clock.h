#pragma once

#include <cstdint>

namespace platform {

// Local wall-clock time split into calendar fields (month 1..12, hour 0..23).
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Reads the machine's local clock to the millisecond. Never fails.
// Program code reads "now" through the clock seam of lib/DateTimeUtil.h,
// which tests can set; only that seam calls this.
LocalTime ReadLocalClock();

// The machine's three clocks at one moment, in milliseconds. Boot time minus
// monotonic time grows only while the computer is suspended, and no change
// of the wall clock moves either of them; the wall clock (UTC, so daylight
// saving never shows) moving much more than monotonic time is a clock step.
struct ClockReadings {
    std::int64_t RealtimeMs = 0;
    std::int64_t MonotonicMs = 0;
    std::int64_t BoottimeMs = 0;
};
ClockReadings ReadClocks();

// The local time, in the process's zone, of an instant given in milliseconds
// since 1970-01-01 00:00 UTC. Lets tests and simulations walk real time across
// daylight-saving changes and see the local clock jump.
LocalTime LocalTimeAt(std::int64_t unixMs);

// The instant (milliseconds since 1970-01-01 UTC) of a local time in the
// process's zone. A local time that exists twice gives its first instant; one
// that does not exist gives the instant the clock jumped over it.
std::int64_t InstantOfLocalTime(const LocalTime& local);

// Local times of day that do not exist on a date because the clock jumps
// forward (daylight saving begins): [StartSecond, EndSecond) in seconds since
// the local midnight, EndSecond being the first local time after the jump.
// Empty (both 0) on a day without a jump.
struct SkippedTimes {
    int StartSecond = 0;
    int EndSecond = 0;
};
SkippedTimes SkippedLocalTimes(int year, int month, int day);

// Makes the process use the named zone ("Europe/Amsterdam"); an empty name
// goes back to the zone the process started with. For tests and simulations.
void SetTimeZone(const char* name);

} // namespace platform
