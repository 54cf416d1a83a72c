#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace db {

// The SQL text with its parameter markers replaced by "?", the marker names in text order, and
// where each marker's "?" stands in the text. Engines bind by these positions; nothing reads
// the text for placeholders again.
struct ScannedSql {
    QString text;
    QStringList markers;
    QList<qsizetype> markerAt; // offset in `text` of the "?" of each marker
};

// Finds the ":name" parameter markers of a statement, left to right:
// - ', " and ` open a literal that the same character closes; nothing inside is a marker;
// - "--" starts a comment to the end of the line, "/*" one to the matching "*/" (comments
//   nest); nothing inside a comment is a marker, and comments are kept as they are;
// - outside literals and comments "::" stands for a single ":" and is no marker;
// - ":" starts a marker whose name runs to the end or to a space, ",", ";", ")", CR or LF;
//   a name may be quoted to hold those characters, and loses its enclosing quotes.
// A ":" followed directly by a delimiter or the end names nothing and stays as it is.
ScannedSql ScanParameters(const QString& sql);

} // namespace db
