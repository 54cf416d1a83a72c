#include "db/OdbcLink.h"

#include <gtest/gtest.h>

namespace {

using db::LinkProperties;
using db::MapToOdbc;
using db::OdbcHost;
using db::OdbcLink;
using db::OdbcLinkError;
using db::OdbcRoad;
using db::OdbcSystem;

const std::string kFolder = "C:\\Station";

OdbcHost Windows(std::vector<std::string> drivers) {
    return OdbcHost{OdbcSystem::Windows, [drivers] { return drivers; }};
}

const OdbcHost kPosix{OdbcSystem::Posix, {}};

// The message of the error that mapping raises; empty when none is raised.
std::string ErrorOf(const LinkProperties& properties, const OdbcHost& host) {
    try {
        MapToOdbc(properties, kFolder, host);
    } catch (const OdbcLinkError& e) {
        return e.what();
    }
    return {};
}

// A link's properties and the connection string they map to.
struct LinkCase {
    LinkProperties properties;
    const char* expected;
};

// A station's link as the data link dialog writes it for SQL Server with a login.
LinkProperties StationLink(const std::string& provider) {
    return {{"Provider", provider},
            {"Password", "s3;cr}e\"t'"},
            {"Persist Security Info", "True"},
            {"User ID", "sa"},
            {"Initial Catalog", "Molvar"},
            {"Data Source", "SERVIDOR\\SQLEXPRESS"},
            {"Use Procedure for Prepare", "1"},
            {"Auto Translate", "True"},
            {"Packet Size", "4096"},
            {"Workstation ID", "CAIXA1"},
            {"Tag with column collation when possible", "False"}};
}

TEST(OdbcLinkOnWindows, SqlServerTakesTheNamedOrTheNewestInstalledDriver) {
    const std::vector<std::string> many{
        "Microsoft Access Driver (*.mdb, *.accdb)", "ODBC Driver 17 for SQL Server", "SQL Server",
        "odbc driver 18 for sql server", "ODBC Driver 18 for SQL Server Extra"};
    const struct {
        std::vector<std::string> installed;
        const char* driver;
    } cases[] = {
        {many, "odbc driver 18 for sql server"},
        {{"SQL Server", "ODBC Driver 17 for SQL Server", "ODBC Driver 13 for SQL Server"},
         "ODBC Driver 17 for SQL Server"},
        {{"SQL Server"}, "SQL Server"},
        {{}, "SQL Server"}, // every Windows has it, even when the list cannot be read
    };
    for (const auto& c : cases) {
        for (const char* provider : {"SQLOLEDB.1", "SQLNCLI11", "MSOLEDBSQL"}) {
            const OdbcLink link = MapToOdbc(StationLink(provider), kFolder, Windows(c.installed));
            EXPECT_EQ(link.road, OdbcRoad::SqlServer);
            EXPECT_EQ(link.connectionString.substr(0, link.connectionString.find(';')),
                      std::string("DRIVER={") + c.driver + "}")
                << provider;
        }
    }
    LinkProperties named = StationLink("SQLOLEDB.1");
    named.emplace_back("Driver", "{SQL Server Native Client 11.0}");
    int asked = 0;
    const OdbcHost counting{OdbcSystem::Windows, [&] {
                                ++asked;
                                return many;
                            }};
    EXPECT_EQ(MapToOdbc(named, kFolder, counting).connectionString.substr(0, 39),
              "DRIVER={SQL Server Native Client 11.0};");
    EXPECT_EQ(asked, 0);
}

TEST(OdbcLinkOnWindows, SqlServerLoginServerAndEncryption) {
    // A password with ";", "}" and quotes is braced, its "}" doubled; the instance name and
    // the workstation go as written; Persist Security Info and the provider's tuning are not
    // the driver's business. ODBC Driver 18 would encrypt, which these providers did not.
    const OdbcLink link =
        MapToOdbc(StationLink("SQLOLEDB.1"), kFolder, Windows({"ODBC Driver 18 for SQL Server"}));
    EXPECT_EQ(link.connectionString,
              "DRIVER={ODBC Driver 18 for SQL Server};SERVER=SERVIDOR\\SQLEXPRESS;"
              "DATABASE=Molvar;UID=sa;PWD={s3;cr}}e\"t'};Encrypt=no;WSID=CAIXA1;");
    EXPECT_EQ(link.password, "s3;cr}e\"t'");
    EXPECT_EQ(link.passwords, std::vector<std::string>{"s3;cr}e\"t'"});

    const OdbcHost legacy = Windows({"SQL Server"});
    const LinkCase cases[] = {
        {{{"Provider", "SQLOLEDB"},
          {"Integrated Security", "SSPI"},
          {"User ID", "ignored"},
          {"Data Source", "tcp:10.0.0.5,1500"},
          {"Initial Catalog", "Molvar"}},
         "DRIVER={SQL Server};SERVER=tcp:10.0.0.5,1500;DATABASE=Molvar;Trusted_Connection=yes;"},
        {{{"Provider", "SQLNCLI10.1"}, {"Data Source", "(local)"}, {"User ID", "u"}},
         "DRIVER={SQL Server};SERVER=(local);UID=u;"},
        {{{"Provider", "MSOLEDBSQL"},
          {"Data Source", " db1,1433 "},
          {"Use Encryption for Data", "True"},
          {"Trust Server Certificate", "True"},
          {"Application Name", "Plinova; posto"}},
         "DRIVER={SQL Server};SERVER=db1,1433;Encrypt=yes;TrustServerCertificate=yes;"
         "APP={Plinova; posto};"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MapToOdbc(c.properties, kFolder, legacy).connectionString, c.expected);

    // The provider that encrypts by default keeps the driver's default.
    EXPECT_EQ(MapToOdbc({{"Provider", "MSOLEDBSQL19"}, {"Data Source", "db1"}}, kFolder,
                        Windows({"ODBC Driver 18 for SQL Server"}))
                  .connectionString,
              "DRIVER={ODBC Driver 18 for SQL Server};SERVER=db1;");
}

TEST(OdbcLinkOnWindows, AccessFilesThroughTheAccessDriver) {
    const LinkCase cases[] = {
        {{{"Provider", "Microsoft.Jet.OLEDB.4.0"},
          {"Data Source", "dados/molvar.mdb"},
          {"Persist Security Info", "False"}},
         "DRIVER={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=C:\\Station\\dados\\molvar.mdb;"},
        {{{"Provider", "Microsoft.ACE.OLEDB.12.0"},
          {"Data Source", "D:\\Dados\\Molvar.accdb"},
          {"User ID", "Admin"},
          {"Jet OLEDB:Database Password", "ab;c"}},
         "DRIVER={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=D:\\Dados\\Molvar.accdb;"
         "UID=Admin;PWD={ab;c};"},
        {{{"Provider", "microsoft.ace.oledb.16.0"},
          {"Data Source", "\\\\servidor\\dados\\Molvar.mdb"},
          {"Password", "pw"}},
         "DRIVER={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=\\\\servidor\\dados\\Molvar.mdb;"
         "PWD=pw;"},
    };
    for (const auto& c : cases) {
        const OdbcLink link = MapToOdbc(c.properties, kFolder, Windows({}));
        EXPECT_EQ(link.road, OdbcRoad::Access);
        EXPECT_EQ(link.connectionString, c.expected);
    }
    EXPECT_NE(ErrorOf({{"Provider", "Microsoft.Jet.OLEDB.4.0"}}, Windows({})), "");
}

TEST(OdbcLinkOnPosix, SqlServerThroughFreeTdsAndNoAccess) {
    EXPECT_EQ(MapToOdbc(StationLink("SQLOLEDB.1"), kFolder, kPosix).connectionString,
              "DRIVER={FreeTDS};SERVER=SERVIDOR\\SQLEXPRESS;DATABASE=Molvar;UID=sa;"
              "PWD={s3;cr}}e\"t'};");
    EXPECT_EQ(
        MapToOdbc({{"Provider", "SQLOLEDB"}, {"Data Source", "tcp:(local),1500"}}, kFolder, kPosix)
            .connectionString,
        "DRIVER={FreeTDS};SERVER=localhost;PORT=1500;");
    const std::string access = ErrorOf(
        {{"Provider", "Microsoft.ACE.OLEDB.12.0"}, {"Data Source", "a.accdb"}, {"Password", "pw1"}},
        kPosix);
    EXPECT_NE(access.find("Access database file"), std::string::npos) << access;
    EXPECT_EQ(access.find("pw1"), std::string::npos) << access;
}

TEST(OdbcLink, AnyOdbcSourceIsTheSameOnBothSystems) {
    const LinkProperties properties{
        {"Provider", "MSDASQL.1"},
        {"Extended Properties", "DRIVER={PostgreSQL Unicode};SERVER=h;PWD={in;ner}}};"},
        {"User ID", "u"},
        {"Password", "outer"}};
    for (const OdbcHost& host : {kPosix, Windows({})}) {
        const OdbcLink link = MapToOdbc(properties, kFolder, host);
        EXPECT_EQ(link.road, OdbcRoad::Odbc);
        EXPECT_EQ(link.connectionString,
                  "DRIVER={PostgreSQL Unicode};SERVER=h;PWD={in;ner}}};UID=u;");
        EXPECT_EQ(link.passwords, (std::vector<std::string>{"outer", "in;ner}"}));
    }
}

TEST(OdbcLink, BadLinksNameTheProblemAndNoPassword) {
    for (const OdbcHost& host : {kPosix, Windows({})}) {
        EXPECT_NE(ErrorOf({{"Provider", "SQLOLEDB"}, {"Password", "pw12"}}, host)
                      .find("names no Data Source"),
                  std::string::npos);
        const std::string port = ErrorOf(
            {{"Provider", "SQLOLEDB"}, {"Data Source", "db,14x3"}, {"Password", "pw12"}}, host);
        EXPECT_NE(port.find("invalid port '14x3'"), std::string::npos) << port;
        EXPECT_EQ(port.find("pw12"), std::string::npos);
        EXPECT_NE(ErrorOf({{"Provider", "MSDASQL"}}, host), "");
        EXPECT_NE(ErrorOf({{"Provider", "Jet.OLEDB.4.0"}}, host), "");
    }
}

} // namespace
