#include "platform/regional.h"

#include <clocale>
#include <langinfo.h>

namespace platform {

namespace {

std::string Info(nl_item item) {
    const char* s = nl_langinfo(item);
    return s ? std::string(s) : std::string();
}

// Turns a strftime date format ("%d-%m-%Y", "%m/%d/%y", "%F") into the
// d/M/y pattern and separator the import's date reading works with.
void ApplyDateFormat(const std::string& fmt, RegionalSettings& rs) {
    std::string pattern;
    char separator = 0;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        char c = fmt[i];
        if (c == '%' && i + 1 < fmt.size()) {
            char conversion = fmt[++i];
            if (conversion == 'E' || conversion == 'O') { // modifiers: %Ey, %Od
                if (i + 1 >= fmt.size())
                    break;
                conversion = fmt[++i];
            }
            switch (conversion) {
            case 'd':
            case 'e':
                pattern += "dd";
                break;
            case 'm':
                pattern += "MM";
                break;
            case 'y':
                pattern += "yy";
                break;
            case 'Y':
            case 'C':
                pattern += "yyyy";
                break;
            case 'F':
                pattern += "yyyy-MM-dd";
                separator = separator ? separator : '-';
                break;
            case 'D':
                pattern += "MM/dd/yy";
                separator = separator ? separator : '/';
                break;
            default:
                break;
            }
        } else {
            if (!separator && c != ' ')
                separator = c;
            pattern += c;
        }
    }
    if (pattern.find_first_of("dMy") != std::string::npos)
        rs.ShortDateFormat = pattern;
    if (separator)
        rs.DateSeparator = separator;
}

char FirstSeparator(const std::string& fmt, char fallback) {
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == '%') {
            ++i;
            continue;
        }
        if (fmt[i] != ' ')
            return fmt[i];
    }
    return fallback;
}

} // namespace

void AdoptEnvironmentLocale() {
    std::setlocale(LC_ALL, "");
}

RegionalSettings ReadRegionalSettings() {
    RegionalSettings rs;
    static const nl_item months[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                       ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
    for (int i = 0; i < 12; ++i) {
        std::string name = Info(months[i]);
        if (!name.empty())
            rs.ShortMonthNames[static_cast<std::size_t>(i)] = name;
    }
    ApplyDateFormat(Info(D_FMT), rs);
    rs.TimeSeparator = FirstSeparator(Info(T_FMT), rs.TimeSeparator);
    std::string radix = Info(RADIXCHAR);
    if (radix.size() == 1)
        rs.DecimalSeparator = radix[0];
    std::string am = Info(AM_STR);
    std::string pm = Info(PM_STR);
    if (!am.empty() && !pm.empty()) {
        rs.TimeAMString = am;
        rs.TimePMString = pm;
    }
    return rs;
}

} // namespace platform
