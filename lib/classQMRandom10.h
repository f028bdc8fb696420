#pragma once

#include <array>
#include <cstdint>

// Seedable pseudo-random generator: three linear congruential generators,
// two of which build each value while the third picks the slot of a 97-entry
// shuffle table. Values lie in [0, 1), except for the rare table entry made
// while State1 is 259199 and State2 is 134378 or more, which is slightly
// above 1.0 (NextInRange then yields RangeHigh itself).
class TQMRandom {
public:
    // Seed(-1), range 0 to 100.
    TQMRandom();

    // Restarts the sequence; Seed(s) and Seed(-s) are the same sequence.
    void Seed(std::int32_t seed);
    // Seeds from the local clock, through the process-wide TQMDateTime
    // (raises Exception when the support library has not been started).
    void Randomize();
    double NextReal();
    // RangeLow + (NextReal() * (RangeHigh - RangeLow)) truncated toward zero.
    std::int32_t NextInRange();
    // One generator step; with initialise set, refills the table first.
    double Generate(bool initialise);

    std::int32_t State1 = 0;
    std::int32_t State2 = 0;
    std::int32_t State3 = 0;
    // Entries 1 to 97; slot 0 is not used.
    std::array<double, 98> Table{};
    // Minus the absolute value of the last seed.
    std::int32_t SeedMagnitude = 0;
    std::int32_t RangeLow = 0;
    std::int32_t RangeHigh = 100;
};
