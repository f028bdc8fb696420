#pragma once

#include "lib/DateTimeUtil.h"

#include <cstdint>
#include <optional>
#include <string>

// Reading the value texts of a version-1 task file: integers (flags), dates
// and times in the user's regional settings (dt::Regional()). "Blanks" here
// are spaces and tabs.
namespace version1 {

// A 32-bit integer: optional blanks, an optional sign, then decimal digits or
// hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing may follow.
// Decimal values must lie in the signed 32-bit range; hexadecimal ones must
// fit into 32 bits and are taken as their bit pattern ("$FFFFFFFF" is -1).
std::optional<std::int32_t> ParseInteger(const std::string& text);

// A flag: non-zero integer = true; defaultValue when the text is no integer.
bool ReadFlag(const std::string& text, bool defaultValue);

// A date in the regional short date format: two or three numbers separated
// by the date separator (blanks allowed before each number and separator),
// optionally a trailing separator and blanks. The order is that of the first
// of D, M, Y, E (any case) in the format: D gives day-month-year, Y or E
// year-month-day, M or none month-day-year. With two numbers the year is the
// current year (dt::Now()). A year of one or two digits is moved into the
// century window that starts 50 years before the current year.
// Result: the date (time part zero), or nothing when the text is no valid
// date of the years 1 to 9999.
std::optional<TDateTime> ParseDate(const std::string& text);

// A time of day: an optional morning/afternoon designator (regional, in the
// locale's code set or in UTF-8, or "AM"/"PM", any case), the hour, optionally the time separator
// and minutes, after minutes optionally the time separator and seconds, after seconds optionally
// the decimal separator and milliseconds, then the designator if none came first, and blanks. With
// a designator the hour is 1 to 12 (12 is 0, the afternoon adds 12). Result: the time of day (a
// fraction of a day), or nothing when the text is no valid time.
std::optional<TDateTime> ParseTime(const std::string& text);

// ParseDate/ParseTime with a fallback for unreadable texts.
TDateTime ReadDate(const std::string& text, TDateTime defaultValue);
TDateTime ReadTime(const std::string& text, TDateTime defaultValue);

} // namespace version1
