#pragma once

#include <array>
#include <cstdint>

// A SHA-1 digest: the five chaining words, most significant byte first.
using TSHADigest = std::array<std::uint8_t, 20>;

// Incremental SHA-1 (FIPS 180-1). One digest: Init, Update any number of
// times, Final, GetDigest. Final clears the working state, so the object must
// be initialised again (Init or Reset) before the next message.
class TSHA {
public:
    // Every field zero; not yet initialised.
    TSHA() = default;

    // Chaining words := the SHA-1 initial values; bit count := 0.
    void Init();
    // Feeds count bytes; data may be null when count is 0.
    void Update(const void* data, std::uint32_t count);
    // Completes the message, stores the digest and clears the working state.
    void Final();
    // The digest of the last finished message.
    void GetDigest(TSHADigest& digest) const { digest = Digest; }
    void Reset() { Init(); }

private:
    void ProcessBlock();

    std::array<std::uint32_t, 5> Hash{};
    std::uint32_t BitCountLow = 0;
    std::uint32_t BitCountHigh = 0;
    std::array<std::uint8_t, 64> Block{};
    // The block as big-endian words, expanded in place: the schedule word
    // of step s lives in slot s mod 16.
    std::array<std::uint32_t, 16> Work{};
    TSHADigest Digest{};
};
