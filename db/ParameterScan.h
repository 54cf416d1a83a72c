#pragma once

#include <QString>
#include <QStringList>

namespace db {

// The SQL text with its parameter markers replaced by "?", and the marker names in text order.
struct ScannedSql {
    QString text;
    QStringList markers;
};

// Finds the ":name" parameter markers of a statement, left to right:
// - ', " and ` open a literal that the same character closes; nothing inside is a marker;
// - outside literals "::" stands for a single ":" and is no marker;
// - ":" starts a marker whose name runs to the end or to a space, ",", ";", ")", CR or LF;
//   a name may be quoted to hold those characters, and loses its enclosing quotes.
// A ":" followed directly by a delimiter or the end names nothing and stays as it is.
ScannedSql ScanParameters(const QString& sql);

} // namespace db
