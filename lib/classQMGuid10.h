#pragma once

#include "lib/classQMRandom10.h"

#include <cstdint>

class TQMString;

// Makes task identifiers: the SHA-1 digest, in 40 upper-case hexadecimal
// digits, of the seed text R.C.V.year:month:day.hour:minute:second:millisecond
// (a random number, the per-run counter, the volume serial and the local
// time). Uses the process-wide TSHA and TQMDateTime of TSupportLibrary.
class TQMGUID {
public:
    // Counter 1, Generator in the range 0 to 10000.
    TQMGUID();

    // Reseeds Generator from the local clock.
    void Randomize();
    // Replaces target's content with a new identifier.
    void NewIdentifier(TQMString& target);
    // Replaces text's content with a new seed text; advances Counter.
    void BuildSeedText(TQMString& text);
    // target := the 40 hexadecimal digits of the SHA-1 digest of seed.
    void HashToHex(const TQMString& seed, TQMString& target);
    // Advances Counter; after 0xFFFFFFFF comes 1, so 0 is never used.
    void NextCounter();

    // Written as a signed number: from 0x80000000 on with a minus sign.
    std::uint32_t Counter = 1;
    TQMRandom Generator;
};
