#pragma once

#include "lib/DateTimeUtil.h"
#include "ui/ByteText.h" // ToQString, ToStdString

#include <QDate>
#include <QString>
#include <QTime>

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

} // namespace ui
