#include "PhysicalConnection.h"

#include "PasswordMask.h"
#include "db/DbError.h"

#include <QSqlDriver>
#include <QSqlError>
#include <atomic>

namespace db {

namespace {

// SQLite writers (the spooler and the programs that queue jobs) wait this long for each other's
// lock instead of failing at once.
constexpr int kSqliteBusyTimeoutMs = 5000;

QString NextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("plinova-db-%1").arg(++counter);
}

// Qt's ODBC driver passes a database name on as a connection string only when it holds
// "DRIVER=" or "SERVER="; otherwise it puts "DSN=" (or "FILEDSN=" when it mentions ".dsn") in
// front itself. Give it the string in the form that comes out whole.
QString QtOdbcDatabaseName(const QString& odbc) {
    if (odbc.contains(u"DRIVER=", Qt::CaseInsensitive) ||
        odbc.contains(u"SERVER=", Qt::CaseInsensitive))
        return odbc;
    const QString prefix = odbc.contains(u".dsn", Qt::CaseInsensitive) ? QStringLiteral("FILEDSN=")
                                                                       : QStringLiteral("DSN=");
    QStringList parts = odbc.split(u';', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts[i].trimmed().startsWith(prefix, Qt::CaseInsensitive)) {
            const QString name = parts[i].trimmed().mid(prefix.size());
            parts.removeAt(i);
            parts.prepend(name);
            break;
        }
    }
    return parts.join(u';');
}

// The server's or ODBC driver's own text; Qt's note of the failed step only when there is none.
QString ErrorText(const QSqlError& error) {
    QString message = error.databaseText().trimmed();
    if (message.isEmpty())
        message = error.driverText().trimmed();
    if (message.isEmpty())
        message = QStringLiteral("Unknown database error");
    return message;
}

} // namespace

PhysicalConnection::PhysicalConnection(const DataLink& link, int timeoutSeconds)
    : link_(link), name_(NextConnectionName()) {
    if (!QSqlDatabase::isDriverAvailable(link.qtDriver))
        throw DbError(QStringLiteral("The Qt SQL driver %1 is not installed").arg(link.qtDriver));
    database_ = QSqlDatabase::addDatabase(link.qtDriver, name_);
    database_.setDatabaseName(link.qtDriver == u"QODBC" ? QtOdbcDatabaseName(link.databaseName)
                                                        : link.databaseName);
    database_.setHostName(link.hostName);
    database_.setPort(link.port);
    database_.setUserName(link.userName);
    database_.setPassword(link.password);
    QString options;
    if (link.qtDriver == u"QSQLITE")
        options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kSqliteBusyTimeoutMs);
    else if (link.qtDriver == u"QPSQL" && timeoutSeconds > 0)
        options = QStringLiteral("connect_timeout=%1").arg(timeoutSeconds);
    else if (link.qtDriver == u"QODBC" && timeoutSeconds > 0)
        options = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(timeoutSeconds);
    database_.setConnectOptions(options);
    try {
        if (!database_.open())
            throw DbError(MaskPasswords(ErrorText(database_.lastError()), link.passwords));
        if (link.qtDriver == u"QSQLITE")
            engine_ = MakeSqliteEngine(database_);
        else if (link.qtDriver == u"QPSQL")
            engine_ = MakePgEngine(database_);
        else
            engine_ = MakeOdbcEngine(database_);
    } catch (...) {
        database_.close();
        database_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(name_);
        throw;
    }
}

PhysicalConnection::~PhysicalConnection() {
    engine_.reset();
    database_.close();
    database_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
}

QString PhysicalConnection::DbmsName() const {
    switch (database_.driver()->dbmsType()) {
    case QSqlDriver::SQLite:
        return QStringLiteral("sqlite");
    case QSqlDriver::PostgreSQL:
        return QStringLiteral("postgresql");
    case QSqlDriver::MSSqlServer:
        return QStringLiteral("sqlserver");
    default:
        return QStringLiteral("other");
    }
}

} // namespace db
