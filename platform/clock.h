#pragma once

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

} // namespace platform
