#include "lib/classSHA10.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Hex(const TSHADigest& d) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (auto b : d) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::string Digest(TSHA& sha, const std::string& message) {
    sha.Init();
    sha.Update(message.data(), static_cast<std::uint32_t>(message.size()));
    sha.Final();
    TSHADigest d;
    sha.GetDigest(d);
    return Hex(d);
}

std::string Pattern(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += static_cast<char>('A' + i % 26);
    return s;
}

std::string RandomMessage(unsigned seed, size_t n) {
    std::mt19937 g(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(g() & 0xFF);
    return s;
}

// Expected digests were computed once with the machine's sha1sum.
struct Vector {
    std::string message;
    const char* digest;
};

std::vector<Vector> KnownVectors() {
    return {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {Pattern(55), "ebd854f0c7c9f58a1d5af5dee2b4c039902f945b"},
        {Pattern(56), "45fe53c317500145812034ecf0061f12af48d782"},
        {Pattern(63), "e35dbc73b66138acbbbf224729361960c2507b5b"},
        {Pattern(64), "220faa7c1778bd2cc286c8b9ccec03e1131b52d8"},
        {Pattern(65), "8c0cb26e8dea375bc6bce44b385942f967994e44"},
        {Pattern(119), "7c45a39ccc9d19373773c33d8e9d9d2643fbd8c8"},
        {Pattern(120), "3177f24a0f2a5c69c1c3dfd44b6bb25609930636"},
        {Pattern(128), "f113310a7d2ca67c152400c68027d62e769f4ad8"},
        {RandomMessage(1, 1), "4345cb1fa27885a8fbfe7c0c830a592cc76a552b"},
        {RandomMessage(2, 200), "30cd6ab335488ad26ef978e0168079c7a653f17f"},
        {RandomMessage(3, 1000), "02fab9a6a0f0b5d812a94ccafee523b81e6be78d"},
        {RandomMessage(4, 4097), "8837fa1b943bd32acb4e203b1642908176906b3b"},
        {RandomMessage(5, 70001), "1d8a403b56aca5e851d7dd01f6804add5fe2d9ea"},
    };
}

} // namespace

TEST(SHA, KnownDigestsInOneRun) {
    TSHA sha; // one object reused, as the process-wide one is
    for (const auto& v : KnownVectors())
        EXPECT_EQ(Digest(sha, v.message), v.digest) << "length " << v.message.size();
}

TEST(SHA, RunsOfAnySizeGiveTheSameDigest) {
    std::mt19937 g(99);
    TSHA sha;
    for (const auto& v : KnownVectors()) {
        for (int round = 0; round < 5; ++round) {
            sha.Init();
            size_t pos = 0;
            while (pos < v.message.size()) {
                // Mostly short runs, some across several blocks, some empty.
                size_t run = g() % 4 == 0 ? g() % 300 : g() % 70;
                if (g() % 5 == 0)
                    sha.Update(nullptr, 0);
                run = std::min(run, v.message.size() - pos);
                sha.Update(v.message.data() + pos, static_cast<std::uint32_t>(run));
                pos += run;
            }
            sha.Final();
            TSHADigest d;
            sha.GetDigest(d);
            ASSERT_EQ(Hex(d), v.digest) << "length " << v.message.size() << ", round " << round;
        }
    }
}

TEST(SHA, DigestStaysUntilTheNextFinalAndObjectIsReusable) {
    TSHA sha;
    EXPECT_EQ(Digest(sha, "abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    TSHADigest first, second;
    sha.GetDigest(first);
    // A message fed after Reset does not touch the stored digest until Final.
    sha.Reset();
    sha.Update("xyz", 3);
    sha.GetDigest(second);
    EXPECT_EQ(first, second);
    sha.Final();
    sha.GetDigest(second);
    EXPECT_NE(first, second);
    // Final left nothing behind: the next message starts clean.
    sha.Reset();
    sha.Final();
    sha.GetDigest(second);
    EXPECT_EQ(Hex(second), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}
