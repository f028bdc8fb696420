#include "tests/support/TestSupport.h"

#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "qmts-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may take away permissions; give them back so that removal works.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

TestClock::TestClock(TDateTime start) {
    Set(start);
    dt::SetClock([this] { return Now(); });
}

void TestClock::Set(TDateTime value) {
    ms_ = std::llround(value * dt::MSecsPerDay);
}

TestClock::~TestClock() {
    dt::SetClock({});
}

ZoneClock::ZoneClock(TDateTime localStart) {
    const dt::DateTimeFields f = dt::DecodeDateTime(localStart);
    unixMs_ = platform::InstantOfLocalTime(
        {f.Year, f.Month, f.Day, f.Hour, f.Minute, f.Second, f.Millisecond});
    dt::SetClock([this] { return Now(); });
}

ZoneClock::~ZoneClock() {
    dt::SetClock({});
}

TDateTime ZoneClock::Now() const {
    const platform::LocalTime t = platform::LocalTimeAt(unixMs_);
    return dt::EncodeDateTime({t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond});
}

ScopedRegional::ScopedRegional(const platform::RegionalSettings& settings)
    : previous_(dt::Regional()) {
    dt::SetRegional(settings);
}

ScopedRegional::~ScopedRegional() {
    dt::SetRegional(previous_);
}

platform::RegionalSettings EnglishUS() {
    platform::RegionalSettings rs;
    rs.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    rs.ShortDateFormat = "M/d/yyyy";
    rs.DateSeparator = '/';
    rs.TimeSeparator = ':';
    rs.DecimalSeparator = '.';
    rs.TimeAMString = "AM";
    rs.TimePMString = "PM";
    return rs;
}

platform::RegionalSettings Dutch() {
    platform::RegionalSettings rs;
    rs.ShortMonthNames = {"jan", "feb", "mrt", "apr", "mei", "jun",
                          "jul", "aug", "sep", "okt", "nov", "dec"};
    rs.ShortDateFormat = "d-M-yyyy";
    rs.DateSeparator = '-';
    rs.TimeSeparator = ':';
    rs.DecimalSeparator = ',';
    rs.TimeAMString = "";
    rs.TimePMString = "";
    return rs;
}

platform::RegionalSettings YearFirstDotted() {
    platform::RegionalSettings rs = EnglishUS();
    rs.ShortDateFormat = "yyyy.MM.dd";
    rs.DateSeparator = '.';
    return rs;
}

TDateTime MakeDateTime(int year, int month, int day, int hour, int minute, int second,
                       int millisecond) {
    TDateTime result = 0;
    EXPECT_TRUE(
        dt::TryEncodeDateTime({year, month, day, hour, minute, second, millisecond}, result))
        << "invalid test date-time";
    return result;
}

void WriteFile(const std::string& path, const std::string& content, unsigned mode) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
    }
    if (mode)
        fs::permissions(path, static_cast<fs::perms>(mode), fs::perm_options::replace);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace testing_support
