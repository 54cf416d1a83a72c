#include "db/DataLink.h"
#include "PasswordMask.h"
#include "TestDatabase.h"
#include "db/Connection.h"
#include "db/DbError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using db::DataLink;
using db::DataLinkKind;
using db::DbError;
using db::ParseDataLink;

namespace {

const QString kFile = QStringLiteral("/station/Molvar.udl");
// A station on Linux, whose SQL Server driver is FreeTDS whatever the system the tests run on.
const db::OdbcHost kPosix{db::OdbcSystem::Posix, {}};

// A path as the parser makes it absolute: on Windows "/station" is on the current drive.
QString Absolute(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

DataLink Parse(const QString& initString) {
    return ParseDataLink(initString.toUtf8(), kFile, kPosix);
}

// The message of the DbError that parsing the bytes raises; empty when none is raised.
std::string ErrorOf(const QByteArray& bytes) {
    try {
        ParseDataLink(bytes, kFile);
    } catch (const DbError& e) {
        return e.what();
    }
    return {};
}

TEST(DataLinkFile, ReadsTheWindowsForm) {
    const QByteArray bytes = db::DataLinkFileBytes(
        QStringLiteral("Provider=SQLOLEDB.1;Password=s3cret;Persist Security Info=True;User ID=sa;"
                       "Initial Catalog=Molvar;Data Source=SERVIDOR\\SQLEXPRESS"));
    const DataLink link = ParseDataLink(bytes, kFile, kPosix);
    EXPECT_EQ(link.kind, DataLinkKind::SqlServer);
    EXPECT_EQ(link.qtDriver, QStringLiteral("QODBC"));
    EXPECT_EQ(link.databaseName, QStringLiteral("DRIVER={FreeTDS};SERVER=SERVIDOR\\SQLEXPRESS;"
                                                "DATABASE=Molvar;UID=sa;PWD=s3cret;"));
    EXPECT_EQ(link.password, QStringLiteral("s3cret"));
}

TEST(DataLinkFile, ReadsPlainTextWithOrWithoutHeader) {
    const QString init = QStringLiteral("Provider=SQLite;Data Source=data/plinova.db");
    const QString expected = Absolute(QStringLiteral("/station/data/plinova.db"));
    EXPECT_EQ(ParseDataLink(init.toUtf8(), kFile).databaseName, expected);
    EXPECT_EQ(ParseDataLink(("[oledb]\n; comment\n\n" + init + "\n").toUtf8(), kFile).databaseName,
              expected);
    EXPECT_EQ(ParseDataLink("\xEF\xBB\xBF" + init.toUtf8() + "\r\n", kFile).databaseName, expected);
    // UTF-16 big-endian with its byte-order mark.
    QByteArray be("\xFE\xFF", 2);
    for (QChar c : init)
        be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    EXPECT_EQ(ParseDataLink(be, kFile).databaseName, expected);
    // Non-ASCII text survives both encodings.
    const QString accented = QStringLiteral("Provider=SQLite;Data Source=Estação.db");
    EXPECT_EQ(ParseDataLink(accented.toUtf8(), kFile).databaseName,
              Absolute(QStringLiteral("/station/Estação.db")));
    EXPECT_EQ(ParseDataLink(db::DataLinkFileBytes(accented), kFile).databaseName,
              Absolute(QStringLiteral("/station/Estação.db")));
}

TEST(DataLinkProviders, SqlServerInAllItsSpellings) {
    for (const char* provider :
         {"SQLOLEDB", "SQLOLEDB.1", "sqlncli11", "SQLNCLI10.1", "MSOLEDBSQL", "MSOLEDBSQL19"}) {
        const DataLink link =
            Parse(QStringLiteral("Provider=%1;Data Source=db1;Initial Catalog=Molvar")
                      .arg(QLatin1String(provider)));
        EXPECT_EQ(link.kind, DataLinkKind::SqlServer) << provider;
    }
    // host,port: FreeTDS takes the port apart, other drivers in the server name.
    EXPECT_EQ(Parse(QStringLiteral("Provider=SQLOLEDB;Data Source=tcp:10.0.0.5,1500;"
                                   "User ID=u;Password='p;w'"))
                  .databaseName,
              QStringLiteral("DRIVER={FreeTDS};SERVER=10.0.0.5;PORT=1500;UID=u;PWD={p;w};"));
    EXPECT_EQ(Parse(QStringLiteral("Provider=MSOLEDBSQL;Driver={ODBC Driver 18 for SQL Server};"
                                   "Data Source=db1,1433;Integrated Security=SSPI;"
                                   "Initial Catalog=Molvar"))
                  .databaseName,
              QStringLiteral("DRIVER={ODBC Driver 18 for SQL Server};SERVER=db1,1433;"
                             "DATABASE=Molvar;Trusted_Connection=Yes;"));
    EXPECT_EQ(Parse(QStringLiteral("Provider=SQLOLEDB;Data Source=(local)")).databaseName,
              QStringLiteral("DRIVER={FreeTDS};SERVER=localhost;"));
    EXPECT_NE(ErrorOf("Provider=SQLOLEDB;Data Source=db1,port"), "");
    EXPECT_NE(ErrorOf("Provider=SQLOLEDB;Initial Catalog=x"), "");
}

// A station's file as Windows wrote it reaches SQL Server through the newest driver Windows
// has, and through FreeTDS here; an Access file only on Windows.
TEST(DataLinkFile, AStationsFileOnEitherSystem) {
    const QByteArray bytes = db::DataLinkFileBytes(QStringLiteral(
        "Provider=SQLOLEDB.1;Password=\"s3;cr\"\"et}\";Persist Security Info=True;User ID=sa;"
        "Initial Catalog=Molvar;Data Source=SERVIDOR\\SQLEXPRESS;Workstation ID=CAIXA1"));
    const db::OdbcHost windows{
        db::OdbcSystem::Windows, [] {
            return std::vector<std::string>{"SQL Server", "ODBC Driver 17 for SQL Server"};
        }};
    DataLink link = ParseDataLink(bytes, kFile, windows);
    EXPECT_EQ(link.kind, DataLinkKind::SqlServer);
    EXPECT_EQ(link.databaseName,
              QStringLiteral("DRIVER={ODBC Driver 17 for SQL Server};SERVER=SERVIDOR\\SQLEXPRESS;"
                             "DATABASE=Molvar;UID=sa;PWD={s3;cr\"et}}};WSID=CAIXA1;"));
    EXPECT_EQ(link.passwords, QStringList{QStringLiteral("s3;cr\"et}")});
    link = ParseDataLink(bytes, kFile, db::OdbcHost{db::OdbcSystem::Posix, {}});
    EXPECT_EQ(link.databaseName, QStringLiteral("DRIVER={FreeTDS};SERVER=SERVIDOR\\SQLEXPRESS;"
                                                "DATABASE=Molvar;UID=sa;PWD={s3;cr\"et}}};"));

    const QByteArray access = db::DataLinkFileBytes(
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=molvar.mdb;"
                       "Jet OLEDB:Database Password=topsecret"));
    link = ParseDataLink(access, kFile, windows);
    EXPECT_EQ(link.kind, DataLinkKind::Access);
    EXPECT_EQ(
        link.databaseName,
        QStringLiteral("DRIVER={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=%1;PWD=topsecret;")
            .arg(Absolute(QStringLiteral("/station/molvar.mdb")).replace('/', '\\')));
    try {
        ParseDataLink(access, kFile, db::OdbcHost{db::OdbcSystem::Posix, {}});
        FAIL() << "an Access file mapped on Linux";
    } catch (const DbError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("/station/Molvar.udl"), std::string::npos) << message;
        EXPECT_NE(message.find("Access database file"), std::string::npos) << message;
        EXPECT_EQ(message.find("secret"), std::string::npos) << message;
    }
}

TEST(DataLinkProviders, OdbcThroughAConnectionStringOrADsn) {
    const DataLink full = Parse(QStringLiteral(
        "Provider=MSDASQL.1;Extended Properties=\"DRIVER={PostgreSQL Unicode};SERVER=h;"
        "DATABASE=d;\";User ID=u;Password=pw"));
    EXPECT_EQ(full.kind, DataLinkKind::Odbc);
    EXPECT_EQ(full.databaseName,
              QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=h;DATABASE=d;UID=u;PWD=pw;"));
    // Credentials already in the ODBC string are not added twice.
    EXPECT_EQ(Parse(QStringLiteral("Provider=MSDASQL;Extended Properties='DSN=x;UID=a;PWD=b';"
                                   "User ID=u;Password=pw"))
                  .databaseName,
              QStringLiteral("DSN=x;UID=a;PWD=b;"));
    EXPECT_EQ(Parse(QStringLiteral("Provider=MSDASQL;Data Source=Molvar;User ID=u")).databaseName,
              QStringLiteral("DSN=Molvar;UID=u;"));
    EXPECT_EQ(Parse(QStringLiteral("Provider=MSDASQL;Extended Properties=Molvar")).databaseName,
              QStringLiteral("DSN=Molvar;"));
    EXPECT_NE(ErrorOf("Provider=MSDASQL.1;User ID=u"), "");
}

TEST(DataLinkProviders, OleDbServicesSwitchesConnectionReuse) {
    EXPECT_TRUE(Parse(QStringLiteral("Provider=SQLite;Data Source=a")).pooling);
    for (const char* on : {"-1", "1", "-5", "0x7"})
        EXPECT_TRUE(Parse(QStringLiteral("Provider=SQLite;Data Source=a;OLE DB Services=") +
                          QLatin1String(on))
                        .pooling)
            << on;
    for (const char* off : {"-2", "0", " -4 ", "0xFFFFFFFE"})
        EXPECT_FALSE(Parse(QStringLiteral("Provider=PostgreSQL;Data Source=h;OLE DB Services=") +
                           QLatin1String(off))
                         .pooling)
            << off;
    EXPECT_NE(ErrorOf("Provider=SQLite;Data Source=a;OLE DB Services=all"), "");
}

TEST(DataLinkProviders, PostgreSqlHostAndPort) {
    DataLink link = Parse(QStringLiteral(
        "provider=postgresql;DATA SOURCE=db.local:5433;initial catalog=molvar;user id=pos;"
        "password=\"a \"\"quoted\"\" pass\""));
    EXPECT_EQ(link.kind, DataLinkKind::PostgreSQL);
    EXPECT_EQ(link.qtDriver, QStringLiteral("QPSQL"));
    EXPECT_EQ(link.hostName, QStringLiteral("db.local"));
    EXPECT_EQ(link.port, 5433);
    EXPECT_EQ(link.databaseName, QStringLiteral("molvar"));
    EXPECT_EQ(link.userName, QStringLiteral("pos"));
    EXPECT_EQ(link.password, QStringLiteral("a \"quoted\" pass"));
    link = Parse(QStringLiteral("Provider=PostgreSQL;Data Source=[::1]:6000;Initial Catalog=m"));
    EXPECT_EQ(link.hostName, QStringLiteral("::1"));
    EXPECT_EQ(link.port, 6000);
    link = Parse(QStringLiteral("Provider=PostgreSQL;Data Source=db;Initial Catalog=m"));
    EXPECT_EQ(link.port, -1);
    EXPECT_NE(ErrorOf("Provider=PostgreSQL;Data Source=db:99999"), "");
}

TEST(DataLinkProviders, SqliteFileRelativeToTheLinkFolder) {
    EXPECT_EQ(Parse(QStringLiteral("Provider=SQLite;Data Source=/var/db/p.db")).databaseName,
              Absolute(QStringLiteral("/var/db/p.db")));
    EXPECT_EQ(Parse(QStringLiteral("Provider=SQLite;Data Source=\"my db.sqlite\"")).databaseName,
              Absolute(QStringLiteral("/station/my db.sqlite")));
    EXPECT_NE(ErrorOf("Provider=SQLite"), "");
}

TEST(DataLinkErrors, NameTheFileAndNeverThePassword) {
    const struct {
        QByteArray bytes;
        const char* expect;
    } cases[] = {
        {"", "holds no initialisation string"},
        {"[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n",
         "holds no initialisation string"},
        {"Provider=Jet.OLEDB.4.0;Password=topsecret", "unknown provider 'Jet.OLEDB.4.0'"},
        {"Data Source=x;Password=topsecret", "names no Provider"},
        {"Provider=SQLite;Data Source=a\nProvider=SQLite;Data Source=b", "more than one"},
        {QByteArray("P\0r\0o\0v\0", 8), "unknown encoding"},
        {"Provider=SQLite;Data Source=caf\xE9.db", "nor UTF-8"},
        {QByteArray("\xFF\xFEP\0r", 5), "UTF-16"},
        {QByteArray("\xFF\xFE\x00\xD8", 4), "UTF-16"}, // a lone surrogate
        {"Provider=SQLOLEDB;Password='topsecret", "lacks its closing quote"},
        {"Provider=SQLOLEDB;Password=topsecret;secret2", "not Name=value"},
        {"Provider=SQLOLEDB;=x", "has no name"},
    };
    for (const auto& c : cases) {
        const std::string message = ErrorOf(c.bytes);
        EXPECT_NE(message.find(c.expect), std::string::npos) << message;
        EXPECT_NE(message.find("/station/Molvar.udl"), std::string::npos) << message;
        EXPECT_EQ(message.find("secret"), std::string::npos) << message;
    }
}

TEST(DataLinkErrors, PasswordsAreMaskedInMessages) {
    // Every password a link holds, the one inside an ODBC string too.
    const DataLink odbc = Parse(QStringLiteral("Provider=MSDASQL;Password=outer;Extended "
                                               "Properties=\"DRIVER={X};PWD={p;w}}d};UID=u\""));
    EXPECT_TRUE(odbc.passwords.contains(QStringLiteral("p;w}d")));
    EXPECT_TRUE(odbc.passwords.contains(QStringLiteral("outer")));

    const QStringList passwords{QStringLiteral("hunter22"), QStringLiteral("ab")};
    const struct {
        const char* message;
        const char* masked;
    } cases[] = {
        {"login hunter22 refused", "login **** refused"},
        {"bad string DRIVER={X};PWD={a;b}}c};UID=u", "bad string DRIVER={X};PWD=****;UID=u"},
        {"conninfo password='x y' host=h", "conninfo password=**** host=h"},
        {"value 'ab' is wrong", "value '****' is wrong"},
        {"key=ab", "key=****"},
        {"abstract table tab ab-c", "abstract table tab ab-c"}, // a short one inside words
        {"password authentication failed", "password authentication failed"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(db::MaskPasswords(QString::fromUtf8(c.message), passwords),
                  QString::fromUtf8(c.masked));
}

TEST(DataLinkFile, FolderHoldingSeparatorsAndQuotes) {
    EXPECT_EQ(db::DataLinkFileConnectionString(QStringLiteral("/opt/posto/Molvar.udl")),
              QStringLiteral("FILE NAME=/opt/posto/Molvar.udl"));
    QTemporaryDir dir;
#ifdef _WIN32
    // A Windows file name cannot hold a double quote.
    const QString folder = dir.filePath(QStringLiteral("caixa;1 'bar' {x}"));
#else
    const QString folder = dir.filePath(QStringLiteral("caixa;1 \"bar\" 'x'"));
#endif
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile link(folder + QStringLiteral("/Molvar.udl"));
    ASSERT_TRUE(link.open(QIODevice::WriteOnly));
    link.write("Provider=SQLite;Data Source=posto.db\r\n");
    link.close();
    db::TDbConnection cn;
    cn.SetConnectionString(db::DataLinkFileConnectionString(link.fileName()));
    cn.Open();
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/posto.db")));
}

TEST(DataLinkErrors, MissingFileIsADatabaseError) {
    QTemporaryDir dir;
    db::TDbConnection cn;
    const QString path = dir.filePath(QStringLiteral("Molvar.udl"));
    cn.SetConnectionString(QStringLiteral("FILE NAME=") + path);
    try {
        cn.Open();
        FAIL() << "opened without a data link file";
    } catch (const DbError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Data link file '%1': not found").arg(path));
    }
    EXPECT_FALSE(cn.Connected());
}

// Random damage to valid files must end in a parsed link or a DbError, nothing else.
TEST(DataLinkErrors, DamagedFilesFailCleanly) {
    const QList<QByteArray> seeds = {
        db::DataLinkFileBytes(
            QStringLiteral("Provider=SQLOLEDB.1;User ID=sa;Password='x;y';Data Source=h,1433")),
        QByteArray("Provider=MSDASQL;Extended Properties=\"DRIVER={X};A=1\""),
        QByteArray("Provider=PostgreSQL;Data Source=[::1]:5432;Initial Catalog=m"),
    };
    QRandomGenerator rng(1234);
    int parsed = 0;
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = seeds[round % seeds.size()];
        const int edits = 1 + int(rng.bounded(4));
        for (int e = 0; e < edits && !bytes.isEmpty(); ++e) {
            const int at = int(rng.bounded(bytes.size()));
            switch (rng.bounded(3)) {
            case 0:
                bytes[at] = char(rng.bounded(256));
                break;
            case 1:
                bytes.remove(at, 1 + int(rng.bounded(3)));
                break;
            default:
                bytes.insert(at, "\";'=[]:,{}\0"[rng.bounded(11)]);
            }
        }
        // Any other exception leaves the test and fails it.
        try {
            ParseDataLink(bytes, kFile);
            ++parsed;
        } catch (const DbError& e) {
            EXPECT_NE(std::string(e.what()), "") << bytes.toHex().toStdString();
            ++refused;
        }
    }
    // Both outcomes came up, so the damage reached the parser's checks and not only its input.
    EXPECT_GT(parsed, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
