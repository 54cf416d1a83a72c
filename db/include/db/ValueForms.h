#pragma once

#include "db/Parameter.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace db {

// How values travel between this layer and each engine.
//
// Date-times are stored in one fixed form per engine, so that comparisons in SQL order them
// correctly: on SQLite as text "yyyy-MM-dd HH:mm:ss.zzz" (local time), on PostgreSQL as
// TIMESTAMP(3) and on SQL Server as DATETIME (both local time, no zone).

// The text form of a date-time on SQLite (and the literal form sent to PostgreSQL).
QString DateTimeText(const QDateTime& value);

// A date-time read back from any engine: a QDateTime, a QDate, or one of the text forms
// "yyyy-MM-dd HH:mm:ss[.zzz]" / "yyyy-MM-ddTHH:mm:ss[.zzz]" / "yyyy-MM-dd". Null gives an invalid
// QDateTime. Returns false in *ok when the value is not a date-time.
QDateTime DateTimeFromValue(const QVariant& value, bool* ok);

// What an engine binds a value as, by the value's own type: the integers that fit 32 bits
// (int, short, unsigned short), the wider ones (unsigned int, long, long long and their
// unsigned kinds), booleans, floating point, date-times, dates, times, bytes, and text for
// every other type.
enum class ValueKind { Int32, Int64, Bool, Double, DateTime, Date, Time, Bytes, Text };
ValueKind KindOf(const QVariant& value);

// The value to bind for a parameter on a driver ("QSQLITE", "QPSQL", "QODBC") and server
// ("sqlite", "postgresql", "sqlserver"...). Throws DbError naming the parameter when its value
// does not fit its type or cannot be stored (a zero character in PostgreSQL text).
QVariant BindValue(const TDbParameter& parameter, const QString& qtDriver, const QString& dbms);

} // namespace db
