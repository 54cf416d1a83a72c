#pragma once

#include "db/DataLink.h"
#include "db/Engine.h"

#include <QSqlDatabase>
#include <QString>
#include <memory>

namespace db {

// One open connection to a database, as Qt's driver made it, with the native engine that runs
// the statements on it. Closed when destroyed.
class PhysicalConnection {
public:
    // Connects; DbError with the driver's message (passwords masked) when it cannot.
    // `timeoutSeconds` bounds the wait for the server; 0: no limit.
    PhysicalConnection(const DataLink& link, int timeoutSeconds);
    ~PhysicalConnection();
    PhysicalConnection(const PhysicalConnection&) = delete;
    PhysicalConnection& operator=(const PhysicalConnection&) = delete;

    const DataLink& Link() const { return link_; }
    QSqlDatabase& Database() { return database_; }
    Engine& Statements() { return *engine_; }

    // "sqlite", "postgresql", "sqlserver", or "other" (an ODBC data source of another kind).
    QString DbmsName() const;

private:
    DataLink link_;
    QString name_; // the connection's name among Qt's connections
    QSqlDatabase database_;
    std::unique_ptr<Engine> engine_;
};

} // namespace db
