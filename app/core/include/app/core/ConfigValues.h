#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <optional>
#include <string>

// Conversions of the station's configuration values, and the values derived from them.
namespace config {

// A decimal integer as the station's files write it: optional blanks around, an optional
// sign, digits ("$1F" and "0x1F" hexadecimal too); nothing else. Empty when the text is
// not such a number or does not fit 32 bits.
std::optional<qint32> ParseInteger(const std::string& text);

// A time of day: hours, optionally ":" and minutes, optionally ":" and seconds, with an
// "AM" or "PM" marker before or after. Empty when the text is not a valid time.
std::optional<QTime> ParseTimeOfDay(const std::string& text);

// The business date: the calendar date of `now`, or the day before when the time of day
// of `now` is not later than the day-change time.
QDate BusinessDate(const QDateTime& now, const QTime& dayChange);

} // namespace config
