#include "lib/classSHA10.h"

#include <cstring>

namespace {

constexpr std::uint32_t Rol(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

} // namespace

void TSHA::Init() {
    Hash = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    BitCountLow = 0;
    BitCountHigh = 0;
}

void TSHA::Update(const void* data, std::uint32_t count) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t pos = (BitCountLow >> 3) % 64;

    const std::uint32_t bits = count << 3;
    BitCountLow += bits;
    if (BitCountLow < bits)
        ++BitCountHigh;
    BitCountHigh += count >> 29;

    if (count < 64 - pos) {
        if (count > 0)
            std::memcpy(Block.data() + pos, bytes, count);
        return;
    }
    std::uint32_t used = 64 - pos;
    std::memcpy(Block.data() + pos, bytes, used);
    ProcessBlock();
    while (count - used >= 64) {
        std::memcpy(Block.data(), bytes + used, 64);
        ProcessBlock();
        used += 64;
    }
    if (count > used)
        std::memcpy(Block.data(), bytes + used, count - used);
}

void TSHA::ProcessBlock() {
    for (int i = 0; i < 16; ++i)
        Work[i] = std::uint32_t{Block[4 * i]} << 24 | std::uint32_t{Block[4 * i + 1]} << 16 |
                  std::uint32_t{Block[4 * i + 2]} << 8 | std::uint32_t{Block[4 * i + 3]};

    std::uint32_t a = Hash[0], b = Hash[1], c = Hash[2], d = Hash[3], e = Hash[4];
    for (int s = 0; s < 80; ++s) {
        if (s >= 16)
            Work[s % 16] = Rol(
                Work[(s + 13) % 16] ^ Work[(s + 8) % 16] ^ Work[(s + 2) % 16] ^ Work[s % 16], 1);
        std::uint32_t f, k;
        if (s < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (s < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (s < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t t = Rol(a, 5) + f + e + k + Work[s % 16];
        e = d;
        d = c;
        c = Rol(b, 30);
        b = a;
        a = t;
    }
    Hash[0] += a;
    Hash[1] += b;
    Hash[2] += c;
    Hash[3] += d;
    Hash[4] += e;
}

void TSHA::Final() {
    std::uint8_t length[8];
    for (int i = 0; i < 4; ++i) {
        length[i] = static_cast<std::uint8_t>(BitCountHigh >> (24 - 8 * i));
        length[4 + i] = static_cast<std::uint8_t>(BitCountLow >> (24 - 8 * i));
    }
    static constexpr std::uint8_t Padding[120] = {0x80};
    const std::uint32_t pos = (BitCountLow >> 3) % 64;
    Update(Padding, pos < 56 ? 56 - pos : 120 - pos);
    Update(length, 8);

    for (int i = 0; i < 20; ++i)
        Digest[i] = static_cast<std::uint8_t>(Hash[i / 4] >> (24 - 8 * (i % 4)));

    // Nothing of the message stays behind in the object.
    Hash.fill(0);
    BitCountLow = 0;
    BitCountHigh = 0;
    Block.fill(0);
    Work.fill(0);
}
