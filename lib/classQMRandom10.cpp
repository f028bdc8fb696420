#include "lib/classQMRandom10.h"

#include "lib/SupportLibrary.h"
#include "lib/classQMDateTime10.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

constexpr std::int32_t M1 = 259200, IA1 = 7141, IC1 = 54773;
constexpr std::int32_t M2 = 134456, IA2 = 8121, IC2 = 28411;
constexpr std::int32_t M3 = 243000, IA3 = 4561, IC3 = 51349;

// In 64 bits, so that a state set from outside cannot overflow; for states
// in their generator's range the result is that of 32-bit arithmetic.
std::int32_t Step(std::int32_t state, std::int32_t a, std::int32_t c, std::int32_t m) {
    return static_cast<std::int32_t>((static_cast<std::int64_t>(a) * state + c) % m);
}

// The two factors are these decimal constants, slightly above 1/M2 and 1/M1.
double Value(std::int32_t s1, std::int32_t s2) {
    return static_cast<double>((s1 + s2 * 7.4373773e-6L) * 3.8580247e-6L);
}

} // namespace

TQMRandom::TQMRandom() {
    Seed(-1);
    RangeLow = 0;
    RangeHigh = 100;
}

void TQMRandom::Seed(std::int32_t seed) {
    // -|INT32_MIN| still fits; the 64-bit form avoids the overflow of abs.
    SeedMagnitude = static_cast<std::int32_t>(-std::llabs(static_cast<long long>(seed)));
    Generate(true);
}

void TQMRandom::Randomize() {
    TQMDateTime& clock = TSupportLibrary::DateTime();
    clock.ReadLocalTime();
    Seed(static_cast<std::int32_t>(clock.SeedNumber()));
}

double TQMRandom::NextReal() {
    return Generate(false);
}

std::int32_t TQMRandom::NextInRange() {
    const double span = static_cast<double>(static_cast<std::int64_t>(RangeHigh) - RangeLow);
    const std::int64_t result = RangeLow + static_cast<std::int64_t>(std::trunc(NextReal() * span));
    // Only an entry above 1.0 with a range near 2^32 wide could leave 32 bits.
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(result, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

double TQMRandom::Generate(bool initialise) {
    if (initialise) {
        State1 = static_cast<std::int32_t>((IC1 - static_cast<std::int64_t>(SeedMagnitude)) % M1);
        State1 = Step(State1, IA1, IC1, M1);
        State2 = State1 % M2;
        State1 = Step(State1, IA1, IC1, M1);
        State3 = State1 % M3;
        for (int j = 1; j <= 97; ++j) {
            State1 = Step(State1, IA1, IC1, M1);
            State2 = Step(State2, IA2, IC2, M2);
            Table[j] = Value(State1, State2);
        }
    }
    State1 = Step(State1, IA1, IC1, M1);
    State2 = Step(State2, IA2, IC2, M2);
    State3 = Step(State3, IA3, IC3, M3);
    const std::int64_t j = 1 + (97LL * State3) / M3;
    // A state set from outside its range could point past the table.
    const auto slot = static_cast<size_t>(std::clamp<std::int64_t>(j, 1, 97));
    const double result = Table[slot];
    Table[slot] = Value(State1, State2);
    return result;
}
