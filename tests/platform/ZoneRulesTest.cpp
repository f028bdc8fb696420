#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class ZoneRules : public testing::Test {
protected:
    void TearDown() override { platform::SetTimeZone(""); }
};

} // namespace

TEST_F(ZoneRules, NameTheLocalTimesTheSpringChangeSkipsAndNoOthers) {
    platform::SetTimeZone("Europe/Amsterdam");
    const platform::SkippedTimes spring = platform::SkippedLocalTimes(2026, 3, 29);
    EXPECT_EQ(spring.StartSecond, 2 * 3600);
    EXPECT_EQ(spring.EndSecond, 3 * 3600);
    for (int day : {28, 30}) {
        const platform::SkippedTimes none = platform::SkippedLocalTimes(2026, 3, day);
        EXPECT_EQ(none.EndSecond, none.StartSecond) << day;
    }
    const platform::SkippedTimes autumn = platform::SkippedLocalTimes(2026, 10, 25);
    EXPECT_EQ(autumn.EndSecond, autumn.StartSecond) << "a repeated hour skips nothing";

    platform::SetTimeZone("America/New_York");
    const platform::SkippedTimes newYork = platform::SkippedLocalTimes(2026, 3, 8);
    EXPECT_EQ(newYork.StartSecond, 2 * 3600);
    EXPECT_EQ(newYork.EndSecond, 3 * 3600);
    EXPECT_EQ(platform::SkippedLocalTimes(2026, 3, 29).EndSecond, 0);
}

// Zones whose clock jumps from midnight to 01:00: the first hour of the day
// is missing, not the last of the day before (past years, which new zone data
// no longer changes).
TEST_F(ZoneRules, NameTheFirstHourWhenTheJumpIsAtMidnight) {
    struct Case {
        const char* zone;
        int year, month, day;
    };
    for (const Case& c : {Case{"America/Havana", 2019, 3, 10}, Case{"America/Santiago", 2019, 9, 8},
                          Case{"Asia/Beirut", 2019, 3, 31}}) {
        platform::SetTimeZone(c.zone);
        const platform::SkippedTimes jump = platform::SkippedLocalTimes(c.year, c.month, c.day);
        EXPECT_EQ(jump.StartSecond, 0) << c.zone;
        EXPECT_EQ(jump.EndSecond, 3600) << c.zone;
        const platform::SkippedTimes before =
            platform::SkippedLocalTimes(c.year, c.month, c.day - 1);
        EXPECT_EQ(before.EndSecond, before.StartSecond) << c.zone << ", the day before";
    }
}

TEST_F(ZoneRules, LocalTimesAndInstantsConvertBothWaysAcrossBothChanges) {
    platform::SetTimeZone("America/New_York");
    // 2026-03-08 07:00 UTC is the jump from 02:00 to 03:00 local time.
    const std::int64_t jump = 1772953200LL * 1000;
    const platform::LocalTime before = platform::LocalTimeAt(jump - 1);
    EXPECT_EQ(before.hour * 10000 + before.minute * 100 + before.second, 15959);
    EXPECT_EQ(before.millisecond, 999);
    EXPECT_EQ(platform::LocalTimeAt(jump).hour, 3);
    EXPECT_EQ(platform::InstantOfLocalTime({2026, 3, 8, 3, 0, 0, 0}), jump);
    EXPECT_EQ(platform::InstantOfLocalTime({2026, 3, 8, 2, 30, 0, 0}), jump) << "skipped";
    EXPECT_EQ(platform::InstantOfLocalTime({2026, 3, 8, 1, 59, 59, 250}), jump - 750);
    // 01:30 comes twice on 2026-11-01: the first one is 05:30 UTC.
    EXPECT_EQ(platform::InstantOfLocalTime({2026, 11, 1, 1, 30, 0, 0}), 1793511000LL * 1000);
    EXPECT_EQ(platform::LocalTimeAt(1793511000LL * 1000 + 3600 * 1000).hour, 1);
}
