#pragma once

#include <array>
#include <optional>
#include <string>

namespace platform {

// The regional settings the program uses: month abbreviations for display,
// and the date and time reading rules of the version-1 import.
struct RegionalSettings {
    std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // Short date pattern in the letters d, M, y (for example "dd-MM-yyyy");
    // only the order of the first d, M or y and the separator matter.
    std::string ShortDateFormat = "MM/dd/yyyy";
    char DateSeparator = '/';
    char TimeSeparator = ':';
    char DecimalSeparator = '.';
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    // The same designators as the locale gives them, in its own code set:
    // a version-1 file written under that locale holds them so. Empty when
    // the locale gives none.
    std::string LocaleTimeAMString;
    std::string LocaleTimePMString;

    bool operator==(const RegionalSettings&) const = default;
};

// What the C library's locale gives, as it gives it: texts in the locale's
// own code set (nl_langinfo), not necessarily UTF-8.
struct LocaleTexts {
    // Code set of the time texts (LC_TIME): "UTF-8", "ISO-8859-1", "EUC-JP".
    std::string CodeSet;
    std::array<std::string, 12> AbbreviatedMonths;
    std::string DateFormat; // strftime formats: "%d.%m.%Y", "%Y年%m月%d日"
    std::string TimeFormat;
    std::string Radix; // LC_NUMERIC; only a one-byte ASCII radix is used
    std::string AM;
    std::string PM;
};

// Takes the C library's locale from the environment (LANG, LC_ALL, ...).
// Called once at program start-up, before any regional setting is read.
void AdoptEnvironmentLocale();

// The texts of the C library's current locale.
LocaleTexts ReadLocaleTexts();

// The settings that locale texts give. Every text is decoded from the code
// set into UTF-8 first, so that the program sees UTF-8 only (the designators
// are kept as given besides); a piece that is missing or cannot be decoded
// keeps its default above (English months, US order). Blanks before a month
// name (" 3月") are dropped: a shown date reads "2026-3月-15". The date and time separators are the
// first character written between the fields of the formats; where that is no single-byte character
// ("%Y年%m月%d日"), they are "/" and ":", the separators the platform's short formats use for such
// locales, and the order of the fields still follows the format.
RegionalSettings RegionalSettingsFrom(const LocaleTexts& texts);

// RegionalSettingsFrom(ReadLocaleTexts()).
RegionalSettings ReadRegionalSettings();

// A text of a code set (an iconv name) as UTF-8; nothing when the code set
// is unknown or the text is not valid in it. ASCII needs no code set.
std::optional<std::string> ToUtf8(const std::string& text, const std::string& codeSet);

} // namespace platform
