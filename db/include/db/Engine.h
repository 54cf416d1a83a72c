#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

class QSqlDatabase;

namespace db {

// A statement as it goes to an engine: the text with each parameter marker written as "?",
// where each marker's "?" stands, and the value bound at each marker. Engines bind these
// values by position through their own interfaces; none reads the text for placeholders.
struct BoundStatement {
    QString text;
    QList<qsizetype> markerAt;
    std::vector<QVariant> values; // one per marker
};

// The columns and all rows a statement returned (none for a statement without rows), and the
// number of rows it changed (-1 where the engine does not tell).
struct StatementResult {
    QStringList fields;
    std::vector<std::vector<QVariant>> rows;
    qint64 rowsAffected = -1;
};

// The native side of one open physical connection, behind Qt's driver for it.
class Engine {
public:
    virtual ~Engine() = default;

    // Runs one statement; DbError with the engine's own message on failure.
    virtual StatementResult Run(const BoundStatement& statement) = 0;
    // Whether a connection that was kept idle can still be used, checked as cheaply as the
    // engine allows (no round trip to a server where the client library can tell).
    virtual bool Alive() = 0;
    // Whether the connection may be kept for reuse now: it is sound and holds no transaction
    // of its own.
    virtual bool Reusable() = 0;
};

// The engine of a connection Qt has opened with QSQLITE, QPSQL or QODBC, in turn.
std::unique_ptr<Engine> MakeSqliteEngine(const QSqlDatabase& database);
std::unique_ptr<Engine> MakePgEngine(const QSqlDatabase& database);
std::unique_ptr<Engine> MakeOdbcEngine(const QSqlDatabase& database);

} // namespace db
