#pragma once

#include <QStringList>

namespace db {

class TDbConnection;

enum class SchemaDialect { SQLite, PostgreSQL, SqlServer };

// The statements that create the tables `printer`, `historico` and `configpostos` (and their
// indexes) when they do not exist yet. Running them again changes nothing.
QStringList CreateTableStatements(SchemaDialect dialect);

// Creates the missing tables on the database `cn` names, in one transaction, choosing the
// dialect by the server reached. DbError when the server is of no known kind.
void CreateTables(TDbConnection& cn);

} // namespace db
