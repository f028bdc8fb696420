#pragma once

#include <cstdint>

// One reading of the local clock, split into fields, and the seed number
// made from it. The clock is read through the clock seam (dt::Now()).
class TQMDateTime {
public:
    TQMDateTime() { Clear(); }

    void Clear();
    // Reads the local clock into the fields.
    void ReadLocalTime();
    // Reads the local clock, then 372 * Year + 31 * Month + Day plus
    // 910000000 times the time of day as a fraction of the day, truncated.
    std::int64_t SeedNumber();

    std::uint16_t Year = 0;
    std::uint16_t Day = 0;
    std::uint16_t Month = 0;
    std::uint16_t Hour = 0;
    std::uint16_t Minute = 0;
    std::uint16_t Second = 0;
    std::uint16_t Millisecond = 0;
};
