#pragma once

#include "db/DataLink.h"

#include <QSqlDatabase>
#include <QString>
#include <optional>

class QSqlError;

namespace db {

class TDbStatement;
class TDbQuery;
class TDbCommand;

// The one connection of a station program. It is named by a connection string, either
// "FILE NAME=<path of a data link file>" or an initialisation string ("Provider=...;...").
// Statements open it on demand and release it when they end, unless KeepConnection is set, a
// transaction is open or a query on it is still open.
class TDbConnection {
public:
    TDbConnection();
    ~TDbConnection();
    TDbConnection(const TDbConnection&) = delete;
    TDbConnection& operator=(const TDbConnection&) = delete;

    void SetConnectionString(const QString& connectionString);
    QString ConnectionString() const;

    bool KeepConnection = false;
    int ConnectionTimeout = 0; // seconds to wait for the server at connect; 0: no limit

    // Reads the data link (every time, so an edited file takes effect) and connects.
    // Does nothing when already connected. DbError with the driver's message on failure.
    void Open();
    // Disconnects; an open transaction is rolled back. Snapshots of open queries stay readable.
    void Close();
    bool Connected() const;

    int OpenCount() const { return openCount_; } // physical connections made so far
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

    QSqlDatabase& Database() { return database_; }
    void Acquire(); // connects when not connected
    void Release(); // disconnects unless something keeps the connection
    void QueryOpened() { ++openQueries_; }
    void QueryClosed();
    // The driver's message of the last error, with the password masked.
    QString DriverMessage(const QSqlError& error) const;

    DataLink ResolveLink() const;
    void Configure(const DataLink& link);

    QString connectionString_;
    QString connectionName_;
    QSqlDatabase database_;
    std::optional<DataLink> configured_;
    int openCount_ = 0;
    int openQueries_ = 0;
    bool inTransaction_ = false;
};

} // namespace db
