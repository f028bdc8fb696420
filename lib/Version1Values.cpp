#include "lib/Version1Values.h"

#include "lib/AsciiText.h"

#include <cstddef>

namespace version1 {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigit(char c) {
    if (IsDigit(c))
        return c - '0';
    c = ascii::ToUpper(c);
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a text from left to right; each Scan* step moves past what it read
// only when it succeeds.
class Scanner {
public:
    explicit Scanner(const std::string& text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }

    void SkipBlanks() {
        while (!AtEnd() && IsBlank(text_[pos_]))
            ++pos_;
    }

    // Blanks, then ch.
    bool ScanChar(char ch) {
        SkipBlanks();
        if (AtEnd() || text_[pos_] != ch)
            return false;
        ++pos_;
        return true;
    }

    // Blanks, then symbol in any letter case. An empty symbol never matches.
    bool ScanSymbol(const std::string& symbol) {
        if (symbol.empty())
            return false;
        SkipBlanks();
        if (text_.size() - pos_ < symbol.size())
            return false;
        for (std::size_t i = 0; i < symbol.size(); ++i)
            if (ascii::ToUpper(text_[pos_ + i]) != ascii::ToUpper(symbol[i]))
                return false;
        pos_ += symbol.size();
        return true;
    }

    // Blanks, then an unsigned number, read digit by digit while its value is
    // below 1000; digits gives the count of digits read.
    bool ScanNumber(int& value, std::size_t& digits) {
        SkipBlanks();
        std::size_t i = pos_;
        int n = 0;
        while (i < text_.size() && IsDigit(text_[i]) && n < 1000)
            n = n * 10 + (text_[i++] - '0');
        if (i == pos_)
            return false;
        digits = i - pos_;
        value = n;
        pos_ = i;
        return true;
    }

    bool ScanNumber(int& value) {
        std::size_t digits = 0;
        return ScanNumber(value, digits);
    }

private:
    const std::string& text_;
    std::size_t pos_ = 0;
};

enum class DateOrder { MDY, DMY, YMD };

DateOrder OrderOf(const std::string& shortDateFormat) {
    for (char c : shortDateFormat) {
        switch (ascii::ToUpper(c)) {
        case 'D':
            return DateOrder::DMY;
        case 'M':
            return DateOrder::MDY;
        case 'Y':
        case 'E':
            return DateOrder::YMD;
        default:
            break;
        }
    }
    return DateOrder::MDY;
}

// 0 for the morning, 12 for the afternoon, -1 when no designator follows.
int ScanDesignator(Scanner& s, const platform::RegionalSettings& rs) {
    // The file's bytes are in the locale's code set; its UTF-8 form is
    // accepted too (a UTF-8 locale gives both alike).
    if (s.ScanSymbol(rs.LocaleTimeAMString) || s.ScanSymbol(rs.TimeAMString) || s.ScanSymbol("AM"))
        return 0;
    if (s.ScanSymbol(rs.LocaleTimePMString) || s.ScanSymbol(rs.TimePMString) || s.ScanSymbol("PM"))
        return 12;
    return -1;
}

} // namespace

std::optional<std::int32_t> ParseInteger(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';

    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }

    const std::size_t first = i;
    std::uint64_t magnitude = 0;
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    for (; i < text.size(); ++i) {
        const int digit = hex ? HexDigit(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (magnitude > limit)
            return std::nullopt;
    }
    if (i == first)
        return std::nullopt;

    // Two's complement on 32 bits: hexadecimal values are bit patterns.
    std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
    if (negative)
        bits = ~bits + 1u;
    return static_cast<std::int32_t>(bits);
}

bool ReadFlag(const std::string& text, bool defaultValue) {
    const auto value = ParseInteger(text);
    return value ? *value != 0 : defaultValue;
}

std::optional<TDateTime> ParseDate(const std::string& text) {
    const platform::RegionalSettings& rs = dt::Regional();
    const DateOrder order = OrderOf(rs.ShortDateFormat);
    Scanner s(text);

    int n1 = 0, n2 = 0, n3 = 0;
    std::size_t len1 = 0, len3 = 0;
    if (!s.ScanNumber(n1, len1) || !s.ScanChar(rs.DateSeparator) || !s.ScanNumber(n2))
        return std::nullopt;

    const int currentYear = dt::DecodeDateTime(dt::Now()).Year;
    int year = currentYear, month = 0, day = 0;
    // A separator after the second number either leads to the third or is
    // the optional separator that may end the date.
    bool endedBySeparator = false;
    bool threeNumbers = false;
    if (s.ScanChar(rs.DateSeparator)) {
        threeNumbers = s.ScanNumber(n3, len3);
        endedBySeparator = !threeNumbers;
    }
    if (threeNumbers) {
        std::size_t yearDigits = len3;
        switch (order) {
        case DateOrder::MDY:
            year = n3, month = n1, day = n2;
            break;
        case DateOrder::DMY:
            year = n3, month = n2, day = n1;
            break;
        case DateOrder::YMD:
            year = n1, month = n2, day = n3, yearDigits = len1;
            break;
        }
        if (yearDigits <= 2) {
            const int windowStart = currentYear - 50;
            year += windowStart / 100 * 100;
            if (year < windowStart)
                year += 100;
        }
    } else if (order == DateOrder::DMY) {
        day = n1, month = n2;
    } else {
        month = n1, day = n2;
    }

    if (!endedBySeparator)
        s.ScanChar(rs.DateSeparator); // an optional separator after the last number
    s.SkipBlanks();
    TDateTime result = 0;
    if (!s.AtEnd() || !dt::TryEncodeDate(year, month, day, result))
        return std::nullopt;
    return result;
}

std::optional<TDateTime> ParseTime(const std::string& text) {
    const platform::RegionalSettings& rs = dt::Regional();
    Scanner s(text);

    int baseHour = ScanDesignator(s, rs);
    if (baseHour >= 0)
        s.SkipBlanks();
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    if (!s.ScanNumber(hour))
        return std::nullopt;
    if (s.ScanChar(rs.TimeSeparator)) {
        if (!s.ScanNumber(minute))
            return std::nullopt;
        if (s.ScanChar(rs.TimeSeparator)) {
            if (!s.ScanNumber(second))
                return std::nullopt;
            if (s.ScanChar(rs.DecimalSeparator) && !s.ScanNumber(millisecond))
                return std::nullopt;
        }
    }
    if (baseHour < 0)
        baseHour = ScanDesignator(s, rs);
    if (baseHour >= 0) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + baseHour;
    }
    s.SkipBlanks();
    TDateTime result = 0;
    if (!s.AtEnd() || !dt::TryEncodeTime(hour, minute, second, millisecond, result))
        return std::nullopt;
    return result;
}

TDateTime ReadDate(const std::string& text, TDateTime defaultValue) {
    return ParseDate(text).value_or(defaultValue);
}

TDateTime ReadTime(const std::string& text, TDateTime defaultValue) {
    return ParseTime(text).value_or(defaultValue);
}

} // namespace version1
