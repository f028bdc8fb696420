#include "lib/classQMGuid10.h"

#include "lib/SupportLibrary.h"
#include "lib/classQMDateTime10.h"
#include "lib/classQMPlatformUtils10.h"
#include "lib/classQMString10.h"
#include "lib/classSHA10.h"

#include <utility>

TQMGUID::TQMGUID() {
    Generator.RangeLow = 0;
    Generator.RangeHigh = 10000;
}

void TQMGUID::Randomize() {
    Generator.Randomize();
}

void TQMGUID::NewIdentifier(TQMString& target) {
    TQMString seed;
    BuildSeedText(seed);
    HashToHex(seed, target);
}

void TQMGUID::BuildSeedText(TQMString& text) {
    text.Clear();
    text.SetCapacity(60);
    text.AssignInt(Generator.NextInRange());
    text.AppendChar('.');
    text.AppendInt(static_cast<std::int32_t>(Counter));
    NextCounter();
    text.AppendChar('.');
    text.AppendInt(static_cast<std::int32_t>(TQMPlatformUtils::VolumeSerialNumber()));

    // One clock reading for all date and time pieces.
    TQMDateTime& clock = TSupportLibrary::DateTime();
    clock.ReadLocalTime();
    const std::pair<char, std::uint16_t> pieces[] = {
        {'.', clock.Year},   {':', clock.Month},  {':', clock.Day},        {'.', clock.Hour},
        {':', clock.Minute}, {':', clock.Second}, {':', clock.Millisecond}};
    for (const auto& [separator, value] : pieces) {
        text.AppendChar(separator);
        text.AppendInt(value);
    }
}

void TQMGUID::HashToHex(const TQMString& seed, TQMString& target) {
    TSHA& sha = TSupportLibrary::SHA();
    sha.Init();
    sha.Update(seed.Text(), static_cast<std::uint32_t>(seed.Length()));
    sha.Final();
    TSHADigest digest;
    sha.GetDigest(digest);
    // Written only after the digest, so that seed and target may be one buffer.
    target.Clear();
    target.SetCapacity(42);
    for (std::uint8_t byte : digest)
        target.AppendHex8(byte);
    sha.Reset();
}

void TQMGUID::NextCounter() {
    if (Counter == 0xFFFFFFFFu)
        Counter = 1;
    else
        ++Counter;
}
