#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// GoogleTest shows a QString that differs as its text rather than as its UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace dbtest {

// The database roads the tests exercise.
enum class Backend { SQLite, PostgreSQL, PostgreSQLOdbc };

std::vector<Backend> AllBackends();
std::string BackendName(Backend backend); // "SQLite", "PostgreSQL", "PostgreSQLOdbc"
inline void PrintTo(Backend backend, std::ostream* os) {
    *os << BackendName(backend);
}

// The test PostgreSQL server named by PLINOVA_TEST_PG_HOST, _PORT, _DB, _USER and _PASSWORD
// (see scripts/start-test-postgres.sh); none when they are not all set.
struct PgServer {
    QString host;
    int port = 0;
    QString database;
    QString user;
    QString password;
};
std::optional<PgServer> PgServerFromEnvironment();

// True when PLINOVA_REQUIRE_PG=1: a missing server then fails the test instead of skipping it.
bool PgRequired();

// Whether the backend can be used here; otherwise *why says what is missing.
bool BackendAvailable(Backend backend, QString* why);

// A fresh database of one backend holding the empty tables printer, historico and
// configpostos, named by a data link file "Molvar.udl" in a temporary folder. Removed (the
// folder, and the PostgreSQL database) when the object is destroyed.
class TestDatabase {
public:
    // Throws db::DbError when the database cannot be made (server not set up or down).
    static std::unique_ptr<TestDatabase> Create(Backend backend);
    ~TestDatabase();

    Backend backend() const { return backend_; }
    QString Folder() const { return dir_.path(); }
    QString DataLinkPath() const;                      // Folder() + "/Molvar.udl"
    QString ConnectionString() const;                  // "FILE NAME=" naming DataLinkPath()
    QString InitString() const { return initString_; } // the link's initialisation string
    // Writes the same data link file (Windows form) to another path, e.g. beside a program.
    void WriteDataLink(const QString& path) const;

private:
    TestDatabase() = default;

    Backend backend_ = Backend::SQLite;
    QTemporaryDir dir_;
    QString initString_;
    QString pgDatabase_; // the database made for this object, PostgreSQL backends only
    std::optional<PgServer> server_;
};

} // namespace dbtest

// Skips the current test when the backend cannot be used here, or fails it when
// PLINOVA_REQUIRE_PG=1 demands the PostgreSQL backends.
#define PLINOVA_REQUIRE_BACKEND(backend)                                                           \
    do {                                                                                           \
        QString plinovaWhy_;                                                                       \
        if (!::dbtest::BackendAvailable((backend), &plinovaWhy_)) {                                \
            if (::dbtest::PgRequired())                                                            \
                FAIL() << plinovaWhy_.toStdString();                                               \
            else                                                                                   \
                GTEST_SKIP() << plinovaWhy_.toStdString();                                         \
        }                                                                                          \
    } while (0)
