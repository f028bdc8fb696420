#include "ui/QtDateTime.h"

#include "lib/QMException.h"

#include <cmath>

namespace ui {

namespace {
// Day numbers of 0001-01-01 and 9999-12-31.
constexpr double FirstDay = -693593.0;
constexpr double LastDay = 2958465.0;
constexpr auto MSecsPerDay = static_cast<long long>(dt::MSecsPerDay);
} // namespace

QDate ToQDate(TDateTime value) {
    // Checked first: the decoder's integer conversion is undefined for values
    // out of range, and a settings file can hold any number.
    const TDateTime day = dt::DatePart(value);
    if (!(day >= FirstDay && day <= LastDay))
        return {};
    const dt::DateTimeFields f = dt::DecodeDateTime(day);
    return QDate(f.Year, f.Month, f.Day);
}

QTime ToQTime(TDateTime value) {
    if (!std::isfinite(value))
        return QTime(0, 0);
    long long ms = std::llround(dt::TimePart(value) * dt::MSecsPerDay);
    // A fraction a hair below one day must not wrap round to midnight.
    if (ms >= MSecsPerDay)
        ms = MSecsPerDay - 1;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

TDateTime FromQDate(const QDate& date) {
    TDateTime result = 0;
    if (!date.isValid() || !dt::TryEncodeDate(date.year(), date.month(), date.day(), result))
        throw Exception("Invalid date");
    return result;
}

TDateTime FromQTime(const QTime& time) {
    TDateTime result = 0;
    if (!time.isValid() ||
        !dt::TryEncodeTime(time.hour(), time.minute(), time.second(), time.msec(), result))
        throw Exception("Invalid time");
    return result;
}

} // namespace ui
