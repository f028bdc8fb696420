#include "lib/Version1Values.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

using testing_support::MakeDateTime;
using testing_support::ScopedRegional;
using testing_support::TestClock;

namespace {

// Compares to the millisecond, as the import stores date-times.
std::optional<long long> Ms(std::optional<TDateTime> value) {
    if (!value)
        return std::nullopt;
    return static_cast<long long>(*value * dt::MSecsPerDay + (*value < 0 ? -0.5 : 0.5));
}

std::optional<long long> Ms(TDateTime value) {
    return Ms(std::optional<TDateTime>(value));
}

std::optional<long long> TimeMs(int h, int m, int s = 0, int ms = 0) {
    return Ms(MakeDateTime(1899, 12, 30, h, m, s, ms));
}

std::optional<long long> DateMs(int y, int m, int d) {
    return Ms(MakeDateTime(y, m, d));
}

} // namespace

TEST(Version1Values, IntegersInDecimalAndHexadecimal) {
    EXPECT_EQ(version1::ParseInteger("0x1"), 1);
    EXPECT_EQ(version1::ParseInteger("$1"), 1);
    EXPECT_EQ(version1::ParseInteger("-5"), -5);
    EXPECT_EQ(version1::ParseInteger("+7"), 7);
    EXPECT_EQ(version1::ParseInteger("   12"), 12);
    EXPECT_EQ(version1::ParseInteger("x1f"), 31);
    EXPECT_EQ(version1::ParseInteger("X1F"), 31);
    EXPECT_EQ(version1::ParseInteger("0XaB"), 171);
    EXPECT_EQ(version1::ParseInteger("-$10"), -16);
    EXPECT_EQ(version1::ParseInteger("2147483647"), INT32_MAX);
    EXPECT_EQ(version1::ParseInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(version1::ParseInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(version1::ParseInteger("0"), 0);

    for (const char* bad :
         {"", "   ", "yes", "true", "1.0", "2147483648", "-2147483649", "$100000000", "0x", "$",
          "x", "1 ", "1x", "- 1", "+-1", "$-1", "0x1g", "99999999999999999999", "12a"})
        EXPECT_EQ(version1::ParseInteger(bad), std::nullopt) << '"' << bad << '"';
}

TEST(Version1Values, FlagsTakeTheDefaultWhenNotAnInteger) {
    for (const char* on : {"0x1", "$1", "-5", "1", "$FFFFFFFF"}) {
        EXPECT_TRUE(version1::ReadFlag(on, false)) << on;
    }
    for (const char* off : {"0", "$0", "-0", "0x00000000"}) {
        EXPECT_FALSE(version1::ReadFlag(off, true)) << off;
    }
    for (const char* unreadable : {"yes", "1.0", "", "2147483648", "FALSE"}) {
        EXPECT_FALSE(version1::ReadFlag(unreadable, false)) << unreadable;
        EXPECT_TRUE(version1::ReadFlag(unreadable, true)) << unreadable;
    }
}

TEST(Version1Values, DatesInTheThreeRegionalOrders) {
    TestClock clock(MakeDateTime(2026, 12, 7, 8, 0));
    {
        ScopedRegional nl(testing_support::Dutch());
        EXPECT_EQ(Ms(version1::ParseDate("24-12-2025")), DateMs(2025, 12, 24));
        EXPECT_EQ(Ms(version1::ParseDate(" 1 - 2 - 2003 - ")), DateMs(2003, 2, 1));
        EXPECT_EQ(Ms(version1::ParseDate("3-4")), DateMs(2026, 4, 3));
        // One separator may end the date, also after two numbers.
        EXPECT_EQ(Ms(version1::ParseDate("24-12- ")), DateMs(2026, 12, 24));
        EXPECT_EQ(version1::ParseDate("12/24/2025"), std::nullopt);
        // A four-digit year first under a day-first format is no date.
        EXPECT_EQ(version1::ParseDate("2025-12-24"), std::nullopt);
    }
    {
        ScopedRegional us(testing_support::EnglishUS());
        EXPECT_EQ(Ms(version1::ParseDate("12/24/2025")), DateMs(2025, 12, 24));
        EXPECT_EQ(Ms(version1::ParseDate("3/4")), DateMs(2026, 3, 4));
        EXPECT_EQ(Ms(version1::ParseDate("2/29/2024/ ")), DateMs(2024, 2, 29));
        EXPECT_EQ(version1::ParseDate("24/12/2025"), std::nullopt);
        EXPECT_EQ(version1::ParseDate("2/29/2025"), std::nullopt);
        // Year first under a month-first format: "2025" is the month.
        EXPECT_EQ(version1::ParseDate("2025/12/24"), std::nullopt);
    }
    {
        ScopedRegional ymd(testing_support::YearFirstDotted());
        EXPECT_EQ(Ms(version1::ParseDate("2025.12.24")), DateMs(2025, 12, 24));
        EXPECT_EQ(Ms(version1::ParseDate("12.24")), DateMs(2026, 12, 24));
        EXPECT_EQ(version1::ParseDate("24.12.2025"), std::nullopt);
        EXPECT_EQ(version1::ParseDate("2025-12-24"), std::nullopt);
    }
}

TEST(Version1Values, DateShapesThatAreRejected) {
    TestClock clock(MakeDateTime(2026, 12, 7));
    ScopedRegional nl(testing_support::Dutch());
    for (const char* bad :
         {"", "24", "24-", "24-12--", "24-12-2025x", "24-12-2025-1", "0-1-2000", "32-1-2000",
          "1-13-2000", "1-1-10000", "1-1-00000", "+1-1-2000", "24.12.2025", "1-1-2000 12:00"})
        EXPECT_EQ(version1::ParseDate(bad), std::nullopt) << '"' << bad << '"';
    // Digits are read while the value is below 1000: "0001" is year 1.
    EXPECT_EQ(Ms(version1::ParseDate("1-1-0001")), DateMs(1, 1, 1));
    EXPECT_EQ(Ms(version1::ReadDate("nonsense", MakeDateTime(2000, 1, 1))), DateMs(2000, 1, 1));
}

TEST(Version1Values, TwoDigitYearsFollowTheWindowAroundTheCurrentYear) {
    ScopedRegional nl(testing_support::Dutch());
    TestClock clock(MakeDateTime(2026, 6, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-05")), DateMs(2005, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-76")), DateMs(1976, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-75")), DateMs(2075, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-5")), DateMs(2005, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-00")), DateMs(2000, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-0")), DateMs(2000, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-075")), DateMs(75, 1, 1)); // three digits stay

    // The window moves with the clock, also across a century.
    clock.Set(MakeDateTime(2027, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-76")), DateMs(2076, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-77")), DateMs(1977, 1, 1));
    clock.Set(MakeDateTime(2049, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-99")), DateMs(1999, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-98")), DateMs(2098, 1, 1));
    clock.Set(MakeDateTime(2050, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-00")), DateMs(2000, 1, 1));
    EXPECT_EQ(Ms(version1::ParseDate("1-1-99")), DateMs(2099, 1, 1));
    // Year-first formats window the first number.
    ScopedRegional ymd(testing_support::YearFirstDotted());
    clock.Set(MakeDateTime(2026, 6, 1));
    EXPECT_EQ(Ms(version1::ParseDate("75.2.3")), DateMs(2075, 2, 3));
    EXPECT_EQ(Ms(version1::ParseDate("76.2.3")), DateMs(1976, 2, 3));
}

TEST(Version1Values, TimesWithSeparatorsAndDesignators) {
    ScopedRegional us(testing_support::EnglishUS());
    EXPECT_EQ(Ms(version1::ParseTime("23:30")), TimeMs(23, 30));
    EXPECT_EQ(Ms(version1::ParseTime("7")), TimeMs(7, 0));
    EXPECT_EQ(Ms(version1::ParseTime(" 7 : 05 : 09 . 250 ")), TimeMs(7, 5, 9, 250));
    EXPECT_EQ(Ms(version1::ParseTime("12 AM")), TimeMs(0, 0));
    EXPECT_EQ(Ms(version1::ParseTime("12 PM")), TimeMs(12, 0));
    EXPECT_EQ(Ms(version1::ParseTime("12:30 am")), TimeMs(0, 30));
    EXPECT_EQ(Ms(version1::ParseTime("pm 1:15")), TimeMs(13, 15));
    EXPECT_EQ(Ms(version1::ParseTime("PM1")), TimeMs(13, 0));
    EXPECT_EQ(Ms(version1::ParseTime("11:59:59.999pM")), TimeMs(23, 59, 59, 999));

    for (const char* bad :
         {"", "25:00", "7:60", "7:00:60", "7:00:00.1000", "24:00", "0 AM", "13 PM", "AM 7 PM",
          "7:", "7:00:", "7:00:00.", "7.30", "7:00 xm", "7:00 PM x", "-7", "7:00.5", "noon"})
        EXPECT_EQ(version1::ParseTime(bad), std::nullopt) << '"' << bad << '"';

    const TDateTime noon = MakeDateTime(1899, 12, 30, 12, 0);
    EXPECT_EQ(Ms(version1::ReadTime("25:00", noon)), TimeMs(12, 0));
    EXPECT_EQ(Ms(version1::ReadTime("7:60", noon)), TimeMs(12, 0));
}

TEST(Version1Values, TimesInOtherRegionalSettings) {
    platform::RegionalSettings rs = testing_support::Dutch();
    rs.TimeSeparator = '.';
    rs.TimeAMString = "vm";
    rs.TimePMString = "nm";
    ScopedRegional custom(rs);
    EXPECT_EQ(Ms(version1::ParseTime("7.05.09,5")), TimeMs(7, 5, 9, 5));
    EXPECT_EQ(Ms(version1::ParseTime("3.15 NM")), TimeMs(15, 15));
    EXPECT_EQ(Ms(version1::ParseTime("vm 12.00")), TimeMs(0, 0));
    // The English letters are understood beside the regional designators.
    EXPECT_EQ(Ms(version1::ParseTime("3 pm")), TimeMs(15, 0));
    EXPECT_EQ(version1::ParseTime("7:05"), std::nullopt);
    EXPECT_EQ(version1::ParseTime("7.05.09.5"), std::nullopt);

    // Without regional designators (Dutch) only AM/PM are designators.
    ScopedRegional nl(testing_support::Dutch());
    EXPECT_EQ(Ms(version1::ParseTime("23:30")), TimeMs(23, 30));
    EXPECT_EQ(Ms(version1::ParseTime("8:15:00,125 PM")), TimeMs(20, 15, 0, 125));
    EXPECT_EQ(version1::ParseTime("8:15:00.125"), std::nullopt);
}
