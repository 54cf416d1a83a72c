#include "TestDatabase.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/DataLink.h"
#include "db/DbError.h"
#include "db/Schema.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <atomic>

namespace dbtest {

using db::CreateTables;
using db::DbError;
using db::TDbCommand;
using db::TDbConnection;

namespace {

QString Quoted(const QString& value) {
    QString escaped = value;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

QString PgInitString(const PgServer& s, const QString& database) {
    return QStringLiteral("Provider=PostgreSQL;Data Source=%1:%2;Initial Catalog=%3;"
                          "User ID=%4;Password=%5")
        .arg(s.host)
        .arg(s.port)
        .arg(database, s.user, Quoted(s.password));
}

QString OdbcInitString(const PgServer& s, const QString& database) {
    const QString odbc = QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=%1;PORT=%2;"
                                        "DATABASE=%3;UID=%4;PWD={%5};CommLog=0;Debug=0;")
                             .arg(s.host)
                             .arg(s.port)
                             .arg(database, s.user, s.password);
    return QStringLiteral("Provider=MSDASQL.1;Persist Security Info=False;Extended Properties=") +
           Quoted(odbc);
}

void RunOn(const QString& initString, const QString& sql) {
    TDbConnection cn;
    cn.SetConnectionString(initString);
    TDbCommand command(&cn);
    command.SetSQL({sql});
    command.Execute();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw DbError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

// Every backend the tests run on, in the order they run, with the name they print.
struct BackendRow {
    Backend backend;
    const char* name;
};

constexpr BackendRow kBackends[] = {
    {Backend::SQLite, "SQLite"},
    {Backend::PostgreSQL, "PostgreSQL"},
    {Backend::PostgreSQLOdbc, "PostgreSQLOdbc"},
};

} // namespace

std::vector<Backend> AllBackends() {
    std::vector<Backend> all;
    for (const BackendRow& row : kBackends)
        all.push_back(row.backend);
    return all;
}

std::string BackendName(Backend backend) {
    for (const BackendRow& row : kBackends)
        if (row.backend == backend)
            return row.name;
    return "Unknown";
}

std::optional<PgServer> PgServerFromEnvironment() {
    PgServer s;
    s.host = qEnvironmentVariable("PLINOVA_TEST_PG_HOST");
    s.port = qEnvironmentVariableIntValue("PLINOVA_TEST_PG_PORT");
    s.database = qEnvironmentVariable("PLINOVA_TEST_PG_DB");
    s.user = qEnvironmentVariable("PLINOVA_TEST_PG_USER");
    s.password = qEnvironmentVariable("PLINOVA_TEST_PG_PASSWORD");
    if (s.host.isEmpty() || s.port <= 0 || s.database.isEmpty() || s.user.isEmpty())
        return std::nullopt;
    return s;
}

bool PgRequired() {
    return qEnvironmentVariable("PLINOVA_REQUIRE_PG") == u"1";
}

bool BackendAvailable(Backend backend, QString* why) {
    if (backend == Backend::SQLite)
        return true;
    if (!PgServerFromEnvironment()) {
        *why = QStringLiteral("no test PostgreSQL server: run eval \"$(scripts/"
                              "start-test-postgres.sh)\" to set PLINOVA_TEST_PG_*");
        return false;
    }
    return true;
}

std::unique_ptr<TestDatabase> TestDatabase::Create(Backend backend) {
    std::unique_ptr<TestDatabase> t(new TestDatabase());
    t->backend_ = backend;
    if (!t->dir_.isValid())
        throw DbError(QStringLiteral("Cannot make a temporary folder"));
    if (backend == Backend::SQLite) {
        t->initString_ = QStringLiteral("Provider=SQLite;Data Source=plinova.db");
    } else {
        t->server_ = PgServerFromEnvironment();
        if (!t->server_)
            throw DbError(QStringLiteral("PLINOVA_TEST_PG_* are not set"));
        static std::atomic<int> counter{0};
        t->pgDatabase_ = QStringLiteral("plinova_t%1_%2_%3")
                             .arg(QCoreApplication::applicationPid())
                             .arg(++counter)
                             .arg(QRandomGenerator::global()->bounded(1000000));
        RunOn(PgInitString(*t->server_, t->server_->database),
              QStringLiteral("CREATE DATABASE %1").arg(t->pgDatabase_));
        t->initString_ = backend == Backend::PostgreSQL
                             ? PgInitString(*t->server_, t->pgDatabase_)
                             : OdbcInitString(*t->server_, t->pgDatabase_);
    }
    t->WriteDataLink(t->DataLinkPath());
    TDbConnection cn;
    cn.SetConnectionString(t->ConnectionString());
    CreateTables(cn);
    return t;
}

TestDatabase::~TestDatabase() {
    if (pgDatabase_.isEmpty() || !server_)
        return;
    try {
        RunOn(PgInitString(*server_, server_->database),
              QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(pgDatabase_));
    } catch (const DbError& e) {
        ADD_FAILURE() << "cannot drop test database " << pgDatabase_.toStdString() << ": "
                      << e.what();
    }
}

QString TestDatabase::DataLinkPath() const {
    return dir_.filePath(QStringLiteral("Molvar.udl"));
}

QString TestDatabase::ConnectionString() const {
    return db::DataLinkFileConnectionString(DataLinkPath());
}

void TestDatabase::WriteDataLink(const QString& path) const {
    WriteFile(path, db::DataLinkFileBytes(initString_));
}

} // namespace dbtest
