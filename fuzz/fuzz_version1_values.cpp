// The version-1 value readers on any text, under each of a few regional
// settings (chosen by the first byte): whatever a reader accepts, written out
// again in the plainest form of its kind, reads back as the same value.
#include "fuzz/FuzzSupport.h"
#include "lib/Version1Values.h"
#include "lib/classZQStringUtil.h"

#include <cinttypes>
#include <cstdio>

namespace {

platform::RegionalSettings Preset(unsigned which) {
    platform::RegionalSettings rs; // US: M/d/yyyy, ':' and '.'
    switch (which % 4) {
    case 1: // day first, '-' between, ',' as decimal separator
        rs.ShortDateFormat = "dd-MM-yyyy";
        rs.DateSeparator = '-';
        rs.DecimalSeparator = ',';
        rs.TimeAMString.clear();
        rs.TimePMString.clear();
        break;
    case 2: // year first, '.' between the date's numbers and the time's
        rs.ShortDateFormat = "yyyy.MM.dd";
        rs.DateSeparator = '.';
        rs.TimeSeparator = '.';
        rs.DecimalSeparator = ',';
        rs.TimeAMString = "vm";
        rs.TimePMString = "nm";
        break;
    case 3: // day first with '.' between, designators of their own
        rs.ShortDateFormat = "dd.MM.yyyy";
        rs.DateSeparator = '.';
        rs.DecimalSeparator = ',';
        rs.TimeAMString = "a.m.";
        rs.TimePMString = "p.m.";
        break;
    default:
        break;
    }
    return rs;
}

std::string Pad(int value, int width) {
    return TZQStringUtil::ZeroPad(value, width);
}

void CheckInteger(const std::string& text) {
    const std::optional<std::int32_t> v = version1::ParseInteger(text);
    FUZZ_CHECK(version1::ReadFlag(text, true) == (v ? *v != 0 : true));
    FUZZ_CHECK(version1::ReadFlag(text, false) == (v ? *v != 0 : false));
    if (!v)
        return;
    FUZZ_CHECK(version1::ParseInteger(std::to_string(*v)) == v);
    char hex[16];
    std::snprintf(hex, sizeof hex, "$%" PRIX32, static_cast<std::uint32_t>(*v));
    FUZZ_CHECK(version1::ParseInteger(hex) == v);
}

void CheckDate(const std::string& text, const platform::RegionalSettings& rs) {
    const std::optional<TDateTime> d = version1::ParseDate(text);
    const TDateTime fallback = -700000;
    FUZZ_CHECK(version1::ReadDate(text, fallback) == (d ? *d : fallback));
    if (!d)
        return;
    FUZZ_CHECK(dt::TimePart(*d) == 0);
    const dt::DateTimeFields f = dt::DecodeDateTime(*d);
    FUZZ_CHECK(f.Year >= 1 && f.Year <= 9999);
    const std::string sep(1, rs.DateSeparator);
    const std::string day = Pad(f.Day, 2), month = Pad(f.Month, 2), year = Pad(f.Year, 4);
    std::string plain;
    switch (rs.ShortDateFormat.find_first_of("dMyY") == std::string::npos
                ? 'M'
                : rs.ShortDateFormat[rs.ShortDateFormat.find_first_of("dMyY")]) {
    case 'd':
        plain = day + sep + month + sep + year;
        break;
    case 'y':
    case 'Y':
        plain = year + sep + month + sep + day;
        break;
    default:
        plain = month + sep + day + sep + year;
        break;
    }
    FUZZ_CHECK(version1::ParseDate(plain) == d);
}

void CheckTime(const std::string& text, const platform::RegionalSettings& rs) {
    const std::optional<TDateTime> t = version1::ParseTime(text);
    FUZZ_CHECK(version1::ReadTime(text, -1) == (t ? *t : -1));
    if (!t)
        return;
    FUZZ_CHECK(*t >= 0 && *t < 1);
    const dt::DateTimeFields f = dt::DecodeDateTime(*t);
    const std::string sep(1, rs.TimeSeparator);
    const std::string plain = Pad(f.Hour, 2) + sep + Pad(f.Minute, 2) + sep + Pad(f.Second, 2) +
                              rs.DecimalSeparator + Pad(f.Millisecond, 3);
    FUZZ_CHECK(version1::ParseTime(plain) == t);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::StartProgramObjects();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const platform::RegionalSettings rs = Preset(data[0]);
    dt::SetRegional(rs);
    const std::string text = fuzz_support::Text(data + 1, size - 1);
    CheckInteger(text);
    CheckDate(text, rs);
    CheckTime(text, rs);
    return 0;
}
