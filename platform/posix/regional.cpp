#include "platform/regional.h"

#include <cerrno>
#include <clocale>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <memory>
#include <type_traits>

namespace platform {

namespace {

std::string Info(nl_item item) {
    const char* s = nl_langinfo(item);
    return s ? std::string(s) : std::string();
}

// The code set of the LC_TIME locale, in which the C library gives month
// names, formats and designators. CODESET itself belongs to LC_CTYPE, which
// Qt switches to a UTF-8 locale at start-up when the environment's is not.
std::string TimeCodeSet() {
    const char* name = std::setlocale(LC_TIME, nullptr);
    const locale_t timeLocale =
        name ? newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr)) : nullptr;
    if (!timeLocale)
        return Info(CODESET);
    const char* codeSet = nl_langinfo_l(CODESET, timeLocale);
    std::string result = codeSet ? codeSet : "";
    freelocale(timeLocale);
    return result;
}

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A separator written between the fields of a format: an ASCII character is
// taken; the first byte of a longer character ("年", "時") is none.
char SeparatorOrFallback(char c, char fallback) {
    return static_cast<unsigned char>(c) < 0x80 ? c : fallback;
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
                separator = SeparatorOrFallback(c, '/');
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
            return SeparatorOrFallback(fmt[i], fallback);
    }
    return fallback;
}

} // namespace

void AdoptEnvironmentLocale() {
    std::setlocale(LC_ALL, "");
}

std::optional<std::string> ToUtf8(const std::string& text, const std::string& codeSet) {
    if (IsAscii(text))
        return text;
    using Converter = std::remove_pointer_t<iconv_t>;
    const auto close = [](iconv_t cd) { iconv_close(cd); };
    const iconv_t opened = iconv_open("UTF-8", codeSet.c_str());
    if (opened == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    const std::unique_ptr<Converter, decltype(close)> cd(opened, close);

    std::string in = text; // iconv takes a non-const input pointer
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    std::string out(in.size() * 4 + 8, '\0');
    std::size_t used = 0;
    for (;;) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t rc = iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
        used = static_cast<std::size_t>(outPtr - out.data());
        if (rc != static_cast<std::size_t>(-1))
            break;
        if (errno != E2BIG)
            return std::nullopt; // not valid in the code set, or cut short
        out.resize(out.size() * 2);
    }
    // Ends a shift state of stateful code sets.
    char* outPtr = out.data() + used;
    std::size_t outLeft = out.size() - used;
    if (iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
        return std::nullopt;
    out.resize(static_cast<std::size_t>(outPtr - out.data()));
    return out;
}

LocaleTexts ReadLocaleTexts() {
    static const nl_item months[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                       ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
    LocaleTexts texts;
    texts.CodeSet = TimeCodeSet();
    for (std::size_t i = 0; i < 12; ++i)
        texts.AbbreviatedMonths[i] = Info(months[i]);
    texts.DateFormat = Info(D_FMT);
    texts.TimeFormat = Info(T_FMT);
    texts.Radix = Info(RADIXCHAR);
    texts.AM = Info(AM_STR);
    texts.PM = Info(PM_STR);
    return texts;
}

RegionalSettings RegionalSettingsFrom(const LocaleTexts& texts) {
    // Decoded once here: a text that cannot be decoded counts as missing.
    const auto decoded = [&texts](const std::string& text) {
        return ToUtf8(text, texts.CodeSet).value_or(std::string());
    };
    RegionalSettings rs;
    for (std::size_t i = 0; i < 12; ++i) {
        std::string name = decoded(texts.AbbreviatedMonths[i]);
        // The C library pads one-digit months to the width of two ("%b" in
        // columns); between the dashes of a date that is a stray blank.
        name.erase(0, name.find_first_not_of(' '));
        if (!name.empty())
            rs.ShortMonthNames[i] = std::move(name);
    }
    ApplyDateFormat(decoded(texts.DateFormat), rs);
    rs.TimeSeparator = FirstSeparator(decoded(texts.TimeFormat), rs.TimeSeparator);
    // A one-byte radix is ASCII in every code set a locale can use.
    if (texts.Radix.size() == 1 && IsAscii(texts.Radix))
        rs.DecimalSeparator = texts.Radix[0];
    std::string am = decoded(texts.AM);
    std::string pm = decoded(texts.PM);
    if (!am.empty() && !pm.empty()) {
        rs.TimeAMString = std::move(am);
        rs.TimePMString = std::move(pm);
    }
    if (!texts.AM.empty() && !texts.PM.empty()) {
        rs.LocaleTimeAMString = texts.AM;
        rs.LocaleTimePMString = texts.PM;
    }
    return rs;
}

RegionalSettings ReadRegionalSettings() {
    return RegionalSettingsFrom(ReadLocaleTexts());
}

} // namespace platform
