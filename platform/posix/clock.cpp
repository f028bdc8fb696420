#include "platform/clock.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace platform {

namespace {

LocalTime FromTm(const std::tm& tm, int millisecond) {
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    // A leap second shows as 60; the calendar type has no room for it.
    t.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    t.millisecond = millisecond;
    return t;
}

long OffsetAt(std::time_t instant) {
    std::tm tm{};
    localtime_r(&instant, &tm);
    return tm.tm_gmtoff;
}

// Seconds from 1970-01-01 of a calendar date and time read as UTC.
std::time_t AsUtc(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return timegm(&tm);
}

// The zone the process started with, so that a test can go back to it.
std::optional<std::string>& StartZone() {
    static std::optional<std::string> zone = [] {
        const char* tz = std::getenv("TZ");
        return tz != nullptr ? std::optional<std::string>(tz) : std::nullopt;
    }();
    return zone;
}

} // namespace

LocalTime ReadLocalClock() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    localtime_r(&ts.tv_sec, &tm);
    return FromTm(tm, static_cast<int>(ts.tv_nsec / 1000000));
}

namespace {

std::int64_t ReadMs(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

ClockReadings ReadClocks() {
    return {ReadMs(CLOCK_REALTIME), ReadMs(CLOCK_MONOTONIC), ReadMs(CLOCK_BOOTTIME)};
}

LocalTime LocalTimeAt(std::int64_t unixMs) {
    std::int64_t seconds = unixMs / 1000;
    std::int64_t ms = unixMs % 1000;
    if (ms < 0) {
        ms += 1000;
        --seconds;
    }
    const auto instant = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&instant, &tm);
    return FromTm(tm, static_cast<int>(ms));
}

std::int64_t InstantOfLocalTime(const LocalTime& local) {
    // Read the wall-clock fields as UTC, then try the offsets in force a day
    // before and a day after: a candidate is right when its own offset is the
    // one subtracted.
    const std::time_t wall =
        AsUtc(local.year, local.month, local.day, local.hour, local.minute, local.second);
    const long before = OffsetAt(wall - 86400);
    const long after = OffsetAt(wall + 86400);
    const std::time_t first = wall - (before > after ? before : after);
    const std::time_t second = wall - (before > after ? after : before);
    std::time_t result = 0;
    if (OffsetAt(first) == wall - first)
        result = first; // also the earlier one of a repeated hour
    else if (OffsetAt(second) == wall - second)
        result = second;
    else {
        // Skipped: the change lies between the two candidates.
        std::time_t low = first;
        std::time_t high = second;
        const long lowOffset = OffsetAt(low);
        while (high - low > 1) {
            const std::time_t middle = low + (high - low) / 2;
            (OffsetAt(middle) == lowOffset ? low : high) = middle;
        }
        result = high;
    }
    return static_cast<std::int64_t>(result) * 1000 + local.millisecond;
}

SkippedTimes SkippedLocalTimes(int year, int month, int day) {
    const std::time_t midnight = AsUtc(year, month, day, 0, 0, 0);
    // Whatever the zone's offset (within a day either way), the local day
    // lies inside this span of instants. Offsets change at most a few times
    // a year, so hourly steps find every change; a bisection finds its second.
    const std::time_t from = midnight - 26 * 3600;
    const std::time_t to = midnight + 50 * 3600;
    long previous = OffsetAt(from);
    for (std::time_t t = from + 3600; t <= to; t += 3600) {
        const long offset = OffsetAt(t);
        if (offset != previous) {
            std::time_t low = t - 3600; // old offset
            std::time_t high = t;       // new offset
            while (high - low > 1) {
                const std::time_t middle = low + (high - low) / 2;
                (OffsetAt(middle) == previous ? low : high) = middle;
            }
            if (offset > previous) {
                // The wall clock read high + previous just before the change
                // and high + offset right after it.
                const long long start = static_cast<long long>(high) + previous - midnight;
                const long long end = static_cast<long long>(high) + offset - midnight;
                if (start >= 0 && start < 86400)
                    return {static_cast<int>(start), static_cast<int>(end < 86400 ? end : 86400)};
            }
        }
        previous = offset;
    }
    return {};
}

void SetTimeZone(const char* name) {
    const std::optional<std::string>& start = StartZone();
    if (name != nullptr && *name != '\0')
        setenv("TZ", name, 1);
    else if (start)
        setenv("TZ", start->c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

} // namespace platform
