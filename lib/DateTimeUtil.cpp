#include "lib/DateTimeUtil.h"

#include "lib/AsciiText.h"
#include "lib/QMException.h"
#include "lib/classZQStringUtil.h"
#include "platform/clock.h"

#include <array>
#include <cmath>
#include <optional>

namespace dt {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
long long DaysFromCivil(long long y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// 1899-12-30 is day 0 of the date-time type.
constexpr long long UnixEpochSerial = 25569;

std::function<TDateTime()>& ClockSlot() {
    static std::function<TDateTime()> clock;
    return clock;
}

std::optional<platform::RegionalSettings>& RegionalSlot() {
    static std::optional<platform::RegionalSettings> settings;
    return settings;
}

bool StartsWithNoCase(const std::string& text, std::size_t pos, const char* token) {
    return pos <= text.size() && ascii::StartsWithNoCase(std::string_view(text).substr(pos), token);
}

} // namespace

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

bool IsValidTime(int hour, int minute, int second, int millisecond) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           millisecond >= 0 && millisecond < 1000;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (!IsValidDate(year, month, day))
        return false;
    result = static_cast<double>(DaysFromCivil(year, month, day) + UnixEpochSerial);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
    if (!IsValidTime(hour, minute, second, millisecond))
        return false;
    const long long ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
    result = static_cast<double>(ms) / MSecsPerDay;
    return true;
}

bool TryEncodeDateTime(const DateTimeFields& f, TDateTime& result) {
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(f.Year, f.Month, f.Day, date) ||
        !TryEncodeTime(f.Hour, f.Minute, f.Second, f.Millisecond, time))
        return false;
    result = date >= 0 ? date + time : date - time;
    return true;
}

TDateTime EncodeDateTime(const DateTimeFields& f) {
    TDateTime result = 0;
    if (!TryEncodeDateTime(f, result))
        throw Exception("Invalid argument to date encode");
    return result;
}

DateTimeFields DecodeDateTime(TDateTime value) {
    double whole = std::trunc(value);
    long long day = static_cast<long long>(whole);
    long long ms = std::llround(std::fabs(value - whole) * MSecsPerDay);
    // The fraction reads forward also before day 0, so rounding up to
    // midnight always reaches the following day.
    if (ms >= 86400000LL) {
        ms -= 86400000LL;
        ++day;
    }
    DateTimeFields f;
    CivilFromDays(day - UnixEpochSerial, f.Year, f.Month, f.Day);
    f.Millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    f.Second = static_cast<int>(ms % 60);
    ms /= 60;
    f.Minute = static_cast<int>(ms % 60);
    f.Hour = static_cast<int>(ms / 60);
    return f;
}

TDateTime DatePart(TDateTime value) {
    return std::trunc(value);
}

TDateTime TimePart(TDateTime value) {
    return std::fabs(value - std::trunc(value));
}

int DayOfWeek(TDateTime value) {
    long long days = static_cast<long long>(std::trunc(value)) - UnixEpochSerial;
    // 1970-01-01 was a Thursday (5 when Sunday is 1).
    long long wd = ((days % 7) + 7 + 4) % 7;
    return static_cast<int>(wd) + 1;
}

std::string FormatDateTime(const std::string& pattern, TDateTime value) {
    const DateTimeFields f = DecodeDateTime(value);
    std::string out;
    std::size_t i = 0;
    while (i < pattern.size()) {
        if (StartsWithNoCase(pattern, i, "yyyy")) {
            out += TZQStringUtil::ZeroPad(f.Year, 4);
            i += 4;
        } else if (StartsWithNoCase(pattern, i, "mmm")) {
            out += Regional().ShortMonthNames[static_cast<std::size_t>(f.Month - 1)];
            i += 3;
        } else if (StartsWithNoCase(pattern, i, "mm")) {
            out += TZQStringUtil::ZeroPad(f.Month, 2);
            i += 2;
        } else if (StartsWithNoCase(pattern, i, "dd")) {
            out += TZQStringUtil::ZeroPad(f.Day, 2);
            i += 2;
        } else if (StartsWithNoCase(pattern, i, "hh")) {
            out += TZQStringUtil::ZeroPad(f.Hour, 2);
            i += 2;
        } else if (StartsWithNoCase(pattern, i, "nn")) {
            out += TZQStringUtil::ZeroPad(f.Minute, 2);
            i += 2;
        } else if (StartsWithNoCase(pattern, i, "ss")) {
            out += TZQStringUtil::ZeroPad(f.Second, 2);
            i += 2;
        } else if (StartsWithNoCase(pattern, i, "zzz")) {
            out += TZQStringUtil::ZeroPad(f.Millisecond, 3);
            i += 3;
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

TDateTime Now() {
    if (ClockSlot())
        return ClockSlot()();
    const platform::LocalTime t = platform::ReadLocalClock();
    TDateTime result = 0;
    if (!TryEncodeDateTime({t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond},
                           result))
        return 0;
    return result;
}

TDateTime Today() {
    return DatePart(Now());
}

void SetClock(std::function<TDateTime()> clock) {
    ClockSlot() = std::move(clock);
}

namespace {

std::function<ClockReadings()>& ReadingsSlot() {
    static std::function<ClockReadings()> slot;
    return slot;
}

} // namespace

ClockReadings ReadClocks() {
    if (ReadingsSlot())
        return ReadingsSlot()();
    const platform::ClockReadings r = platform::ReadClocks();
    return {r.RealtimeMs, r.MonotonicMs, r.BoottimeMs - r.MonotonicMs};
}

void SetClockReadings(std::function<ClockReadings()> readings) {
    ReadingsSlot() = std::move(readings);
}

namespace {

struct KeptSkippedTimes {
    bool Valid = false;
    TDateTime Day = 0;
    SkippedTimes Times;
};

// A few days: today for the poll, and the days a look-ahead asks about,
// without one pushing out the other.
struct KeptSkippedDays {
    std::array<KeptSkippedTimes, 4> Days;
    std::size_t Next = 0;
};

KeptSkippedDays& KeptSkipped() {
    static KeptSkippedDays kept;
    return kept;
}

} // namespace

SkippedTimes SkippedOn(TDateTime day) {
    KeptSkippedDays& kept = KeptSkipped();
    day = DatePart(day);
    for (const KeptSkippedTimes& entry : kept.Days)
        if (entry.Valid && entry.Day == day)
            return entry.Times;
    const DateTimeFields f = DecodeDateTime(day);
    const platform::SkippedTimes skipped = platform::SkippedLocalTimes(f.Year, f.Month, f.Day);
    KeptSkippedTimes& entry = kept.Days[kept.Next];
    kept.Next = (kept.Next + 1) % kept.Days.size();
    entry = {true, day, {skipped.StartSecond * 1000LL, skipped.EndSecond * 1000LL}};
    return entry.Times;
}

void UseTimeZone(const char* name) {
    platform::SetTimeZone(name);
    KeptSkipped() = {};
}

const platform::RegionalSettings& Regional() {
    auto& slot = RegionalSlot();
    if (!slot)
        slot = platform::ReadRegionalSettings();
    return *slot;
}

void SetRegional(const platform::RegionalSettings& settings) {
    RegionalSlot() = settings;
}

} // namespace dt
