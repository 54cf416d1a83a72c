#include "db/Connection.h"
#include "TestDatabase.h"
#include "db/Command.h"
#include "db/DbError.h"
#include "db/Query.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using db::DbError;
using db::TDbCommand;
using db::TDbConnection;
using db::TDbQuery;
using dbtest::Backend;
using dbtest::TestDatabase;

namespace {

class OnDemandConnection : public ::testing::Test {
protected:
    void SetUp() override {
        database = TestDatabase::Create(Backend::SQLite);
        cn.SetConnectionString(database->ConnectionString());
    }
    void Insert(int posto) {
        TDbCommand c(&cn);
        c.SetSQL({QStringLiteral("INSERT INTO printer (posto) VALUES (:posto)")});
        c.ParamByName(QStringLiteral("posto")).SetValue(posto);
        c.Execute();
    }

    std::unique_ptr<TestDatabase> database;
    TDbConnection cn;
};

TEST_F(OnDemandConnection, EachStatementConnectsAndDisconnectsWhileNoQueryIsOpen) {
    Insert(1);
    EXPECT_FALSE(cn.Connected());
    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT * FROM printer")});
    q.Open();
    q.Close();
    EXPECT_FALSE(cn.Connected());
    Insert(2);
    EXPECT_EQ(cn.OpenCount(), 3);
    EXPECT_EQ(cn.EngineName(), QStringLiteral("sqlite"));
}

TEST_F(OnDemandConnection, AnOpenQueryKeepsTheConnectionForOtherStatements) {
    TDbQuery hist(&cn);
    hist.SetSQL({QStringLiteral("SELECT * FROM historico ORDER BY id DESC")});
    hist.Open();
    EXPECT_TRUE(cn.Connected());
    Insert(1);
    Insert(2);
    TDbQuery other(&cn);
    other.SetSQL({QStringLiteral("SELECT * FROM printer")});
    other.Open();
    other.Close();
    EXPECT_TRUE(cn.Connected());
    EXPECT_EQ(cn.OpenCount(), 1);
    hist.Close();
    EXPECT_FALSE(cn.Connected());
}

TEST_F(OnDemandConnection, KeepConnectionAndTransactionsHoldIt) {
    cn.KeepConnection = true;
    Insert(1);
    Insert(2);
    EXPECT_TRUE(cn.Connected());
    EXPECT_EQ(cn.OpenCount(), 1);
    cn.KeepConnection = false;
    cn.Close();

    cn.BeginTransaction();
    Insert(3);
    EXPECT_TRUE(cn.Connected());
    cn.RollbackTransaction();
    EXPECT_FALSE(cn.Connected());
    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT COUNT(*) AS n FROM printer")});
    q.Open();
    EXPECT_EQ(q.FieldAsInteger(QStringLiteral("n")), 2);
}

TEST_F(OnDemandConnection, FailuresCarryTheDriverMessageAndReleaseTheConnection) {
    TDbCommand c(&cn);
    c.SetSQL({QStringLiteral("DELETE FROM nosuchtable WHERE id = :id")});
    c.ParamByName(QStringLiteral("id")).SetValue(1);
    try {
        c.Execute();
        FAIL() << "no error";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("no such table: nosuchtable"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(cn.Connected());

    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT nosuchcolumn FROM printer")});
    EXPECT_THROW(q.Open(), DbError);
    EXPECT_FALSE(q.Active());
    EXPECT_FALSE(cn.Connected());
    // The statement can run again once the fault is gone: nothing is left half open.
    q.SetSQL({QStringLiteral("SELECT id FROM printer")});
    q.Open();
    EXPECT_TRUE(q.IsEmpty());
}

TEST(Connection, InlineInitStringAndUnreachableServers) {
    QTemporaryDir dir;
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    {
        TDbConnection cn;
        cn.SetConnectionString(QStringLiteral("Provider=SQLite;Data Source=inline.db"));
        cn.Open();
        EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("inline.db"))));
    }
    QDir::setCurrent(saved);

    // Nothing listens on port 1: the driver's refusal is raised, and no password shows.
    TDbConnection pg;
    pg.SetConnectionString(QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1:1;"
                                          "Initial Catalog=x;User ID=u;Password=hunter22"));
    try {
        pg.Open();
        FAIL() << "connected to nothing";
    } catch (const DbError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("127.0.0.1"), std::string::npos) << message;
        EXPECT_EQ(message.find("hunter22"), std::string::npos) << message;
    }
    EXPECT_FALSE(pg.Connected());
    EXPECT_EQ(pg.OpenCount(), 0);

    TDbConnection none;
    EXPECT_THROW(none.Open(), DbError);
}

} // namespace
