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

platform::LocaleTexts JapaneseTexts() {
    platform::LocaleTexts t;
    t.CodeSet = "UTF-8";
    t.AbbreviatedMonths = {" 1\u6708", " 2\u6708", " 3\u6708", " 4\u6708", " 5\u6708", " 6\u6708",
                           " 7\u6708", " 8\u6708", " 9\u6708", "10\u6708", "11\u6708", "12\u6708"};
    t.DateFormat = "%Y\u5e74%m\u6708%d\u65e5";
    t.TimeFormat = "%H\u6642%M\u5206%S\u79d2";
    t.Radix = ".";
    t.AM = "\u5348\u524d";
    t.PM = "\u5348\u5f8c";
    return t;
}

platform::LocaleTexts JapaneseEucTexts() {
    // The same texts in EUC-JP: 月 is b7 ee, 年 c7 af, 日 c6 fc, 時 bb fe,
    // 分 ca ac, 秒 c9 c3, 午前 b8 e1 c1 b0, 午後 b8 e1 b8 e5.
    platform::LocaleTexts t = JapaneseTexts();
    t.CodeSet = "EUC-JP";
    for (std::size_t i = 0; i < 12; ++i)
        t.AbbreviatedMonths[i] = (i < 9 ? " " : "1") + std::to_string((i + 1) % 10) + "\xb7\xee";
    t.DateFormat = "%Y\xc7\xaf%m\xb7\xee%d\xc6\xfc";
    t.TimeFormat = "%H\xbb\xfe%M\xca\xac%S\xc9\xc3";
    t.AM = "\xb8\xe1\xc1\xb0";
    t.PM = "\xb8\xe1\xb8\xe5";
    return t;
}

platform::LocaleTexts GermanLatin1Texts() {
    platform::LocaleTexts t;
    t.CodeSet = "ISO-8859-1";
    t.AbbreviatedMonths = {"Jan", "Feb", "M\xe4r", "Apr", "Mai", "Jun",
                           "Jul", "Aug", "Sep",    "Okt", "Nov", "Dez"};
    t.DateFormat = "%d.%m.%Y";
    t.TimeFormat = "%T";
    t.Radix = ",";
    return t;
}

platform::RegionalSettings Japanese() {
    return platform::RegionalSettingsFrom(JapaneseTexts());
}

platform::RegionalSettings GermanLatin1() {
    return platform::RegionalSettingsFrom(GermanLatin1Texts());
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
