// The statements of the spooler's job cycle, its history purge and its settings read, run
// against every database road: embedded SQLite, PostgreSQL natively and PostgreSQL through
// ODBC (the road to SQL Server).
#include "JobQueue.h"
#include "TestDatabase.h"
#include "Wine.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "db/Schema.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using db::DbError;
using db::FieldType;
using db::TDbCommand;
using db::TDbConnection;
using db::TDbQuery;
using dbtest::Backend;
using dbtest::TestDatabase;

namespace {

class Backends : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        PLINOVA_REQUIRE_BACKEND(GetParam());
        database = TestDatabase::Create(GetParam());
        cn.SetConnectionString(database->ConnectionString());
        print = std::make_unique<TDbQuery>(&cn);
        print->SetSQL(
            {QStringLiteral("SELECT * FROM printer"), QStringLiteral("WHERE posto = :posto")});
        addhist = std::make_unique<TDbCommand>(&cn);
        addhist->SetSQL({QStringLiteral("INSERT INTO historico (datahora, id, titulo, dados, "
                                        "palavrachave, cartao, previsao, datavalor)"),
                         QStringLiteral("VALUES (:datahora, :id, :titulo, :dados, "
                                        ":palavrachave, :cartao, :previsao, :datavalor)")});
        for (const char* name : {"datahora", "datavalor"})
            addhist->ParamByName(QLatin1String(name)).DataType = FieldType::ftDateTime;
        for (const char* name : {"id", "titulo", "cartao"})
            addhist->ParamByName(QLatin1String(name)).DataType = FieldType::ftInteger;
        for (const char* name : {"dados", "palavrachave", "previsao"}) {
            addhist->ParamByName(QLatin1String(name)).DataType = FieldType::ftString;
            addhist->ParamByName(QLatin1String(name)).Size = 510;
        }
        del = std::make_unique<TDbCommand>(&cn);
        del->SetSQL({QStringLiteral("DELETE FROM printer WHERE id=:id")});
        del->ParamByName(QStringLiteral("id")).DataType = FieldType::ftInteger;
    }

    int QueueJob(int posto, const QVariant& dados, int gaveta = 0, int cartao = 0) {
        dbtest::QueueJob(cn, {.posto = posto,
                              .gaveta = gaveta,
                              .cartao = cartao,
                              .titulo = 1,
                              .palavrachave = QStringLiteral("MESA 4"),
                              .dados = dados});
        return dbtest::LastJobId(cn);
    }

    void AddHistory(const QDateTime& datahora, int id, const QString& dados,
                    const QDateTime& datavalor) {
        addhist->ParamByName(QStringLiteral("datahora")).SetValue(datahora);
        addhist->ParamByName(QStringLiteral("id")).SetValue(id);
        addhist->ParamByName(QStringLiteral("titulo")).SetValue(1);
        addhist->ParamByName(QStringLiteral("dados")).SetValue(dados);
        addhist->ParamByName(QStringLiteral("palavrachave")).SetValue(QStringLiteral("MESA 4"));
        addhist->ParamByName(QStringLiteral("cartao")).SetValue(7);
        addhist->ParamByName(QStringLiteral("previsao")).SetValue(dados.left(50));
        addhist->ParamByName(QStringLiteral("datavalor")).SetValue(datavalor);
        addhist->Execute();
    }

    // One job cycle's database work: take the station's first job, log a print job, delete it.
    // Returns the id taken, 0 when the queue held nothing for the station.
    int Cycle(int posto, int lastId) {
        print->ParamByName(QStringLiteral("posto")).SetValue(posto);
        print->Open();
        if (!print->IsEmpty()) {
            lastId = print->FieldAsInteger(QStringLiteral("id"));
            if (print->FieldAsInteger(QStringLiteral("gaveta")) == 0)
                AddHistory(QDateTime::currentDateTime(), lastId,
                           print->FieldAsString(QStringLiteral("dados")),
                           QDate::currentDate().startOfDay());
        }
        print->Close();
        del->ParamByName(QStringLiteral("id")).SetValue(lastId);
        del->Execute();
        return lastId;
    }

    int Count(const QString& sql) {
        TDbQuery q(&cn);
        q.SetSQL({sql});
        q.Open();
        return q.FieldAsInteger(q.FieldName(0));
    }

    std::unique_ptr<TestDatabase> database;
    TDbConnection cn;
    std::unique_ptr<TDbQuery> print;
    std::unique_ptr<TDbCommand> addhist;
    std::unique_ptr<TDbCommand> del;
};

TEST_P(Backends, JobCycleTakesTheStationsJobsOneAtATime) {
    const int first = QueueJob(1, QStringLiteral("primeiro"), 0, 101);
    const int drawer = QueueJob(1, QStringLiteral("gaveta"), 1, 102);
    const int other = QueueJob(2, QStringLiteral("outro posto"), 0, 201);

    int last = Cycle(1, 0);
    EXPECT_TRUE(last == first || last == drawer);
    last = Cycle(1, last);
    EXPECT_TRUE(last == first || last == drawer);
    EXPECT_EQ(Cycle(1, last), last); // an idle cycle repeats the delete of the last id
    EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM printer")), 1);
    EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM printer WHERE id = %1").arg(other)), 1);

    // Only the print job was logged, with what the cycle wrote.
    TDbQuery hist(&cn);
    hist.SetSQL({QStringLiteral("SELECT * FROM historico ORDER BY id DESC")});
    hist.Open();
    ASSERT_EQ(hist.RecordCount(), 1);
    EXPECT_EQ(hist.FieldAsInteger(QStringLiteral("id")), first);
    EXPECT_EQ(hist.FieldAsString(QStringLiteral("dados")), QStringLiteral("primeiro"));
    EXPECT_EQ(hist.FieldAsString(QStringLiteral("palavrachave")), QStringLiteral("MESA 4"));
    EXPECT_EQ(hist.FieldAsInteger(QStringLiteral("titulo")), 1);
    EXPECT_EQ(hist.FieldAsDateTime(QStringLiteral("datavalor")), QDate::currentDate().startOfDay());
    EXPECT_EQ(hist.FieldCount(), 8);
}

TEST_P(Backends, IdsAreNeverHandedOutTwice) {
    const int a = QueueJob(1, QStringLiteral("a"));
    del->ParamByName(QStringLiteral("id")).SetValue(a);
    del->Execute();
    EXPECT_GT(QueueJob(1, QStringLiteral("b")), a);
}

TEST_P(Backends, PurgeRemovesEarlierBusinessDaysOnly) {
    const QDate today(2026, 3, 10);
    const QDateTime midnight = today.startOfDay();
    AddHistory(midnight.addMSecs(-1), 1, QStringLiteral("last ms of yesterday"),
               midnight.addMSecs(-1));
    AddHistory(midnight.addDays(-30), 2, QStringLiteral("a month ago"), midnight.addDays(-30));
    AddHistory(midnight, 3, QStringLiteral("today"), midnight);
    AddHistory(midnight.addDays(1), 4, QStringLiteral("tomorrow"), midnight.addDays(1));

    TDbCommand purge(&cn);
    purge.SetSQL({QStringLiteral("DELETE FROM historico WHERE datavalor < :datavalor")});
    purge.ParamByName(QStringLiteral("datavalor")).DataType = FieldType::ftDateTime;
    purge.ParamByName(QStringLiteral("datavalor")).SetValue(midnight);
    purge.Execute();

    TDbQuery left(&cn);
    left.SetSQL({QStringLiteral("SELECT id, datahora FROM historico ORDER BY id")});
    left.Open();
    ASSERT_EQ(left.RecordCount(), 2);
    EXPECT_EQ(left.FieldAsInteger(QStringLiteral("id")), 3);
    EXPECT_EQ(left.FieldAsDateTime(QStringLiteral("datahora")), midnight);
    left.Next();
    EXPECT_EQ(left.FieldAsInteger(QStringLiteral("id")), 4);
}

TEST_P(Backends, DateTimesKeepTheirMilliseconds) {
    const QDateTime when(QDate(2026, 12, 7), QTime(23, 59, 58, 123));
    AddHistory(when, 1, QStringLiteral("x"), when.date().startOfDay());
    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT datahora FROM historico WHERE datahora > :after")});
    q.ParamByName(QStringLiteral("after")).SetValue(when.addMSecs(-1));
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.FieldAsDateTime(QStringLiteral("datahora")), when);
}

// Each kind of value a parameter passes on reaches the engine as that kind and reads back
// equal.
TEST_P(Backends, ValuesOfEveryKindComeBackAsBound) {
    const QDateTime when(QDate(2026, 3, 10), QTime(12, 34, 56, 789));
    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT :i AS i, :yes AS yes, :no AS no, :d AS d, :t AS t,"),
              QStringLiteral(":day AS day, :text AS text")});
    q.ParamByName(QStringLiteral("i")).SetValue(-7);
    q.ParamByName(QStringLiteral("yes")).SetValue(true);
    q.ParamByName(QStringLiteral("no")).SetValue(false);
    q.ParamByName(QStringLiteral("d")).SetValue(0.1);
    q.ParamByName(QStringLiteral("t")).SetValue(when);
    q.ParamByName(QStringLiteral("day")).SetValue(when.date());
    q.ParamByName(QStringLiteral("text")).SetValue(QStringLiteral("Ação"));
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.FieldAsInteger(QStringLiteral("i")), -7);
    EXPECT_TRUE(q.FieldValue(QStringLiteral("yes")).toBool());
    EXPECT_FALSE(q.FieldValue(QStringLiteral("no")).toBool());
    EXPECT_DOUBLE_EQ(q.FieldValue(QStringLiteral("d")).toDouble(), 0.1);
    EXPECT_EQ(q.FieldAsDateTime(QStringLiteral("t")), when);
    EXPECT_EQ(q.FieldAsDateTime(QStringLiteral("day")), when.date().startOfDay());
    EXPECT_EQ(q.FieldAsString(QStringLiteral("text")), QStringLiteral("Ação"));
}

TEST_P(Backends, LongAndNonLatinTextsRoundTripWhole) {
    QString big;
    big.reserve(1 << 20);
    while (big.size() < (1 << 20))
        big += QStringLiteral("linha %1 do talão\r\n").arg(big.size());
    const QString world = QStringLiteral("Ação € Ωμέγα 日本語 😀 «fim»");
    const int bigId = QueueJob(1, big);
    const int worldId = QueueJob(1, world);

    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT id, dados FROM printer ORDER BY id")});
    q.Open();
    ASSERT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(q.FieldAsInteger(QStringLiteral("id")), bigId);
    EXPECT_EQ(q.FieldAsString(QStringLiteral("dados")).size(), big.size());
    EXPECT_TRUE(q.FieldAsString(QStringLiteral("dados")) == big);
    q.Next();
    EXPECT_EQ(q.FieldAsInteger(QStringLiteral("id")), worldId);
    EXPECT_EQ(q.FieldAsString(QStringLiteral("dados")), world);

    AddHistory(QDateTime::currentDateTime(), bigId, big, QDate::currentDate().startOfDay());
    EXPECT_EQ(Count(QStringLiteral("SELECT LENGTH(dados) FROM historico")), big.size());
}

TEST_P(Backends, ZeroCharactersAreStoredOrRefusedNeverCut) {
    const QString withZero = QStringLiteral("\x1B@") + QChar(0) + QStringLiteral("tail");
    if (GetParam() == Backend::SQLite) {
        QueueJob(1, withZero);
        TDbQuery q(&cn);
        q.SetSQL({QStringLiteral("SELECT dados FROM printer")});
        q.Open();
        EXPECT_EQ(q.FieldAsString(QStringLiteral("dados")), withZero);
        return;
    }
    try {
        QueueJob(1, withZero);
        FAIL() << "text with a zero character accepted";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("zero character"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM printer")), 0);
}

TEST_P(Backends, NullColumnsReadAsZeroAndEmpty) {
    dbtest::QueueJob(cn, {.posto = 5});
    print->ParamByName(QStringLiteral("posto")).SetValue(5);
    print->Open();
    ASSERT_EQ(print->RecordCount(), 1);
    EXPECT_EQ(print->FieldAsInteger(QStringLiteral("gaveta")), 0);
    EXPECT_EQ(print->FieldAsInteger(QStringLiteral("cartao")), 0);
    EXPECT_EQ(print->FieldAsString(QStringLiteral("dados")), QString());
    EXPECT_TRUE(print->FieldIsNull(QStringLiteral("palavrachave")));

    // Nullable parameters bind NULL when given no value.
    addhist->ParamByName(QStringLiteral("datahora")).SetValue(QVariant());
    addhist->ParamByName(QStringLiteral("id")).SetValue(QVariant());
    addhist->ParamByName(QStringLiteral("titulo")).SetValue(QVariant());
    addhist->ParamByName(QStringLiteral("dados")).SetValue(QVariant());
    addhist->ParamByName(QStringLiteral("palavrachave")).SetValue(QVariant());
    addhist->ParamByName(QStringLiteral("cartao")).SetValue(QVariant());
    addhist->ParamByName(QStringLiteral("previsao")).SetValue(QVariant());
    addhist->ParamByName(QStringLiteral("datavalor")).SetValue(QVariant());
    addhist->Execute();
    EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM historico WHERE id IS NULL AND "
                                   "datahora IS NULL AND dados IS NULL")),
              1);
}

TEST_P(Backends, EmptyTextIsStoredAsTextNotNull) {
    QueueJob(1, QString());
    QueueJob(1, QStringLiteral(""));
    EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM printer WHERE dados = ''")), 2);
}

TEST_P(Backends, GlobalSettingByParameters) {
    TDbCommand set(&cn);
    set.SetSQL({QStringLiteral("INSERT INTO configpostos (posto, seccao, chave, valor) "
                               "VALUES (0, 'GLOBAL', 'OFFSET INICIAL', '3')")});
    set.Execute();
    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT valor FROM configpostos"),
              QStringLiteral("WHERE (posto = 0) AND (seccao = :seccao) AND (chave = :chave)")});
    q.ParamByName(QStringLiteral("seccao")).DataType = FieldType::ftString;
    q.ParamByName(QStringLiteral("seccao")).SetValue(QStringLiteral("GLOBAL"));
    q.ParamByName(QStringLiteral("chave")).DataType = FieldType::ftString;
    q.ParamByName(QStringLiteral("chave")).SetValue(QStringLiteral("OFFSET INICIAL"));
    q.Open();
    ASSERT_FALSE(q.IsEmpty());
    EXPECT_EQ(q.FieldAsInteger(QStringLiteral("valor")), 3);
    q.Close();
    q.ParamByName(QStringLiteral("chave")).SetValue(QStringLiteral("OUTRA"));
    q.Open();
    EXPECT_TRUE(q.IsEmpty());
}

TEST_P(Backends, DeleteCurrentHistoryRowRemovesExactlyOne) {
    const QDateTime when(QDate(2026, 1, 2), QTime(3, 4, 5, 678));
    AddHistory(when, 9, QStringLiteral("same"), when.date().startOfDay());
    AddHistory(when, 9, QStringLiteral("same"), when.date().startOfDay());
    AddHistory(when, 8, QStringLiteral("other"), when.date().startOfDay());
    TDbQuery hist(&cn);
    hist.SetSQL({QStringLiteral("SELECT * FROM historico ORDER BY id DESC")});
    hist.Open();
    hist.DeleteCurrent();
    EXPECT_EQ(hist.RecordCount(), 2);
    EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM historico WHERE id = 9")), 1);
    EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM historico WHERE id = 8")), 1);
}

TEST_P(Backends, SchemaIsIdempotentAndErrorsCarryTheServerMessage) {
    EXPECT_NO_THROW(db::CreateTables(cn));
    EXPECT_FALSE(cn.Connected());
    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT * FROM nosuchtable")});
    try {
        q.Open();
        FAIL() << "no error";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("nosuchtable"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(cn.Connected());
    if (GetParam() == Backend::SQLite)
        return;
    // A server message quoting the password (here a value it could not read) masks it.
    const QString password = dbtest::PgServerFromEnvironment()->password;
    q.SetSQL({QStringLiteral("SELECT CAST(:p AS INTEGER)")});
    q.ParamByName(QStringLiteral("p")).SetValue(password);
    try {
        q.Open();
        FAIL() << "no error";
    } catch (const DbError& e) {
        EXPECT_EQ(e.Message().indexOf(password), -1) << e.what();
        EXPECT_NE(e.Message().indexOf(QStringLiteral("****")), -1) << e.what();
    }
}

TEST_P(Backends, LiteralsReachTheServerUntouched) {
    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT ':x' AS a, '?' AS b, 'it''s :y' AS c, :n AS n")});
    q.ParamByName(QStringLiteral("n")).SetValue(QStringLiteral("valor"));
    q.Open();
    EXPECT_EQ(q.FieldAsString(QStringLiteral("a")), QStringLiteral(":x"));
    EXPECT_EQ(q.FieldAsString(QStringLiteral("b")), QStringLiteral("?"));
    EXPECT_EQ(q.FieldAsString(QStringLiteral("c")), QStringLiteral("it's :y"));
    EXPECT_EQ(q.FieldAsString(QStringLiteral("n")), QStringLiteral("valor"));
}

// After the layer's own scan nothing reads the text for placeholders again: colons and
// question marks in comments, in each kind of quotes and in casts reach the engine as written,
// and every value lands on its own marker.
TEST_P(Backends, MarkersBindByPositionWhateverTheTextAroundThem) {
    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT :a AS a -- :b? is no marker, nor 'this"),
              QStringLiteral(", /* :c? still a comment: :e? */ :f AS f"),
              QStringLiteral(", ':g?' AS g, 1 AS \":h?\", :a || '' AS i")});
    ASSERT_EQ(q.ParamCount(), 2);
    q.ParamByName(QStringLiteral("a")).SetValue(QStringLiteral("first"));
    q.ParamByName(QStringLiteral("f")).SetValue(QStringLiteral("second"));
    q.Open();
    EXPECT_EQ(q.FieldAsString(QStringLiteral("a")), QStringLiteral("first"));
    EXPECT_EQ(q.FieldAsString(QStringLiteral("f")), QStringLiteral("second"));
    EXPECT_EQ(q.FieldAsString(QStringLiteral("g")), QStringLiteral(":g?"));
    EXPECT_EQ(q.FieldName(3), QStringLiteral(":h?"));
    EXPECT_EQ(q.FieldAsString(QStringLiteral("i")), QStringLiteral("first"));
    q.Close();

    // "::" is a colon the engine sees. PostgreSQL's cast is written "::::"; on SQLite a
    // colon starts a parameter of its own syntax, which binds nothing and reads NULL.
    if (GetParam() == Backend::SQLite) {
        q.SetSQL({QStringLiteral("SELECT ::x AS x, :n AS n, `:y?` AS y FROM (SELECT 3 AS `:y?`)")});
    } else {
        q.SetSQL({QStringLiteral("SELECT '5'::::int + :n AS n, dados::::text AS x"),
                  QStringLiteral("FROM (SELECT NULL AS dados) t WHERE 1 < :n")});
    }
    q.ParamByName(QStringLiteral("n")).SetValue(2);
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.FieldAsInteger(QStringLiteral("n")), GetParam() == Backend::SQLite ? 2 : 7);
    EXPECT_TRUE(q.FieldIsNull(QStringLiteral("x")));
    if (GetParam() == Backend::SQLite) {
        EXPECT_EQ(q.FieldAsInteger(QStringLiteral("y")), 3);
    }
}

INSTANTIATE_TEST_SUITE_P(AllRoads, Backends, ::testing::ValuesIn(dbtest::AllBackends()),
                         [](const auto& info) { return dbtest::BackendName(info.param); });

} // namespace

namespace {

// On PostgreSQL's own road a null reads as a null of the type its column's values read as.
TEST(PostgreSQLNulls, KeepTheirColumnsType) {
    PLINOVA_REQUIRE_BACKEND(Backend::PostgreSQL);
    const std::unique_ptr<TestDatabase> database = TestDatabase::Create(Backend::PostgreSQL);
    TDbConnection cn;
    cn.SetConnectionString(database->ConnectionString());
    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT CAST(NULL AS smallint) AS s, CAST(NULL AS integer) AS i,"),
              QStringLiteral("CAST(NULL AS bigint) AS l, CAST(NULL AS real) AS r,"),
              QStringLiteral("CAST(NULL AS numeric) AS n, CAST(NULL AS boolean) AS b,"),
              QStringLiteral("CAST(NULL AS date) AS day, CAST(NULL AS time) AS tm,"),
              QStringLiteral("CAST(NULL AS timestamp) AS t, CAST(NULL AS timestamptz) AS tz,"),
              QStringLiteral("CAST(NULL AS bytea) AS bytes, CAST(NULL AS varchar(10)) AS txt")});
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    // Each column as "name:type".
    QStringList types;
    for (int c = 0; c < q.FieldCount(); ++c) {
        const QVariant v = q.Value(0, c);
        EXPECT_TRUE(v.isNull()) << q.FieldName(c).toStdString();
        types << q.FieldName(c) + u':' + QLatin1String(v.metaType().name());
    }
    EXPECT_EQ(types.join(u' '),
              QStringLiteral("s:int i:int l:qlonglong r:double n:double b:bool day:QDate tm:QTime "
                             "t:QDateTime tz:QDateTime bytes:QByteArray txt:QString"));
}

// An ODBC data source defined by name (here in a private odbc.ini) instead of a driver string.
TEST(OdbcDataSource, ReachedByItsName) {
    PLINOVA_REQUIRE_BACKEND(Backend::PostgreSQLOdbc);
    const auto server = dbtest::PgServerFromEnvironment();
#ifdef _WIN32
    // Wine hands ODBC to the host's driver manager, which reads its data sources from the file
    // the host's ODBCINI names (the Windows stage sets it), here on the drive of the host's
    // root. Windows' own driver manager keeps them in the registry.
    if (!RunningUnderWine() || qEnvironmentVariableIsEmpty("ODBCINI"))
        GTEST_SKIP() << "a data source of Windows' own driver manager is not set up here";
    const QString iniPath = QStringLiteral("Z:") + qEnvironmentVariable("ODBCINI");
#else
    QTemporaryDir dir;
    const QString iniPath = dir.filePath(QStringLiteral("odbc.ini"));
    qputenv("ODBCINI", iniPath.toLocal8Bit());
#endif
    QFile ini(iniPath);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QStringLiteral("[plinova_test]\nDriver=PostgreSQL Unicode\nServername=%1\n"
                             "Port=%2\nDatabase=%3\nCommLog=0\nDebug=0\n")
                  .arg(server->host)
                  .arg(server->port)
                  .arg(server->database)
                  .toUtf8());
    ini.close();

    TDbConnection cn;
    cn.SetConnectionString(QStringLiteral("Provider=MSDASQL.1;Data Source=plinova_test;"
                                          "User ID=%1;Password=\"%2\"")
                               .arg(server->user, server->password));
    TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT 40 + :n AS answer")});
    q.ParamByName(QStringLiteral("n")).SetValue(2);
    q.Open();
    EXPECT_EQ(q.FieldAsInteger(QStringLiteral("answer")), 42);
    EXPECT_EQ(cn.EngineName(), QStringLiteral("odbc"));
    EXPECT_EQ(cn.DbmsName(), QStringLiteral("postgresql"));
#ifndef _WIN32
    qunsetenv("ODBCINI");
#endif
}

} // namespace
