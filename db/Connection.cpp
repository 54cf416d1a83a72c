#include "db/Connection.h"

#include "db/DbError.h"

#include <QDir>
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

bool SameLink(const DataLink& a, const DataLink& b) {
    return a.qtDriver == b.qtDriver && a.databaseName == b.databaseName &&
           a.hostName == b.hostName && a.port == b.port && a.userName == b.userName &&
           a.password == b.password;
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

} // namespace

TDbConnection::TDbConnection() : connectionName_(NextConnectionName()) {}

TDbConnection::~TDbConnection() {
    Close();
    const bool added = database_.isValid();
    database_ = QSqlDatabase();
    if (added)
        QSqlDatabase::removeDatabase(connectionName_);
}

void TDbConnection::SetConnectionString(const QString& connectionString) {
    connectionString_ = connectionString;
}

QString TDbConnection::ConnectionString() const {
    return connectionString_;
}

DataLink TDbConnection::ResolveLink() const {
    if (connectionString_.trimmed().isEmpty())
        throw DbError(QStringLiteral("No connection string is set"));
    const InitProperties props =
        SplitInitString(connectionString_, QStringLiteral("connection string"));
    const QString file = PropertyValue(props, QStringLiteral("File Name")).trimmed();
    if (!file.isEmpty())
        return ReadDataLinkFile(file);
    return ResolveInitString(connectionString_, QDir::currentPath(),
                             QStringLiteral("connection string"));
}

void TDbConnection::Configure(const DataLink& link) {
    if (configured_ && SameLink(*configured_, link) && database_.isValid())
        return;
    if (database_.isValid()) {
        database_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName_);
    }
    configured_.reset();
    if (!QSqlDatabase::isDriverAvailable(link.qtDriver))
        throw DbError(QStringLiteral("The Qt SQL driver %1 is not installed").arg(link.qtDriver));
    database_ = QSqlDatabase::addDatabase(link.qtDriver, connectionName_);
    database_.setDatabaseName(link.qtDriver == u"QODBC" ? QtOdbcDatabaseName(link.databaseName)
                                                        : link.databaseName);
    database_.setHostName(link.hostName);
    database_.setPort(link.port);
    database_.setUserName(link.userName);
    database_.setPassword(link.password);
    QString options;
    if (link.qtDriver == u"QSQLITE")
        options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kSqliteBusyTimeoutMs);
    else if (link.qtDriver == u"QPSQL" && ConnectionTimeout > 0)
        options = QStringLiteral("connect_timeout=%1").arg(ConnectionTimeout);
    else if (link.qtDriver == u"QODBC" && ConnectionTimeout > 0)
        options = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(ConnectionTimeout);
    database_.setConnectOptions(options);
    configured_ = link;
}

void TDbConnection::Open() {
    if (Connected())
        return;
    Configure(ResolveLink());
    if (!database_.open()) {
        const QString message = DriverMessage(database_.lastError());
        database_.close();
        throw DbError(message);
    }
    ++openCount_;
}

void TDbConnection::Close() {
    if (!database_.isValid() || !database_.isOpen())
        return;
    if (inTransaction_) {
        inTransaction_ = false;
        database_.rollback();
    }
    database_.close();
}

bool TDbConnection::Connected() const {
    return database_.isValid() && database_.isOpen();
}

QString TDbConnection::EngineName() const {
    if (!configured_)
        return QString();
    if (configured_->qtDriver == u"QSQLITE")
        return QStringLiteral("sqlite");
    if (configured_->qtDriver == u"QPSQL")
        return QStringLiteral("postgresql");
    return QStringLiteral("odbc");
}

QString TDbConnection::DbmsName() const {
    if (!Connected())
        return QString();
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

void TDbConnection::Acquire() {
    if (!Connected())
        Open();
}

void TDbConnection::Release() {
    if (!KeepConnection && !inTransaction_ && openQueries_ == 0)
        Close();
}

void TDbConnection::QueryClosed() {
    if (openQueries_ > 0)
        --openQueries_;
    Release();
}

QString TDbConnection::DriverMessage(const QSqlError& error) const {
    // The server's or ODBC driver's own text; Qt's note of the failed step only when there is
    // none.
    QString message = error.databaseText().trimmed();
    if (message.isEmpty())
        message = error.driverText().trimmed();
    if (message.isEmpty())
        message = QStringLiteral("Unknown database error");
    // Drivers do not normally echo the password, but one that does must not show it.
    if (configured_ && configured_->password.size() >= 4)
        message.replace(configured_->password, QStringLiteral("****"));
    return message;
}

void TDbConnection::BeginTransaction() {
    if (inTransaction_)
        throw DbError(QStringLiteral("A transaction is already open"));
    Acquire();
    if (!database_.transaction()) {
        const QString message = DriverMessage(database_.lastError());
        Release();
        throw DbError(message);
    }
    inTransaction_ = true;
}

void TDbConnection::CommitTransaction() {
    if (!inTransaction_)
        throw DbError(QStringLiteral("No transaction is open"));
    inTransaction_ = false;
    if (!database_.commit()) {
        const QString message = DriverMessage(database_.lastError());
        database_.rollback();
        Release();
        throw DbError(message);
    }
    Release();
}

void TDbConnection::RollbackTransaction() {
    if (!inTransaction_)
        throw DbError(QStringLiteral("No transaction is open"));
    inTransaction_ = false;
    const bool ok = database_.rollback();
    const QString message = ok ? QString() : DriverMessage(database_.lastError());
    Release();
    if (!ok)
        throw DbError(message);
}

} // namespace db
