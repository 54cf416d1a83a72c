#include "db/Connection.h"

#include "OdbcDrivers.h"
#include "PasswordMask.h"
#include "PhysicalConnection.h"
#include "db/DbError.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QThread>
#include <QTimer>

namespace db {

namespace {

// Beyond the largest data link file the parser takes, which refuses a larger one.
constexpr qint64 kMaxStampBytes = 1024 * 1024 + 1;

bool SameLink(const DataLink& a, const DataLink& b) {
    return a.qtDriver == b.qtDriver && a.databaseName == b.databaseName &&
           a.hostName == b.hostName && a.port == b.port && a.userName == b.userName &&
           a.password == b.password;
}

// A data link file's bytes, which tell every edit: a modification time may keep whole seconds
// only (as Windows' C runtime reports it), and an edit within that second must take effect
// too. Empty when it cannot be read.
QByteArray FileStamp(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QByteArray("=") + file.read(kMaxStampBytes);
}

QString EngineOf(const DataLink& link) {
    if (link.qtDriver == u"QSQLITE")
        return QStringLiteral("sqlite");
    if (link.qtDriver == u"QPSQL")
        return QStringLiteral("postgresql");
    return QStringLiteral("odbc");
}

} // namespace

TDbConnection::TDbConnection() = default;

TDbConnection::~TDbConnection() {
    Close();
    Discard();
}

void TDbConnection::SetConnectionString(const QString& connectionString) {
    connectionString_ = connectionString;
}

QString TDbConnection::ConnectionString() const {
    return connectionString_;
}

DataLink TDbConnection::ResolveLink() {
    if (connectionString_.trimmed().isEmpty())
        throw DbError(QStringLiteral("No connection string is set"));
    const InitProperties props =
        SplitInitString(connectionString_, QStringLiteral("connection string"));
    const QString file = PropertyValue(props, QStringLiteral("File Name")).trimmed();
    const QString folder = file.isEmpty() ? QDir::currentPath() : QString();
    const QByteArray stamp = file.isEmpty() ? QByteArray() : FileStamp(file);
    if (parsed_ && parsed_->connectionString == connectionString_ && parsed_->folder == folder &&
        parsed_->stamp == stamp && (file.isEmpty() || !stamp.isEmpty()))
        return parsed_->link;
    parsed_.reset();
    const DataLink link =
        file.isEmpty() ? ResolveInitString(connectionString_, folder,
                                           QStringLiteral("connection string"), ThisOdbcHost())
                       : ReadDataLinkFile(file, ThisOdbcHost());
    parsed_ = ParsedLink{connectionString_, folder, stamp, link};
    return link;
}

void TDbConnection::Open() {
    if (open_)
        return;
    const DataLink link = ResolveLink();
    passwords_ = link.passwords;
    if (physical_) {
        if (expiry_)
            expiry_->stop();
        const bool sound = SameLink(physical_->Link(), link) &&
                           std::chrono::steady_clock::now() - idleSince_ < IdleLimit &&
                           physical_->Statements().Alive();
        if (!sound)
            Discard();
    }
    if (!physical_) {
        engineName_ = EngineOf(link);
        physical_ = std::make_unique<PhysicalConnection>(link, ConnectionTimeout);
        ++openCount_;
    }
    open_ = true;
}

void TDbConnection::Close() {
    if (!open_)
        return;
    open_ = false;
    if (inTransaction_) {
        inTransaction_ = false;
        physical_->Database().rollback();
    }
    if (!physical_->Link().pooling || IdleLimit.count() <= 0 ||
        !physical_->Statements().Reusable()) {
        Discard();
        return;
    }
    idleSince_ = std::chrono::steady_clock::now();
    // Only a thread with an event loop can run the timer; elsewhere the limit is applied when
    // the connection is next wanted.
    if (QThread::currentThread()->eventDispatcher() != nullptr) {
        if (!expiry_) {
            expiry_ = std::make_unique<QTimer>();
            expiry_->setSingleShot(true);
            QObject::connect(expiry_.get(), &QTimer::timeout, [this] { ExpireIdle(); });
        }
        expiry_->start(IdleLimit);
    }
}

void TDbConnection::ExpireIdle() {
    if (open_ || !physical_)
        return;
    const auto idle = std::chrono::steady_clock::now() - idleSince_;
    if (idle >= IdleLimit)
        Discard();
    else // a coarse timer may fire a little early
        expiry_->start(std::chrono::ceil<std::chrono::milliseconds>(IdleLimit - idle));
}

void TDbConnection::Discard() {
    if (expiry_)
        expiry_->stop();
    physical_.reset();
}

QString TDbConnection::EngineName() const {
    return engineName_;
}

QString TDbConnection::DbmsName() const {
    return open_ ? physical_->DbmsName() : QString();
}

QSqlDatabase& TDbConnection::Database() {
    return physical_->Database();
}

QString TDbConnection::QtDriver() const {
    return physical_ ? physical_->Link().qtDriver : QString();
}

void TDbConnection::Acquire() {
    if (!open_)
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

StatementResult TDbConnection::Run(const BoundStatement& statement) {
    try {
        return physical_->Statements().Run(statement);
    } catch (const DbError& e) {
        throw DbError(Masked(e.Message()));
    }
}

QString TDbConnection::Masked(const QString& message) const {
    return MaskPasswords(message, passwords_);
}

QString TDbConnection::DriverMessage(const QSqlError& error) const {
    // The server's or ODBC driver's own text; Qt's note of the failed step only when there is
    // none.
    QString message = error.databaseText().trimmed();
    if (message.isEmpty())
        message = error.driverText().trimmed();
    if (message.isEmpty())
        message = QStringLiteral("Unknown database error");
    return Masked(message);
}

void TDbConnection::BeginTransaction() {
    if (inTransaction_)
        throw DbError(QStringLiteral("A transaction is already open"));
    Acquire();
    if (!Database().transaction()) {
        const QString message = DriverMessage(Database().lastError());
        Release();
        throw DbError(message);
    }
    inTransaction_ = true;
}

void TDbConnection::CommitTransaction() {
    if (!inTransaction_)
        throw DbError(QStringLiteral("No transaction is open"));
    inTransaction_ = false;
    if (!Database().commit()) {
        const QString message = DriverMessage(Database().lastError());
        Database().rollback();
        Release();
        throw DbError(message);
    }
    Release();
}

void TDbConnection::RollbackTransaction() {
    if (!inTransaction_)
        throw DbError(QStringLiteral("No transaction is open"));
    inTransaction_ = false;
    const bool ok = Database().rollback();
    const QString message = ok ? QString() : DriverMessage(Database().lastError());
    Release();
    if (!ok)
        throw DbError(message);
}

} // namespace db
