#include "platform/regional.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <utility>

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

TEST(RegionalSettings, LocaleTextsAreDecodedFromTheirCodeSetIntoUtf8) {
    using platform::ToUtf8;
    EXPECT_EQ(ToUtf8("M\xe4r", "ISO-8859-1"), "M\xc3\xa4r");
    EXPECT_EQ(ToUtf8("\xa4", "ISO-8859-15"), "\xe2\x82\xac");
    EXPECT_EQ(ToUtf8("%Y\xc7\xaf", "EUC-JP"), "%Y\xe5\xb9\xb4");
    // ASCII needs no code set; anything else does, and must be valid in it.
    EXPECT_EQ(ToUtf8("%d.%m.%Y", "NO-SUCH-CODE-SET"), "%d.%m.%Y");
    EXPECT_EQ(ToUtf8("M\xe4r", "NO-SUCH-CODE-SET"), std::nullopt);
    EXPECT_EQ(ToUtf8("M\xe4r", "UTF-8"), std::nullopt);
    // Long enough that the output outgrows any first guess.
    const std::string latin1(5000, '\xe4');
    std::string utf8;
    for (int i = 0; i < 5000; ++i)
        utf8 += "\xc3\xa4";
    EXPECT_EQ(ToUtf8(latin1, "ISO-8859-1"), utf8);

    // Latin-1 month names reach the program as UTF-8; what cannot be decoded
    // keeps its default.
    platform::LocaleTexts texts = testing_support::GermanLatin1Texts();
    platform::RegionalSettings rs = platform::RegionalSettingsFrom(texts);
    EXPECT_EQ(rs.ShortMonthNames[2], "M\xc3\xa4r");
    EXPECT_EQ(rs.ShortMonthNames[11], "Dez");
    EXPECT_EQ(rs.ShortDateFormat, "dd.MM.yyyy");
    EXPECT_EQ(rs.DateSeparator, '.');
    EXPECT_EQ(rs.TimeSeparator, ':');
    EXPECT_EQ(rs.DecimalSeparator, ',');
    EXPECT_EQ(rs.TimeAMString, "AM");
    texts.CodeSet = "UTF-8";
    EXPECT_EQ(platform::RegionalSettingsFrom(texts).ShortMonthNames[2], "Mar");
}

TEST(RegionalSettings, FormatsWithoutSingleByteSeparatorsUseSlashAndColonInTheirOrder) {
    const platform::RegionalSettings rs = testing_support::Japanese();
    EXPECT_EQ(rs.ShortMonthNames[0], "1\u6708");
    EXPECT_EQ(rs.ShortDateFormat.find_first_of("dMy"), 0u);
    EXPECT_EQ(rs.ShortDateFormat[0], 'y');
    EXPECT_EQ(rs.DateSeparator, '/');
    EXPECT_EQ(rs.TimeSeparator, ':');
    EXPECT_EQ(rs.TimeAMString, "\u5348\u524d");
    EXPECT_EQ(rs.TimePMString, "\u5348\u5f8c");
    // The same locale in EUC-JP reads the same, but for the designators as
    // the locale gives them.
    platform::RegionalSettings euc =
        platform::RegionalSettingsFrom(testing_support::JapaneseEucTexts());
    EXPECT_EQ(euc.LocaleTimePMString, "\xb8\xe1\xb8\xe5");
    euc.LocaleTimeAMString = rs.LocaleTimeAMString;
    euc.LocaleTimePMString = rs.LocaleTimePMString;
    EXPECT_EQ(euc, rs);
}

// Opt-in: where the machine has these locales, the C library gives what the
// presets hold. Without touching the system, for example:
//   localedef -i de_DE -f ISO-8859-1 /tmp/loc/de_DE.ISO-8859-1
//   localedef -i ja_JP -f UTF-8 /tmp/loc/ja_JP.UTF-8
//   localedef -i ja_JP -f EUC-JP /tmp/loc/ja_JP.eucJP
//   LOCPATH=/tmp/loc build/tests/platform/test_platform
TEST(RegionalSettings, TheMachinesLocalesReadAsThePresets) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const std::pair<const char*, platform::LocaleTexts> locales[] = {
        {"de_DE.ISO-8859-1", testing_support::GermanLatin1Texts()},
        {"ja_JP.UTF-8", testing_support::JapaneseTexts()},
        {"ja_JP.eucJP", testing_support::JapaneseEucTexts()}};
    int found = 0;
    for (const auto& [name, texts] : locales) {
        if (!std::setlocale(LC_ALL, name))
            continue;
        ++found;
        const platform::RegionalSettings rs = platform::ReadRegionalSettings();
        // Qt moves LC_CTYPE to a UTF-8 locale when the environment's is not;
        // the time texts keep their own code set.
        const bool switched = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
        const platform::RegionalSettings afterSwitch = platform::ReadRegionalSettings();
        std::setlocale(LC_ALL, previous.c_str());
        EXPECT_EQ(rs, platform::RegionalSettingsFrom(texts)) << name;
        if (switched) {
            EXPECT_EQ(afterSwitch, rs) << name;
        }
    }
    std::setlocale(LC_ALL, previous.c_str());
    if (found == 0)
        GTEST_SKIP() << "none of de_DE.ISO-8859-1, ja_JP.UTF-8, ja_JP.eucJP is installed";
}
