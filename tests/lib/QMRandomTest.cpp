#include "lib/SupportLibrary.h"
#include "lib/classQMDateTime10.h"
#include "lib/classQMGuid10.h"
#include "lib/classQMRandom10.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

using testing_support::MakeDateTime;
using testing_support::TestClock;

namespace {

std::vector<double> Reals(TQMRandom& r, int n) {
    std::vector<double> v;
    for (int i = 0; i < n; ++i)
        v.push_back(r.NextReal());
    return v;
}

std::vector<int> Ints(TQMRandom& r, int n) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i)
        v.push_back(r.NextInRange());
    return v;
}

} // namespace

// Reference values from a separate plain-double model of the generator.
TEST(QMRandom, KnownSequences) {
    TQMRandom fresh;
    const double expected[] = {0.1711484140160541, 0.6423839055290095, 0.8688522419247349,
                               0.17056704304145157, 0.6933577548777696};
    for (double e : expected)
        EXPECT_NEAR(fresh.NextReal(), e, 1e-15);

    TQMRandom r;
    r.Seed(1);
    r.RangeHigh = 10000;
    EXPECT_EQ(Ints(r, 12), (std::vector<int>{1711, 6423, 8688, 1705, 6933, 2405, 2318, 9654, 6713,
                                             3133, 7224, 9897}));
    r.Seed(4711);
    EXPECT_EQ(Ints(r, 2), (std::vector<int>{2011, 5979}));
}

TEST(QMRandom, SeedsThatGiveTheSameSequence) {
    TQMRandom fresh, one, minusOne, a, b;
    one.Seed(1);
    minusOne.Seed(-1);
    const auto sequence = Reals(fresh, 200);
    EXPECT_EQ(sequence, Reals(one, 200));
    EXPECT_EQ(sequence, Reals(minusOne, 200));

    a.Seed(123456789);
    b.Seed(-123456789);
    const auto first = Reals(a, 300);
    EXPECT_EQ(first, Reals(b, 300));
    a.Seed(123456789); // reseeding restarts the sequence
    EXPECT_EQ(first, Reals(a, 300));

    TQMRandom other;
    other.Seed(123456790);
    EXPECT_NE(first, Reals(other, 300));
}

TEST(QMRandom, ExtremeSeedsStayInRange) {
    for (std::int32_t seed : {INT_MIN, INT_MAX, 0}) {
        TQMRandom r;
        r.Seed(seed);
        EXPECT_LE(r.SeedMagnitude, 0);
        for (int i = 0; i < 1000; ++i) {
            const double v = r.NextReal();
            ASSERT_GE(v, 0.0);
            ASSERT_LT(v, 1.0000000023);
            ASSERT_TRUE(r.State1 >= 0 && r.State1 < 259200);
            ASSERT_TRUE(r.State2 >= 0 && r.State2 < 134456);
            ASSERT_TRUE(r.State3 >= 0 && r.State3 < 243000);
        }
    }
}

TEST(QMRandom, EqualBoundsAlwaysGiveTheLowBound) {
    TQMRandom r;
    r.RangeLow = r.RangeHigh = -17;
    for (int v : Ints(r, 500))
        ASSERT_EQ(v, -17);
}

TEST(QMRandom, TableEntryAboveOneYieldsTheHighBound) {
    // States whose next steps are 259199 and 134400: the entry made from
    // them is slightly above 1.0.
    auto predecessor = [](int a, int c, int m, int target) {
        for (int s = 0; s < m; ++s)
            if ((static_cast<long long>(a) * s + c) % m == target)
                return s;
        return -1;
    };
    const int s1 = predecessor(7141, 54773, 259200, 259199);
    const int s2 = predecessor(8121, 28411, 134456, 134400);
    ASSERT_GE(s1, 0);
    ASSERT_GE(s2, 0);

    TQMRandom r;
    r.RangeLow = 0;
    r.RangeHigh = 10000;
    const int s3 = r.State3;
    r.State1 = s1;
    r.State2 = s2;
    r.NextReal();  // stores the entry in the slot that s3 picks
    r.State3 = s3; // the next draw picks the same slot
    EXPECT_EQ(r.NextInRange(), 10000);

    r.State1 = s1;
    r.State2 = s2;
    r.State3 = s3;
    r.NextReal();
    r.State3 = s3;
    const double v = r.NextReal();
    EXPECT_GT(v, 1.0);
    EXPECT_LT(v, 1.0000000023);
}

TEST(QMDateTime, SeedNumberFromTheClockSeam) {
    TQMDateTime clock;
    {
        TestClock tc(MakeDateTime(2026, 3, 7));
        EXPECT_EQ(clock.SeedNumber(), 372 * 2026 + 31 * 3 + 7);
        EXPECT_EQ(clock.Year, 2026);
        EXPECT_EQ(clock.Hour, 0);
    }
    {
        TestClock tc(MakeDateTime(2026, 3, 7, 9, 5, 3, 42));
        EXPECT_EQ(clock.SeedNumber(), 345195533);
        EXPECT_EQ(clock.Millisecond, 42);
        tc.Set(MakeDateTime(9999, 12, 31, 23, 59, 59, 999));
        EXPECT_EQ(clock.SeedNumber(), 913720020); // the largest; below 2^31
    }
    clock.Clear();
    EXPECT_EQ(clock.Year + clock.Month + clock.Day + clock.Millisecond, 0);
}

TEST(QMRandom, RandomizeSeedsFromTheClock) {
    TestClock tc(MakeDateTime(2026, 3, 7, 9, 5, 3, 42));
    TSupportLibrary support;
    TQMRandom r, expected;
    r.Randomize();
    expected.Seed(345195533);
    EXPECT_EQ(Reals(r, 50), Reals(expected, 50));
}
