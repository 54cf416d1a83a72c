#include "db/Schema.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/DbError.h"

namespace db {

// Notes on the table layout:
// - printer.id must never be handed out twice: the spooler deletes the id of the last job it
//   took once more in every idle cycle, so a reused id would delete a new job unprinted. Hence
//   AUTOINCREMENT on SQLite (plain INTEGER PRIMARY KEY reuses the highest id after a delete).
// - Date-times: SQLite text "yyyy-MM-dd HH:mm:ss.zzz", PostgreSQL TIMESTAMP(3), SQL Server
//   DATETIME, all local time; each orders correctly in "datavalor < :datavalor".
QStringList CreateTableStatements(SchemaDialect dialect) {
    switch (dialect) {
    case SchemaDialect::SQLite:
        return {
            QStringLiteral("CREATE TABLE IF NOT EXISTS printer (id INTEGER PRIMARY KEY "
                           "AUTOINCREMENT, posto INTEGER, gaveta INTEGER, cartao INTEGER, titulo "
                           "INTEGER, palavrachave VARCHAR(255), dados TEXT)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS printer_posto ON printer (posto)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS historico (datahora TEXT, id INTEGER, "
                           "titulo INTEGER, dados TEXT, palavrachave VARCHAR(255), cartao "
                           "INTEGER, previsao VARCHAR(50), datavalor TEXT)"),
            QStringLiteral(
                "CREATE INDEX IF NOT EXISTS historico_datavalor ON historico (datavalor)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS configpostos (posto INTEGER NOT NULL, "
                           "seccao VARCHAR(50) NOT NULL, chave VARCHAR(50) NOT NULL, valor "
                           "VARCHAR(255), PRIMARY KEY (posto, seccao, chave))"),
        };
    case SchemaDialect::PostgreSQL:
        return {
            QStringLiteral("CREATE TABLE IF NOT EXISTS printer (id SERIAL PRIMARY KEY, posto "
                           "INTEGER, gaveta INTEGER, cartao INTEGER, titulo INTEGER, "
                           "palavrachave VARCHAR(255), dados TEXT)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS printer_posto ON printer (posto)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS historico (datahora TIMESTAMP(3), id "
                           "INTEGER, titulo INTEGER, dados TEXT, palavrachave VARCHAR(255), "
                           "cartao INTEGER, previsao VARCHAR(50), datavalor TIMESTAMP(3))"),
            QStringLiteral(
                "CREATE INDEX IF NOT EXISTS historico_datavalor ON historico (datavalor)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS configpostos (posto INTEGER NOT NULL, "
                           "seccao VARCHAR(50) NOT NULL, chave VARCHAR(50) NOT NULL, valor "
                           "VARCHAR(255), PRIMARY KEY (posto, seccao, chave))"),
        };
    case SchemaDialect::SqlServer:
        return {
            QStringLiteral("IF OBJECT_ID(N'printer', N'U') IS NULL CREATE TABLE printer (id INT "
                           "IDENTITY(1,1) PRIMARY KEY, posto INT, gaveta INT, cartao INT, titulo "
                           "INT, palavrachave NVARCHAR(255), dados NVARCHAR(MAX))"),
            QStringLiteral("IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = "
                           "N'printer_posto' AND object_id = OBJECT_ID(N'printer')) CREATE "
                           "INDEX printer_posto ON printer (posto)"),
            QStringLiteral("IF OBJECT_ID(N'historico', N'U') IS NULL CREATE TABLE historico "
                           "(datahora DATETIME, id INT, titulo INT, dados NVARCHAR(MAX), "
                           "palavrachave NVARCHAR(255), cartao INT, previsao NVARCHAR(50), "
                           "datavalor DATETIME)"),
            QStringLiteral("IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = "
                           "N'historico_datavalor' AND object_id = OBJECT_ID(N'historico')) "
                           "CREATE INDEX historico_datavalor ON historico (datavalor)"),
            QStringLiteral("IF OBJECT_ID(N'configpostos', N'U') IS NULL CREATE TABLE "
                           "configpostos (posto INT NOT NULL, seccao NVARCHAR(50) NOT NULL, "
                           "chave NVARCHAR(50) NOT NULL, valor NVARCHAR(255), PRIMARY KEY "
                           "(posto, seccao, chave))"),
        };
    }
    return {};
}

void CreateTables(TDbConnection& cn) {
    cn.BeginTransaction();
    try {
        const QString dbms = cn.DbmsName();
        SchemaDialect dialect;
        if (dbms == u"sqlite")
            dialect = SchemaDialect::SQLite;
        else if (dbms == u"postgresql")
            dialect = SchemaDialect::PostgreSQL;
        else if (dbms == u"sqlserver")
            dialect = SchemaDialect::SqlServer;
        else
            throw DbError(QStringLiteral("Cannot create the tables: the database server is of "
                                         "an unknown kind"));
        QStringList statements = CreateTableStatements(dialect);
        // "already exists, skipping" notices would only clutter the console of a tool.
        if (dialect == SchemaDialect::PostgreSQL)
            statements.prepend(QStringLiteral("SET LOCAL client_min_messages TO WARNING"));
        for (const QString& statement : statements) {
            TDbCommand command(&cn);
            command.SetSQL({statement});
            command.Execute();
        }
        cn.CommitTransaction();
    } catch (...) {
        // The first failure is the one to report; a failing rollback after it adds nothing.
        if (cn.InTransaction()) {
            try {
                cn.RollbackTransaction();
            } catch (const DbError&) {
            }
        }
        throw;
    }
}

} // namespace db
