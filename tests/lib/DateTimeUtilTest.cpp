#include "lib/DateTimeUtil.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace testing_support;

TEST(DateTimeUtil, KnownDayNumbersAndWeekdays) {
    EXPECT_EQ(MakeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(MakeDateTime(1990, 1, 1), 32874.0);
    EXPECT_EQ(MakeDateTime(1, 1, 1), -693593.0);
    EXPECT_EQ(MakeDateTime(9999, 12, 31), 2958465.0);
    EXPECT_EQ(dt::DayOfWeek(MakeDateTime(1899, 12, 30)), 7); // Saturday
    EXPECT_EQ(dt::DayOfWeek(MakeDateTime(2026, 12, 6)), 1);  // Sunday
    EXPECT_EQ(dt::DayOfWeek(MakeDateTime(2026, 12, 7, 23, 59)), 2);
    EXPECT_EQ(dt::DayOfWeek(MakeDateTime(1, 1, 1)), 2); // a Monday
}

TEST(DateTimeUtil, PartsBeforeAndAfterDayZero) {
    TDateTime v = MakeDateTime(1899, 12, 29, 6);
    EXPECT_DOUBLE_EQ(v, -1.25);
    EXPECT_EQ(dt::DatePart(v), -1.0);
    EXPECT_DOUBLE_EQ(dt::TimePart(v), 0.25);
    auto f = dt::DecodeDateTime(v);
    EXPECT_EQ(f.Day, 29);
    EXPECT_EQ(f.Hour, 6);
    // The fraction reads forward on either side of day 0, so a time that
    // rounds up to midnight always lands on the following day.
    EXPECT_EQ(dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", -1.9999999999),
              "1899-12-30 00:00:00.000");
    EXPECT_EQ(dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", -0.9999999999),
              "1899-12-31 00:00:00.000");
    EXPECT_EQ(dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", -1.9999999), "1899-12-29 23:59:59.991");
}

TEST(DateTimeUtil, EncodeDecodeRoundTripsToTheMillisecond) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> year(1, 9999), month(1, 12), day(1, 31), hour(0, 23),
        minute(0, 59), ms(0, 999);
    for (int i = 0; i < 20000; ++i) {
        dt::DateTimeFields f{year(rng),   month(rng),  day(rng), hour(rng),
                             minute(rng), minute(rng), ms(rng)};
        f.Day = std::min(f.Day, dt::DaysInMonth(f.Year, f.Month));
        TDateTime v = dt::EncodeDateTime(f);
        auto g = dt::DecodeDateTime(v);
        ASSERT_EQ(std::tie(f.Year, f.Month, f.Day, f.Hour, f.Minute, f.Second, f.Millisecond),
                  std::tie(g.Year, g.Month, g.Day, g.Hour, g.Minute, g.Second, g.Millisecond))
            << "at iteration " << i;
    }
}

TEST(DateTimeUtil, RejectsInvalidFields) {
    TDateTime v = 0;
    EXPECT_FALSE(dt::TryEncodeDate(2023, 2, 29, v));
    EXPECT_TRUE(dt::TryEncodeDate(2024, 2, 29, v));
    EXPECT_FALSE(dt::TryEncodeDate(0, 1, 1, v));
    EXPECT_FALSE(dt::TryEncodeDate(10000, 1, 1, v));
    EXPECT_FALSE(dt::TryEncodeTime(24, 0, 0, 0, v));
    EXPECT_FALSE(dt::TryEncodeTime(0, 60, 0, 0, v));
    EXPECT_FALSE(dt::TryEncodeTime(0, 0, 0, 1000, v));
}

TEST(DateTimeUtil, FormatsWithRegionalMonthNames) {
    TDateTime v = MakeDateTime(2011, 3, 5, 14, 30, 9, 45);
    {
        ScopedRegional en(EnglishUS());
        EXPECT_EQ(dt::FormatDateTime("yyyy-mmm-dd hh:nn:ss", v), "2011-Mar-05 14:30:09");
    }
    {
        ScopedRegional nl(Dutch());
        EXPECT_EQ(dt::FormatDateTime("yyyy-mmm-dd", v), "2011-mrt-05");
    }
    EXPECT_EQ(dt::FormatDateTime("hh:nn", MakeDateTime(2011, 3, 5, 0, 5)), "00:05");
    // 23:59:59.9996 rounds into the next day rather than showing 24:00.
    EXPECT_EQ(
        dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", MakeDateTime(2011, 3, 5) + 0.9999999999),
        "2011-03-06 00:00:00.000");
}

TEST(DateTimeUtil, ClockSeamIsUsedAndRestored) {
    TDateTime fixed = MakeDateTime(2030, 6, 1, 8);
    {
        TestClock clock(fixed);
        EXPECT_EQ(dt::Now(), fixed);
        clock.AdvanceMs(2000);
        EXPECT_NEAR(dt::Now() - fixed, 2000 / dt::MSecsPerDay, 1e-9);
        EXPECT_EQ(dt::Today(), MakeDateTime(2030, 6, 1));
    }
    EXPECT_GT(dt::Now(), MakeDateTime(2020, 1, 1));
}
