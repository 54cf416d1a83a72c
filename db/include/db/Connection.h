#pragma once

#include "db/DataLink.h"
#include "db/Engine.h"

#include <QString>
#include <chrono>
#include <memory>
#include <optional>

class QSqlDatabase;
class QSqlError;
class QTimer;

namespace db {

class PhysicalConnection;
class TDbStatement;
class TDbQuery;
class TDbCommand;

// The one connection of a station program. It is named by a connection string, either
// "FILE NAME=<path of a data link file>" or an initialisation string ("Provider=...;...").
// Statements open it on demand and release it when they end, unless KeepConnection is set, a
// transaction is open or a query on it is still open.
//
// Underneath, a released connection is not closed at once: the physical connection is kept
// for the next statement for up to IdleLimit, then closed (by a timer where the thread runs an
// event loop, else at the next use). Before it is used again it is checked cheaply; one found
// dead, expired, or made for a data link that has since changed is closed and a fresh one made
// in its place. The link's "OLE DB Services" with its lowest bit cleared (-2, 0) turns this
// off: every release then closes the physical connection.
class TDbConnection {
public:
    TDbConnection();
    ~TDbConnection(); // closes the physical connection, kept or in use
    TDbConnection(const TDbConnection&) = delete;
    TDbConnection& operator=(const TDbConnection&) = delete;

    void SetConnectionString(const QString& connectionString);
    QString ConnectionString() const;

    bool KeepConnection = false;
    int ConnectionTimeout = 0; // seconds to wait for the server at connect; 0: no limit
    // How long a released physical connection is kept for reuse.
    std::chrono::milliseconds IdleLimit{60000};

    // Reads the data link (every time, so an edited file takes effect) and connects: with the
    // kept physical connection when it is still sound, else afresh. Does nothing when already
    // connected. DbError with the driver's message on failure.
    void Open();
    // Disconnects; an open transaction is rolled back. Snapshots of open queries stay readable.
    void Close();
    bool Connected() const { return open_; }

    int OpenCount() const { return openCount_; } // physical connections made so far
    // Whether a released physical connection is being kept for reuse.
    bool Pooled() const { return !open_ && physical_ != nullptr; }
    // The road taken by the last connect: "sqlite", "postgresql" or "odbc"; empty before one.
    QString EngineName() const;
    // The server reached by the current connection: "sqlite", "postgresql", "sqlserver", or
    // "other" (an ODBC data source of another kind); empty while not connected.
    QString DbmsName() const;

    // A transaction keeps the connection open until it is committed or rolled back.
    void BeginTransaction();
    void CommitTransaction();
    void RollbackTransaction();
    bool InTransaction() const { return inTransaction_; }

private:
    friend class TDbStatement;
    friend class TDbQuery;
    friend class TDbCommand;

    QSqlDatabase& Database();
    QString QtDriver() const;
    void Acquire(); // connects when not connected
    void Release(); // disconnects unless something keeps the connection
    void QueryOpened() { ++openQueries_; }
    void QueryClosed();
    // Runs a statement on the open connection; DbError with the engine's message, masked.
    StatementResult Run(const BoundStatement& statement);
    // The driver's message of an error, with passwords masked.
    QString DriverMessage(const QSqlError& error) const;
    QString Masked(const QString& message) const;

    // The data link the connection string names. A data link file is parsed again only when
    // its bytes have changed.
    DataLink ResolveLink();
    void Discard(); // closes the physical connection
    void ExpireIdle();

    QString connectionString_;
    struct ParsedLink {
        QString connectionString;
        QString folder;   // the working folder an inline string was read against
        QByteArray stamp; // the file's identity and state when it was read
        DataLink link;
    };
    std::optional<ParsedLink> parsed_;
    std::unique_ptr<PhysicalConnection> physical_;
    QString engineName_;
    QStringList passwords_; // of the last link read, for masking messages
    bool open_ = false;
    std::chrono::steady_clock::time_point idleSince_;
    std::unique_ptr<QTimer> expiry_;
    int openCount_ = 0;
    int openQueries_ = 0;
    bool inTransaction_ = false;
};

} // namespace db
