#include "ui/QtDateTime.h"

#include "lib/QMException.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using testing_support::MakeDateTime;

TEST(QtDateTime, DateAndTimeGoBothWaysToTheMillisecond) {
    const TDateTime value = MakeDateTime(2011, 3, 5, 14, 30, 15, 250);
    EXPECT_EQ(ui::ToQDate(value), QDate(2011, 3, 5));
    EXPECT_EQ(ui::ToQTime(value), QTime(14, 30, 15, 250));
    EXPECT_EQ(ui::FromQDate(QDate(2011, 3, 5)) + ui::FromQTime(QTime(14, 30, 15, 250)), value);
    // The day count starts at 1899-12-30; before it the fraction still reads forward.
    EXPECT_EQ(ui::ToQDate(0.0), QDate(1899, 12, 30));
    EXPECT_EQ(ui::FromQDate(QDate(1899, 12, 29)), -1.0);
    EXPECT_EQ(ui::ToQDate(-1.25), QDate(1899, 12, 29));
    EXPECT_EQ(ui::ToQTime(-1.25), QTime(6, 0));
    EXPECT_EQ(ui::FromQDate(QDate(1, 1, 1)), -693593.0);
    EXPECT_EQ(ui::ToQDate(2958465.5), QDate(9999, 12, 31));
}

TEST(QtDateTime, ValuesOutsideTheCalendarGiveNoDateInsteadOfGarbage) {
    EXPECT_FALSE(ui::ToQDate(2958466.0).isValid());
    EXPECT_FALSE(ui::ToQDate(-693594.0).isValid());
    EXPECT_FALSE(ui::ToQDate(1e300).isValid());
    EXPECT_FALSE(ui::ToQDate(std::numeric_limits<double>::quiet_NaN()).isValid());
    EXPECT_EQ(ui::ToQTime(std::numeric_limits<double>::infinity()), QTime(0, 0));
    // A fraction that rounds up to a whole day stays on its own day.
    EXPECT_EQ(ui::ToQTime(40000.0 + 0.9999999999), QTime(23, 59, 59, 999));
    EXPECT_THROW((void)ui::FromQDate(QDate()), Exception);
    EXPECT_THROW((void)ui::FromQTime(QTime()), Exception);
}

TEST(QtDateTime, TextsKeepTheirBytesThroughTheLocaleCodePage) {
    EXPECT_EQ(ui::ToStdString(ui::ToQString("C:/tools/backup.exe -x \"a b\"")),
              "C:/tools/backup.exe -x \"a b\"");
    EXPECT_EQ(ui::ToStdString(QString()), "");
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(ui::ToStdString(ui::ToQString(withNul)), withNul);
}
