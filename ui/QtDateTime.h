#pragma once

#include "lib/DateTimeUtil.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <string>

// Conversions between the program's own types and Qt's, for the windows.
namespace ui {

// The calendar day of a date-time (its date part); invalid when the value
// lies outside the years 1 to 9999 or is not a number.
QDate ToQDate(TDateTime value);
// The time of day of a date-time (its time part), to the millisecond.
QTime ToQTime(TDateTime value);
// The day number of a date; raises Exception for an invalid date.
TDateTime FromQDate(const QDate& date);
// The time of day as a fraction of a day; raises Exception for an invalid time.
TDateTime FromQTime(const QTime& time);

// Texts are 8-bit in the locale's code page below the windows.
inline QString ToQString(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string ToStdString(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace ui
