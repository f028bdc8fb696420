#pragma once

#include <array>
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
};

// Takes the C library's locale from the environment (LANG, LC_ALL, ...).
// Called once at program start-up, before any regional setting is read.
void AdoptEnvironmentLocale();

// Reads the settings of the C library's current locale. Pieces the locale
// does not give keep the defaults above (English months, US order).
RegionalSettings ReadRegionalSettings();

} // namespace platform
