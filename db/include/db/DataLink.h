#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "db/OdbcLink.h"

namespace db {

// Which road a data link takes to its database.
enum class DataLinkKind { SQLite, PostgreSQL, SqlServer, Access, Odbc };

// The properties of an initialisation string, in order, names as written.
using InitProperties = QList<QPair<QString, QString>>;

// What a data link resolves to: everything needed to set up one Qt SQL connection.
struct DataLink {
    DataLinkKind kind = DataLinkKind::SQLite;
    QString provider;      // the Provider property as written
    QString qtDriver;      // "QSQLITE", "QPSQL" or "QODBC"
    QString databaseName;  // file path, database name, or ODBC connection string / DSN
    QString hostName;      // PostgreSQL only
    int port = -1;         // PostgreSQL only; -1: the driver's default
    QString userName;      // PostgreSQL, and ODBC through a DSN
    QString password;      // the server login's password (PostgreSQL)
    QStringList passwords; // every password the link holds: never shown in a message
    // Whether a released connection is kept for reuse: "OLE DB Services" with its lowest bit
    // (resource pooling) cleared turns it off.
    bool pooling = true;
};

// Splits an initialisation string ("Name=value;Name='quoted; value';...") into its properties.
// Throws DbError naming `source` on a malformed string.
InitProperties SplitInitString(const QString& initString, const QString& source);

// The value of a property (names compared without regard to case), or a null string.
QString PropertyValue(const InitProperties& properties, const QString& name);

// Resolves an initialisation string. Relative SQLite and Access file names are taken against
// `baseFolder`. `source` names the string's origin (the data link file) in error messages.
// Providers reached through ODBC are mapped for `host` (OdbcLink.h); a connection passes its
// machine's installed drivers (OdbcDrivers.h), without which a SQL Server link on Windows that
// names no driver gets the one every Windows has.
DataLink ResolveInitString(const QString& initString, const QString& baseFolder,
                           const QString& source, const OdbcHost& host = OdbcHost{});

// Extracts the initialisation string from the bytes of a data link file: UTF-16LE (or BE) with
// a byte-order mark as Windows writes it, or UTF-8/ASCII text; an optional "[oledb]" line and
// ";" comment lines come before the string. Throws DbError naming `fileName`.
QString InitStringFromDataLinkBytes(const QByteArray& bytes, const QString& fileName);

// Parses a whole data link file: its bytes to the connection it names. `fileName` is the
// file's path: its folder anchors relative SQLite files, and error messages name it.
DataLink ParseDataLink(const QByteArray& bytes, const QString& fileName,
                       const OdbcHost& host = OdbcHost{});

// The bytes of a data link file holding `initString`, as Windows writes one: UTF-16LE with its
// byte-order mark, "[oledb]", the comment line and the string, CR LF.
QByteArray DataLinkFileBytes(const QString& initString);

// Reads and parses a data link file from disk; DbError when it is missing or unreadable.
DataLink ReadDataLinkFile(const QString& fileName, const OdbcHost& host = OdbcHost{});

// The connection string "FILE NAME=<path>" naming a data link file; the path is quoted when it
// holds a ";" or another character that would otherwise end or change it.
QString DataLinkFileConnectionString(const QString& path);

} // namespace db
