#include "platform/regional.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

// The C library's "C" locale is on every machine; its date format "%m/%d/%y"
// must come out as a month-first pattern with "/" between the numbers.
TEST(RegionalSettings, TheCLocaleReadsAsEnglishMonthFirst) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    const platform::RegionalSettings rs = platform::ReadRegionalSettings();
    std::setlocale(LC_ALL, previous.c_str());

    EXPECT_EQ(rs.ShortMonthNames[0], "Jan");
    EXPECT_EQ(rs.ShortMonthNames[11], "Dec");
    EXPECT_EQ(rs.ShortDateFormat, "MM/dd/yy");
    EXPECT_EQ(rs.DateSeparator, '/');
    EXPECT_EQ(rs.TimeSeparator, ':');
    EXPECT_EQ(rs.DecimalSeparator, '.');
    EXPECT_EQ(rs.TimeAMString, "AM");
    EXPECT_EQ(rs.TimePMString, "PM");
}
