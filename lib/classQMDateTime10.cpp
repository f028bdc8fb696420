#include "lib/classQMDateTime10.h"

#include "lib/DateTimeUtil.h"

void TQMDateTime::Clear() {
    Year = Day = Month = Hour = Minute = Second = Millisecond = 0;
}

void TQMDateTime::ReadLocalTime() {
    const dt::DateTimeFields f = dt::DecodeDateTime(dt::Now());
    Year = static_cast<std::uint16_t>(f.Year);
    Month = static_cast<std::uint16_t>(f.Month);
    Day = static_cast<std::uint16_t>(f.Day);
    Hour = static_cast<std::uint16_t>(f.Hour);
    Minute = static_cast<std::uint16_t>(f.Minute);
    Second = static_cast<std::uint16_t>(f.Second);
    Millisecond = static_cast<std::uint16_t>(f.Millisecond);
}

std::int64_t TQMDateTime::SeedNumber() {
    ReadLocalTime();
    // The fraction is summed in extended precision, then kept as a double.
    const double d = static_cast<double>(Hour / 24.0L + Minute / 1440.0L + Second / 86400.0L +
                                         Millisecond / 86400000.0L);
    const std::int64_t n = 372LL * Year + 31LL * Month + Day;
    return static_cast<std::int64_t>(910000000.0L * d + static_cast<long double>(n));
}
