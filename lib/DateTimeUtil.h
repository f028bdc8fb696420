#pragma once

#include "platform/regional.h"

#include <functional>
#include <string>

// Date-time: a day count from 1899-12-30 whose fraction is the time of day.
// Before that day the integer part counts back and the fraction still reads
// forward (-1.25 is 1899-12-29 06:00).
using TDateTime = double;

namespace dt {

constexpr double HoursPerDay = 24.0;
constexpr double SecsPerDay = 86400.0;
constexpr double MSecsPerDay = 86400000.0;

struct DateTimeFields {
    int Year = 1899;
    int Month = 12;
    int Day = 30;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// Year 1..9999, month 1..12, day within the month.
bool IsValidDate(int year, int month, int day);
// Hour 0..23, minute and second 0..59, millisecond 0..999.
bool IsValidTime(int hour, int minute, int second, int millisecond);

[[nodiscard]] bool TryEncodeDate(int year, int month, int day, TDateTime& result);
[[nodiscard]] bool TryEncodeTime(int hour, int minute, int second, int millisecond,
                                 TDateTime& result);
[[nodiscard]] bool TryEncodeDateTime(const DateTimeFields& f, TDateTime& result);
// Raises Exception on an invalid date or time.
TDateTime EncodeDateTime(const DateTimeFields& f);

// Splits a date-time into its fields, rounded to the nearest millisecond, so
// that EncodeDateTime(DecodeDateTime(x)) gives back x to the millisecond.
DateTimeFields DecodeDateTime(TDateTime value);

// Integer part, truncated towards zero.
TDateTime DatePart(TDateTime value);
// Fractional part (the time of day), never negative.
TDateTime TimePart(TDateTime value);
// 1 = Sunday, 2 = Monday, ... 7 = Saturday.
int DayOfWeek(TDateTime value);

// Formats with the patterns yyyy, mmm (regional month abbreviation), mm, dd,
// hh (00-23), nn, ss and zzz; any other character is copied as it stands.
std::string FormatDateTime(const std::string& pattern, TDateTime value);

// --- The clock seam: every "now" of the program comes from here. ---

// The current local date and time, from the machine or from a test's clock.
TDateTime Now();
// Date part of Now().
TDateTime Today();
// Replaces the clock (tests). An empty function restores the machine clock.
void SetClock(std::function<TDateTime()> clock);

// What the machine's clocks say about the time between two polls: wall time
// (UTC) and monotonic time in milliseconds, and the time spent suspended so
// far (boot time minus monotonic time).
struct ClockReadings {
    long long WallMs = 0;
    long long MonotonicMs = 0;
    long long SuspendedMs = 0;
};
ClockReadings ReadClocks();
// Replaces the clock readings (tests, simulations); empty restores the machine's.
void SetClockReadings(std::function<ClockReadings()> readings);

// Local times of day that a date does not have because the clock jumps
// forward over them (daylight saving begins): [StartMs, EndMs) in
// milliseconds since the local midnight; EndMs is the first local time after
// the jump. Empty on every other day.
struct SkippedTimes {
    long long StartMs = 0;
    long long EndMs = 0;
    bool Empty() const { return EndMs <= StartMs; }
};
// From the zone rules of the process's zone. The answer for the last day
// asked is kept, so a poll asks the zone rules once a day, not once a task.
SkippedTimes SkippedOn(TDateTime day);
// Switches the process to the named zone (empty: the zone it started with)
// and forgets the kept answers (tests and simulations).
void UseTimeZone(const char* name);

// --- The regional settings in force (month names, import reading rules). ---

// Taken from the C library's locale at the first call, unless set before.
const platform::RegionalSettings& Regional();
// Replaces the regional settings (start-up after reading the locale; tests).
void SetRegional(const platform::RegionalSettings& settings);

} // namespace dt
