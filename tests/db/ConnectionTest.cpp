// Connection on demand and the reuse of the physical connection underneath it, on every
// database road: statements see a connection opened and closed around them, while one
// physical connection serves them until it idles too long, dies, or the object goes.
#include "db/Connection.h"
#include "EventLoopWait.h"
#include "JobQueue.h"
#include "PgCluster.h"
#include "TestDatabase.h"
#include "db/Command.h"
#include "db/DataLink.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "db/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

using db::DbError;
using db::TDbCommand;
using db::TDbConnection;
using db::TDbQuery;
using dbtest::Backend;
using dbtest::TestDatabase;
using namespace std::chrono_literals;

namespace {

// A statement's text, and its one parameter when a value is given.
template <typename Statement>
void Prepare(Statement& statement, const QString& sql, const QVariant& value) {
    statement.SetSQL({sql});
    if (value.isValid())
        statement.Param(0).SetValue(value);
}

void Exec(TDbConnection& cn, const QString& sql, const QVariant& value = QVariant()) {
    TDbCommand c(&cn);
    Prepare(c, sql, value);
    c.Execute();
}

int Number(TDbConnection& cn, const QString& sql, const QVariant& value = QVariant()) {
    TDbQuery q(&cn);
    Prepare(q, sql, value);
    q.Open();
    return q.FieldAsInteger(q.FieldName(0));
}

// Whether a PostgreSQL server process still runs, asked on a connection of its own.
bool ServerProcessRuns(const QString& connectionString, int pid) {
    TDbConnection admin;
    admin.SetConnectionString(connectionString);
    return Number(admin, QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE pid = :pid"),
                  pid) > 0;
}

#ifdef _WIN32
// Whether the file is held open: Windows then refuses to open it for this caller alone. One
// handle or several look the same; a connection keeps one.
int OpenDescriptors(const QString& file) {
    const HANDLE handle =
        CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(file).utf16()),
                    GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? 1 : 0;
    CloseHandle(handle);
    return 0;
}
#else
// Descriptors of this process open on the file.
int OpenDescriptors(const QString& file) {
    const QString target = QFileInfo(file).canonicalFilePath();
    int n = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        n += QFile::symLinkTarget(fds.filePath(fd)) == target ? 1 : 0;
    return n;
}
#endif

class OnDemandConnection : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        PLINOVA_REQUIRE_BACKEND(GetParam());
        database = TestDatabase::Create(GetParam());
        cn = std::make_unique<TDbConnection>();
        cn->SetConnectionString(database->ConnectionString());
    }
    bool OnServer() const { return GetParam() != Backend::SQLite; }
    void Insert(int posto) { dbtest::QueueJob(*cn, {.posto = posto}); }
    int Rows() { return Number(*cn, QStringLiteral("SELECT COUNT(*) FROM printer")); }
    int ServerPid() { return Number(*cn, QStringLiteral("SELECT pg_backend_pid()")); }

    std::unique_ptr<TestDatabase> database;
    std::unique_ptr<TDbConnection> cn;
};

TEST_P(OnDemandConnection, ReleasedConnectionServesTheNextStatementsUntilTheObjectGoes) {
    Insert(1);
    EXPECT_FALSE(cn->Connected());
    EXPECT_TRUE(cn->Pooled());
    TDbQuery q(cn.get());
    q.SetSQL({QStringLiteral("SELECT * FROM printer")});
    q.Open();
    q.Close();
    EXPECT_FALSE(cn->Connected());
    Insert(2);
    EXPECT_EQ(cn->OpenCount(), 1);

    // Destroyed, the object closes its physical connection.
    if (OnServer()) {
        const int pid = ServerPid();
        cn.reset();
        EXPECT_TRUE(
            WaitUntil([&] { return !ServerProcessRuns(database->ConnectionString(), pid); }, 10s));
    } else {
        const QString file = QDir(database->Folder()).filePath(QStringLiteral("plinova.db"));
        EXPECT_EQ(OpenDescriptors(file), 1);
        cn.reset();
        EXPECT_EQ(OpenDescriptors(file), 0);
    }

    // With resource pooling turned off in the link, every statement connects afresh.
    const QString unpooled = QDir(database->Folder()).filePath(QStringLiteral("unpooled.udl"));
    QFile link(unpooled);
    ASSERT_TRUE(link.open(QIODevice::WriteOnly));
    link.write((database->InitString() + QStringLiteral(";OLE DB Services=-2")).toUtf8());
    link.close();
    TDbConnection each;
    each.SetConnectionString(QStringLiteral("FILE NAME=") + unpooled);
    Exec(each, QStringLiteral("DELETE FROM printer WHERE posto = :posto"), 1);
    EXPECT_FALSE(each.Pooled());
    EXPECT_EQ(Number(each, QStringLiteral("SELECT COUNT(*) FROM printer")), 1);
    EXPECT_EQ(each.OpenCount(), 2);
}

TEST_P(OnDemandConnection, IdleConnectionIsClosedAfterTheLimit) {
    cn->IdleLimit = 100ms;
    Insert(1);
    ASSERT_TRUE(cn->Pooled());
    // Without an event loop turning meanwhile, the limit applies when the next statement
    // wants the connection.
    std::this_thread::sleep_for(150ms);
    Insert(2);
    EXPECT_EQ(cn->OpenCount(), 2);
    // With one, the kept connection is closed when its time is up.
    EXPECT_TRUE(WaitUntil([&] { return !cn->Pooled(); }, 10s));
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(cn->OpenCount(), 3);
}

TEST_P(OnDemandConnection, DeadConnectionIsReplacedBeforeUse) {
    Insert(1);
    if (OnServer()) {
        // The server ends the kept connection between two statements.
        const int pid = ServerPid();
        TDbConnection admin;
        admin.SetConnectionString(database->ConnectionString());
        EXPECT_EQ(Number(admin,
                         QStringLiteral("SELECT CASE WHEN pg_terminate_backend(:pid) THEN 1 END"),
                         pid),
                  1);
        ASSERT_TRUE(
            WaitUntil([&] { return !ServerProcessRuns(database->ConnectionString(), pid); }, 10s));
    } else {
#ifdef _WIN32
        GTEST_SKIP() << "Windows does not let a database file in use be replaced";
#endif
        // The database file is replaced by another (a restored copy) under the kept handle.
        const QString file = QDir(database->Folder()).filePath(QStringLiteral("plinova.db"));
        const QString copy = QDir(database->Folder()).filePath(QStringLiteral("copy.db"));
        {
            TDbConnection other;
            other.SetConnectionString(QStringLiteral("Provider=SQLite;Data Source=") + copy);
            db::CreateTables(other);
        }
        ASSERT_EQ(
            std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(file).constData()),
            0);
    }
    EXPECT_NO_THROW(Insert(2));
    EXPECT_EQ(cn->OpenCount(), 2);
    EXPECT_EQ(Rows(), OnServer() ? 2 : 1);
}

TEST_P(OnDemandConnection, FailuresDuringAStatementAreRaisedOnce) {
    try {
        Exec(*cn, QStringLiteral("DELETE FROM nosuchtable WHERE id = :id"), 1);
        FAIL() << "no error";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("nosuchtable"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(cn->Connected());
    TDbQuery q(cn.get());
    q.SetSQL({QStringLiteral("SELECT nosuchcolumn FROM printer")});
    EXPECT_THROW(q.Open(), DbError);
    EXPECT_FALSE(q.Active());
    EXPECT_FALSE(cn->Connected());
    // An error of the statement leaves the connection sound: it is used again.
    q.SetSQL({QStringLiteral("SELECT id FROM printer")});
    q.Open();
    EXPECT_TRUE(q.IsEmpty());
    q.Close();
    EXPECT_EQ(cn->OpenCount(), 1);
    if (!OnServer())
        return;

    // The server ends the connection while a statement runs: the failure is raised, the
    // statement is not tried again, and the next statement gets a fresh connection.
    const int pid = ServerPid();
    std::thread killer([&] {
        TDbConnection admin;
        admin.SetConnectionString(database->ConnectionString());
        WaitUntil(
            [&] {
                return Number(admin,
                              QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE pid = "
                                             ":pid AND wait_event = 'PgSleep'"),
                              pid) > 0;
            },
            30s);
        Exec(admin, QStringLiteral("SELECT pg_terminate_backend(:pid)"), pid);
    });
    EXPECT_THROW(
        Exec(*cn, QStringLiteral("INSERT INTO printer (posto) SELECT :posto FROM pg_sleep(60)"), 9),
        DbError);
    killer.join();
    EXPECT_FALSE(cn->Connected());
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(cn->OpenCount(), 2);
}

TEST_P(OnDemandConnection, AnOpenQueryKeepsItsConnectionForOtherStatements) {
    TDbQuery hist(cn.get());
    hist.SetSQL({QStringLiteral("SELECT * FROM historico ORDER BY id DESC")});
    hist.Open();
    EXPECT_TRUE(cn->Connected());
    Insert(1);
    Insert(2);
    EXPECT_EQ(Rows(), 2);
    EXPECT_TRUE(cn->Connected());
    EXPECT_EQ(cn->OpenCount(), 1);
    hist.Close();
    EXPECT_FALSE(cn->Connected());
}

TEST_P(OnDemandConnection, KeepConnectionAndTransactionsHoldIt) {
    cn->KeepConnection = true;
    Insert(1);
    Insert(2);
    EXPECT_TRUE(cn->Connected());
    cn->KeepConnection = false;
    cn->Close();
    EXPECT_FALSE(cn->Connected());

    cn->BeginTransaction();
    Insert(3);
    EXPECT_TRUE(cn->Connected());
    cn->RollbackTransaction();
    EXPECT_FALSE(cn->Connected());
    EXPECT_EQ(Rows(), 2);
    // A transaction left open when the connection closes is rolled back, not carried over
    // to the next user of the kept connection.
    cn->BeginTransaction();
    Insert(4);
    cn->Close();
    EXPECT_FALSE(cn->InTransaction());
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(cn->OpenCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(AllRoads, OnDemandConnection, ::testing::ValuesIn(dbtest::AllBackends()),
                         [](const auto& info) { return dbtest::BackendName(info.param); });

// A server of its own, stopped and started again between two statements.
class RestartedServer : public ::testing::TestWithParam<Backend> {
protected:
    static void SetUpTestSuite() {
        QString why;
        cluster_ = PgCluster::Create(&why).release();
        why_ = why.toStdString();
    }
    static void TearDownTestSuite() {
        delete cluster_;
        cluster_ = nullptr;
    }
    // The cluster's database by the road under test.
    static QString InitString(Backend backend) {
        if (backend == Backend::PostgreSQL)
            return cluster_->InitString();
        const db::DataLink link =
            db::ResolveInitString(cluster_->InitString(), QDir::currentPath(), QString());
        return QStringLiteral("Provider=MSDASQL;Extended Properties=\"DRIVER={PostgreSQL "
                              "Unicode};SERVER=%1;PORT=%2;DATABASE=%3;UID=%4;\"")
            .arg(link.hostName)
            .arg(link.port)
            .arg(link.databaseName, link.userName);
    }

    static PgCluster* cluster_;
    static std::string why_;
};
PgCluster* RestartedServer::cluster_ = nullptr;
std::string RestartedServer::why_;

TEST_P(RestartedServer, BetweenTwoStatementsIsNoError) {
    if (cluster_ == nullptr) {
        if (dbtest::PgRequired() && PgCluster::Possible())
            FAIL() << why_;
        GTEST_SKIP() << why_;
    }
    ASSERT_TRUE(cluster_->Start());
    TDbConnection cn;
    cn.SetConnectionString(InitString(GetParam()));
    Exec(cn, QStringLiteral("DROP TABLE IF EXISTS printer, historico, configpostos"));
    db::CreateTables(cn);
    dbtest::QueueJob(cn, {.posto = 1});

    ASSERT_TRUE(cluster_->Stop());
    ASSERT_TRUE(cluster_->Start());
    EXPECT_EQ(Number(cn, QStringLiteral("SELECT COUNT(*) FROM printer")), 1);
    EXPECT_EQ(cn.OpenCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(ServerRoads, RestartedServer,
                         ::testing::Values(Backend::PostgreSQL, Backend::PostgreSQLOdbc),
                         [](const auto& info) { return dbtest::BackendName(info.param); });

// Threads that read a data link and ran statements, one after another and side by side, end
// without harm (on Windows the end of such a thread once freed what it still used).
TEST(Connection, ThreadsThatRanStatementsEndCleanly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Molvar.udl"));
    QFile link(path);
    ASSERT_TRUE(link.open(QIODevice::WriteOnly));
    link.write(db::DataLinkFileBytes(QStringLiteral("Provider=SQLite;Data Source=t.db")));
    link.close();
    auto work = [&] {
        TDbConnection cn;
        cn.SetConnectionString(db::DataLinkFileConnectionString(path));
        Number(cn, QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
    };
    for (int round = 0; round < 8; ++round) {
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back(work);
        for (auto& thread : threads)
            thread.join();
    }
}

TEST(Connection, AnEditedDataLinkTakesEffectAtTheNextStatement) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Molvar.udl"));
    auto writeLink = [&](const char* file) {
        QFile link(path);
        ASSERT_TRUE(link.open(QIODevice::WriteOnly | QIODevice::Truncate));
        link.write(QByteArray("Provider=SQLite;Data Source=") + file);
    };
    writeLink("a.db");
    TDbConnection cn;
    cn.SetConnectionString(db::DataLinkFileConnectionString(path));
    Exec(cn, QStringLiteral("CREATE TABLE t (x INTEGER)"));
    // Rewritten at once with a text of the same length: the next statement reaches b.db, on a
    // connection of its own.
    writeLink("b.db");
    EXPECT_EQ(Number(cn, QStringLiteral("SELECT COUNT(*) FROM sqlite_master")), 0);
    EXPECT_EQ(cn.OpenCount(), 2);
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("b.db"))));
}

TEST(Connection, InlineInitStringAndUnreachableServers) {
    QTemporaryDir dir;
    {
        TDbConnection cn;
        cn.SetConnectionString(QStringLiteral("Provider=SQLite;Data Source=") +
                               dir.filePath(QStringLiteral("inline.db")));
        cn.Open();
        EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("inline.db"))));
    }

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
