// Faults injected into a running station: the database going away or refusing a statement,
// the printer's line closing or taking no bytes, broken data link and profile files, the port
// held by another program (on POSIX: posix/PortHeldTest.cpp). Whatever happens, a job leaves the
// queue only once its card is out whole, and a history row exists exactly when its insert ran.
#include <QLabel>
#include <QProcess>
#include <QRandomGenerator>
#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

#include "MainWindow.h"
#include "PgCluster.h"
#include "Station.h"
#include "StationFixture.h"
#include "Wine.h"
#include "app/core/Journal.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "db/Schema.h"

namespace {

using namespace std::chrono_literals;
using printer::kInitialisationEnd;
using printer::kRelease;
using printer::kStatusRequest;

std::string Join(const QStringList& messages) {
    return messages.join(QStringLiteral(" | ")).toStdString();
}

int AddJobOn(db::TDbConnection& cn, int posto, const QString& dados) {
    dbtest::QueueJob(cn, {.posto = posto,
                          .gaveta = 0,
                          .cartao = 1,
                          .titulo = 0,
                          .palavrachave = QStringLiteral(""),
                          .dados = dados});
    return dbtest::LastJobId(cn);
}

std::vector<int> IdsOn(db::TDbConnection& cn, const QString& table) {
    db::TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT id FROM ") + table + QStringLiteral(" ORDER BY id")});
    q.Open();
    std::vector<int> ids;
    for (q.First(); !q.Eof(); q.Next())
        ids.push_back(q.FieldAsInteger(QStringLiteral("id")));
    q.Close();
    return ids;
}

void RunOn(db::TDbConnection& cn, const QString& statement) {
    db::TDbCommand cmd(&cn);
    cmd.SetSQL({statement});
    cmd.Execute();
}

// Ends the station's spooler and starts a new one, as the operator would after a fault.
void RestartSpooler(Station& st, std::unique_ptr<Tmain>& w) {
    w.reset();
    st.messages.clear();
    w = st.StartStopped();
    ASSERT_FALSE(w->Terminated());
    ASSERT_TRUE(st.messages.isEmpty()) << Join(st.messages);
    st.Printer().Clear();
}

// The station's queue and history seen through a copy of its data link, which the faults
// below leave alone.
std::unique_ptr<db::TDbConnection> SideConnection(Station& st) {
    const auto saved = st.Folder() / "side.udl";
    std::filesystem::copy_file(st.Folder() / "Molvar.udl", saved,
                               std::filesystem::copy_options::overwrite_existing);
    auto cn = std::make_unique<db::TDbConnection>();
    cn->SetConnectionString(QStringLiteral("FILE NAME=") + QString::fromStdString(saved.string()));
    return cn;
}

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Files that cannot be read as what they should hold.
struct BrokenFile {
    const char* name;
    bool missing;
    std::string content;
};

std::string RandomBytes(std::size_t n, quint32 seed) {
    QRandomGenerator gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen.bounded(256));
    return s;
}

std::string TenMegabytes() {
    std::string s;
    s.reserve(10u << 20);
    while (s.size() < (10u << 20))
        s += "Filler line of a file that grew without bounds; no key here\r\n";
    return s;
}

void PrintTo(const BrokenFile& f, std::ostream* os) {
    *os << f.name;
}

void Put(const std::filesystem::path& p, const BrokenFile& f) {
    std::filesystem::remove(p);
    if (!f.missing)
        std::ofstream(p, std::ios::binary) << f.content;
}

std::vector<BrokenFile> BrokenFiles() {
    return {{"Missing", true, {}},
            {"Empty", false, {}},
            {"Binary", false, RandomBytes(4096, 6)},
            {"TenMegabytes", false, TenMegabytes()}};
}

// A PostgreSQL server of the test's own, which it may stop, made once per test program and
// removed by ReleaseOwnServer() while the application object still exists. Null, with the
// reason, when it cannot be made.
std::unique_ptr<PgCluster>& OwnServerSlot() {
    static std::unique_ptr<PgCluster> cluster;
    return cluster;
}

PgCluster* OwnServer(std::string* why) {
    static std::string reason;
    static bool tried = false;
    if (!tried) {
        tried = true;
        QString w;
        OwnServerSlot() = PgCluster::Create(&w);
        reason = w.toStdString();
    }
    *why = reason;
    return OwnServerSlot().get();
}

void ReleaseOwnServer() {
    OwnServerSlot().reset();
}

// ---------------------------------------------------------------------------------------
// The cycle's select failing between two cycles, whatever the cause: the error is reported,
// nothing is taken and polling stops; repaired and restarted, the spooler prints the job once.

class SelectFaults;

struct SelectFault {
    const char* name;
    Backend backend;
    bool ownServer; // the station's tables on a server of the test's own, which it may stop
    std::function<void(SelectFaults&)> Break;
    std::function<void(SelectFaults&)> Repair;
};

void PrintTo(const SelectFault& f, std::ostream* os) {
    *os << f.name;
}

class SelectFaults : public ::testing::TestWithParam<SelectFault> {
public:
    static void TearDownTestSuite() { ReleaseOwnServer(); }
    void SetUp() override {
        PLINOVA_REQUIRE_BACKEND(GetParam().backend);
        st = std::make_unique<Station>(GetParam().backend);
        st->WriteDefaults();
        if (GetParam().ownServer) {
            std::string why;
            cluster = OwnServer(&why);
            if (cluster == nullptr)
                GTEST_SKIP() << why;
            ASSERT_TRUE(cluster->Start()) << "the cluster was left stopped and does not start";
            st->WriteDataLink(cluster->InitString().toStdString());
        }
        link = ReadFile(st->Folder() / "Molvar.udl");
        side = SideConnection(*st);
        if (GetParam().ownServer) {
            RunOn(*side, QStringLiteral("DROP TABLE IF EXISTS printer, historico, configpostos"));
            db::CreateTables(*side);
        }
        w = st->StartStopped();
        ASSERT_FALSE(w->Terminated()) << Join(st->messages);
        ASSERT_TRUE(st->messages.isEmpty()) << Join(st->messages);
        ASSERT_TRUE(st->PrinterInitialised());
    }
    void TearDown() override {
        w.reset();
        side.reset();
        st.reset();
    }

    void PutLink(const BrokenFile& f) { Put(st->Folder() / "Molvar.udl", f); }
    void RestoreLink() { std::ofstream(st->Folder() / "Molvar.udl", std::ios::binary) << link; }

    std::unique_ptr<Station> st;
    std::unique_ptr<db::TDbConnection> side;
    std::unique_ptr<Tmain> w;
    std::string link; // the station's good data link
    PgCluster* cluster = nullptr;
};

TEST_P(SelectFaults, NothingTakenUntilRepaired) {
    const int first = AddJobOn(*side, 7, QStringLiteral("before the fault"));
    const int second = AddJobOn(*side, 7, QStringLiteral("after the repair"));
    Cycle(w->Core());
    ASSERT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    st->Printer().Clear();

    GetParam().Break(*this);
    Cycle(w->Core());
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_TRUE(st->messages[0].startsWith("Plinova: ")) << st->messages[0].toStdString();
    EXPECT_LT(st->messages[0].size(), 1000) << "no file dumped into the message";
    EXPECT_FALSE(st->messages[0].contains("secret-word")) << "no password shown";
    EXPECT_FALSE(w->Core().Polling()) << "polling stops until the program is started again";
    EXPECT_EQ(w->Ui().status->text(), QStringLiteral("Pronto")) << "the label keeps its last text";
    EXPECT_EQ(w->Ui().numcartao->text(), QString());
    EXPECT_EQ(st->Printer().Received(), "");

    GetParam().Repair(*this);
    EXPECT_EQ(IdsOn(*side, QStringLiteral("printer")), std::vector<int>{second});
    EXPECT_EQ(IdsOn(*side, QStringLiteral("historico")), std::vector<int>{first});
    RestartSpooler(*st, w);
    Cycle(w->Core());
    EXPECT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    EXPECT_NE(st->Printer().Received().find("after the repair\r\n"), std::string::npos);
    EXPECT_TRUE(IdsOn(*side, QStringLiteral("printer")).empty());
    EXPECT_EQ(IdsOn(*side, QStringLiteral("historico")), (std::vector<int>{first, second}));
}

std::vector<SelectFault> SelectFaultCases() {
    auto renameTable = [](Backend backend) {
        return SelectFault{
            backend == Backend::SQLite ? "TableRenamedSQLite" : "TableRenamedPostgreSQL", backend,
            false,
            [](SelectFaults& t) {
                RunOn(*t.side, QStringLiteral("ALTER TABLE printer RENAME TO printer_away"));
            },
            [](SelectFaults& t) {
                RunOn(*t.side, QStringLiteral("ALTER TABLE printer_away RENAME TO printer"));
            }};
    };
    std::vector<SelectFault> cases = {renameTable(Backend::SQLite),
                                      renameTable(Backend::PostgreSQL)};
    for (const BrokenFile& f : BrokenFiles()) {
        cases.push_back({f.name, Backend::SQLite, false, [f](SelectFaults& t) { t.PutLink(f); },
                         [](SelectFaults& t) { t.RestoreLink(); }});
    }
    cases.push_back({"LinkToAClosedServer", Backend::SQLite, false,
                     [](SelectFaults& t) {
                         t.st->WriteDataLink("Provider=PostgreSQL;Data Source=127.0.0.1:1;Initial "
                                             "Catalog=x;User ID=x;Password=secret-word");
                     },
                     [](SelectFaults& t) { t.RestoreLink(); }});
    cases.push_back({"ServerStopped", Backend::SQLite, true,
                     [](SelectFaults& t) { ASSERT_TRUE(t.cluster->Stop()); },
                     [](SelectFaults& t) { ASSERT_TRUE(t.cluster->Start()); }});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Causes, SelectFaults, ::testing::ValuesIn(SelectFaultCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// The data link file broken at start-up: the window opens, the history purge fails and is
// reported, and the timer is never started.

struct StartupLink {
    const char* name;
    BrokenFile file;
};

void PrintTo(const StartupLink& l, std::ostream* os) {
    *os << l.name;
}

class StartupLinkFaults : public ::testing::TestWithParam<StartupLink> {};

TEST_P(StartupLinkFaults, PurgeReportedAndPollingNeverStarts) {
    Station st;
    st.WriteDefaults();
    Put(st.Folder() / "Molvar.udl", GetParam().file);
    auto w = st.Start();
    ASSERT_FALSE(w->Terminated());
    EXPECT_EQ(SpoolerProbe(w->Core()).OffsetInicial(), 0);
    ASSERT_EQ(st.messages.size(), 1) << "the history purge fails";
    EXPECT_TRUE(st.messages[0].startsWith("Plinova: ")) << st.messages[0].toStdString();
    EXPECT_TRUE(st.messages[0].contains("Molvar.udl")) << st.messages[0].toStdString();
    EXPECT_LT(st.messages[0].size(), 1000) << "no file dumped into the message";
    EXPECT_FALSE(w->Core().Polling());
}

INSTANTIATE_TEST_SUITE_P(
    Files, StartupLinkFaults, ::testing::ValuesIn([] {
        std::vector<StartupLink> cases;
        for (const BrokenFile& f : BrokenFiles())
            cases.push_back({f.name, f});
        cases.push_back({"UnknownProvider", {"", false, "Provider=NoSuchProvider;Data Source=x"}});
        return cases;
    }()),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// The database refusing the cycle's last statement. (History insert refused: JobCycleTest
// HistoryInsertFailsNothingPrintedJobStays.)

class DatabaseFaults : public StationOnBackend {};

// When the last delete is refused the job stays queued although printed and logged; the journal
// knows its card is out, so the next start deletes it without printing or logging it again.
TEST_P(DatabaseFaults, DeleteRefusedJobDeletedAfterRestartNotPrintedAgain) {
    if (GetParam() == Backend::SQLite) {
        st->Sql("CREATE TRIGGER nodelete BEFORE DELETE ON printer BEGIN SELECT RAISE(FAIL, "
                "'delete refused'); END");
    } else {
        st->Sql("CREATE FUNCTION refuse_delete() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                "RAISE EXCEPTION 'delete refused'; END $$");
        st->Sql("CREATE TRIGGER nodelete BEFORE DELETE ON printer FOR EACH ROW EXECUTE "
                "FUNCTION refuse_delete()");
    }
    const int id = st->AddJob(7, 0, 3, 0, QString(), QStringLiteral("once, not lost"));
    Cycle(w->Core());
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_TRUE(st->messages[0].contains("delete refused")) << st->messages[0].toStdString();
    EXPECT_FALSE(w->Core().Polling());
    EXPECT_NE(st->Printer().Received().find("once, not lost\r\n"), std::string::npos);
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u);

    st->Sql("DROP TRIGGER nodelete" + QString(GetParam() == Backend::SQLite ? "" : " ON printer"));
    RestartSpooler(*st, w);
    Cycle(w->Core());
    EXPECT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    EXPECT_EQ(st->Printer().Received().find("once, not lost"), std::string::npos);
    const auto hist = st->Rows("SELECT id FROM historico");
    ASSERT_EQ(hist.size(), 1u);
    EXPECT_EQ(hist[0][0].toInt(), id);
    EXPECT_TRUE(st->Rows("SELECT id FROM printer").empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, DatabaseFaults,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         [](const auto& info) { return dbtest::BackendName(info.param); });

class DatabaseServer : public ::testing::Test {
protected:
    static void TearDownTestSuite() { ReleaseOwnServer(); }
};

// A PostgreSQL server stopped during a card, after the history insert: the card is printed
// whole, the final delete fails, and the next start, with the server back, deletes the job
// without printing or logging it again.
TEST_F(DatabaseServer, StoppedDuringTheCardJobDeletedAfterRestart) {
    std::string why;
    PgCluster* cluster = OwnServer(&why);
    if (cluster == nullptr)
        GTEST_SKIP() << why;
    ASSERT_TRUE(cluster->Start());
    Station st;
    st.WriteDefaults();
    st.WriteDataLink(cluster->InitString().toStdString());
    auto cn = SideConnection(st);
    RunOn(*cn, QStringLiteral("DROP TABLE IF EXISTS printer, historico, configpostos"));
    db::CreateTables(*cn);
    auto w = st.StartStopped();
    ASSERT_FALSE(w->Terminated());
    ASSERT_TRUE(st.messages.isEmpty()) << Join(st.messages);
    ASSERT_TRUE(st.PrinterInitialised());

    const int id = AddJobOn(*cn, 7, QStringLiteral("server gone meanwhile"));
    st.Printer().SetInsertAfter(1000000);
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        st.Printer().WaitFor(kStatusRequest, 10s);
        stopped = cluster->Stop();
        st.Printer().Script({"\x12"});
    });
    Cycle(w->Core());
    stopper.join();
    ASSERT_TRUE(stopped);
    ASSERT_EQ(st.messages.size(), 1);
    EXPECT_FALSE(w->Core().Polling());
    EXPECT_NE(st.Printer().Received().find("server gone meanwhile\r\n\x0C\x1B\x71"),
              std::string::npos)
        << "the card was printed whole";

    ASSERT_TRUE(cluster->Start());
    EXPECT_EQ(IdsOn(*cn, QStringLiteral("printer")), std::vector<int>{id});
    EXPECT_EQ(IdsOn(*cn, QStringLiteral("historico")), std::vector<int>{id});
    st.Printer().SetInsertAfter(1);
    RestartSpooler(st, w);
    Cycle(w->Core());
    EXPECT_TRUE(st.messages.isEmpty()) << Join(st.messages);
    EXPECT_EQ(st.Printer().Received().find("server gone meanwhile"), std::string::npos);
    EXPECT_TRUE(IdsOn(*cn, QStringLiteral("printer")).empty());
    EXPECT_EQ(IdsOn(*cn, QStringLiteral("historico")), std::vector<int>{id});
    w.reset();
}

// ---------------------------------------------------------------------------------------
// The printer's line closing at each stage of a job. (Closed during the wait for a card:
// JobCycleTest PrinterUnpluggedDuringTheCard.)

class PrinterLine : public ::testing::Test {
protected:
    void SetUp() override {
        st = std::make_unique<Station>();
        st->WriteDefaults();
        w = st->StartStopped();
        ASSERT_FALSE(w->Terminated());
        ASSERT_TRUE(st->PrinterInitialised());
    }
    // Runs one cycle while `fault` acts on the printer from another thread.
    void CycleWith(const std::function<void()>& fault) {
        std::thread t(fault);
        Cycle(w->Core());
        t.join();
    }
    std::unique_ptr<Station> st;
    std::unique_ptr<Tmain> w;
};

TEST_F(PrinterLine, ClosedBeforeADrawerJob) {
    st->Printer().Unplug();
    st->AddJob(7, 1, 2, 0, QString(), QString());
    Cycle(w->Core());
    ASSERT_EQ(st->messages.size(), 1) << "the drawer pulse cannot be written";
    EXPECT_TRUE(st->messages[0].startsWith("Plinova: ")) << st->messages[0].toStdString();
    EXPECT_FALSE(w->Core().Polling());
    EXPECT_TRUE(st->Rows("SELECT id FROM historico").empty());
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);
}

TEST_F(PrinterLine, ClosedBeforeAPrintJob) {
    st->Printer().Unplug();
    st->AddJob(7, 0, 2, 0, QString(), QStringLiteral("no line"));
    Cycle(w->Core());
    ASSERT_EQ(st->messages.size(), 1) << "the first status request cannot be written";
    EXPECT_FALSE(w->Core().Polling());
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u) << "logged before the card";
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);
    // Wine fails the input count that comes first on a line that went away, before the
    // label changes; a pseudo-terminal takes the count and fails the status request.
    EXPECT_EQ(w->Ui().status->text(),
              RunningUnderWine() ? QString() : QStringLiteral("Introduza cartão"));
}

// Wine never completes a write that is pending when the line goes away: the card print would
// wait for it for ever. (A write started after it went away fails at once, as tested above.)
constexpr const char* kWinePendingWrite =
    "wine never completes a write that was pending when the line went away";

TEST_F(PrinterLine, ClosedDuringTheLines) {
    if (RunningUnderWine())
        GTEST_SKIP() << kWinePendingWrite;
    st->AddJob(7, 0, 2, 0, QString(), QStringLiteral("line 1\r\nline 2\r\nline 3\r\nline 4"));
    CycleWith([&] {
        st->Printer().WaitFor("line 2\r\n", 10s);
        st->Printer().Unplug();
    });
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_TRUE(st->messages[0].startsWith("Plinova: ")) << st->messages[0].toStdString();
    EXPECT_FALSE(w->Core().Polling());
    EXPECT_EQ(st->Printer().Received().find(printer::kCardEnd), std::string::npos)
        << "the card never ends";
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u);
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);
    EXPECT_NE(w->Ui().status->text(), QStringLiteral("Pronto")) << "the label keeps its last text";
}

// The card was out whole before the line closed: the next start deletes the job without
// printing it again.
TEST_F(PrinterLine, ClosedWhileWaitingForRemovalJobDeletedAfterRestart) {
    const int id = st->AddJob(7, 0, 2, 0, QString(), QStringLiteral("take me out"));
    st->Printer().SetRemoveAfter(1000000);
    CycleWith([&] {
        st->Printer().WaitFor(kRelease + kStatusRequest, 10s);
        st->Printer().Unplug();
    });
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_EQ(w->Ui().status->text(), QStringLiteral("Remova cartão"));
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u);
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);

    // Plugged in again (a new line), the program started again.
    w.reset();
    TestPrinter again;
    st->WritePlinovaIni({{"Certificadora", "1"},
                         {"Porta Certificadora", "1"},
                         {"Dispositivo Certificadora", again.DevicePath()}});
    st->messages.clear();
    w = st->StartStopped();
    ASSERT_FALSE(w->Terminated()) << Join(st->messages);
    Cycle(w->Core());
    EXPECT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    EXPECT_EQ(again.Received().find("take me out"), std::string::npos);
    const auto hist = st->Rows("SELECT id FROM historico");
    ASSERT_EQ(hist.size(), 1u);
    EXPECT_EQ(hist[0][0].toInt(), id);
    EXPECT_TRUE(st->Rows("SELECT id FROM printer").empty());
    w.reset();
}

// ---------------------------------------------------------------------------------------
// Output held back under hardware flow control. A pseudo-terminal has no handshake lines;
// its nearest match is a buffer the far side stops emptying, which makes writes wait the
// same way until the write time-out ends them short.

class BlockedOutput : public ::testing::Test, protected StartedStation {
protected:
    void SetUp() override { StartStation(Backend::SQLite, 1); }
    void TearDown() override { StopStation(); }
};

// Status requests that the line does not take end short after their time-out; the wait for a
// card goes on, and the job is printed whole once the line takes bytes again.
TEST_F(BlockedOutput, WaitForTheCardOutlastsTheBlock) {
    st->AddJob(7, 0, 2, 0, QString(), QStringLiteral("after the block"));
    st->Printer().StallAfter("");
    std::thread resume([&] {
        std::this_thread::sleep_for(3s); // two status requests time out meanwhile
        st->Printer().Resume();
    });
    Cycle(w->Core());
    resume.join();
    EXPECT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    EXPECT_NE(st->Printer().Received().find("after the block\r\n\x0C\x1B\x71"), std::string::npos);
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u);
    EXPECT_TRUE(st->Rows("SELECT id FROM printer").empty());
}

// A card write that the printer does not take before the time-out: the write ends short,
// which for anything on the card is a failure: the card print stops with the error and the job
// stays queued, never counted as printed with a part missing. The line is full before the card
// is reported, so the first write after it cannot pass, however slow the machine.
TEST_F(BlockedOutput, CardWriteNotTakenKeepsTheJob) {
    st->AddJob(7, 0, 2, 0, QString(), QStringLiteral("first\r\nsecond"));
    st->Printer().SetInsertAfter(1000000);
    std::thread card([&] {
        st->Printer().WaitFor(kStatusRequest, 10s);
        st->Printer().StallAfter("");
        st->Printer().Send("\x12");
    });
    Cycle(w->Core());
    card.join();
    st->Printer().Resume();
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u) << "the job stays queued";
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_EQ(st->messages[0].toStdString(),
              "Plinova: WriteFile function failed (win error code: 1121)");
    EXPECT_EQ(w->Ui().status->text(), QStringLiteral("Em impressão..."));
    EXPECT_FALSE(w->Core().Polling());
}

// ---------------------------------------------------------------------------------------
// A station journal that cannot be used (here another station's, copied with its folder): the
// operator is told without being asked anything, the file is set aside, and printing goes on.

TEST(JournalFaults, AnotherStationsJournalIsSetAsideAndPrintingGoesOn) {
    Station st;
    st.WriteDefaults();
    journal::Entry foreign;
    foreign.id = 1;
    foreign.fingerprint = QByteArray(16, '0');
    std::ofstream(st.Folder() / journal::kFileName, std::ios::binary)
        << journal::Opening(3, foreign).toStdString();
    st.AddJob(7, 0, 1, 0, QString(), QStringLiteral("printed all the same"));
    auto w = st.Start();
    ASSERT_FALSE(w->Terminated());
    ASSERT_EQ(st.messages.size(), 1) << Join(st.messages);
    EXPECT_TRUE(st.messages[0].startsWith(QStringLiteral(
        "Aviso: O diário de impressão Plinova.jnl é de outro posto (3) e foi posto de parte")))
        << st.messages[0].toStdString();
    EXPECT_TRUE(w->Core().Polling()) << "the notice stops nothing";
    EXPECT_TRUE(std::filesystem::exists(st.Folder() / journal::kSetAsideName));

    w->Core().StopPolling();
    ASSERT_TRUE(st.PrinterInitialised());
    Cycle(w->Core());
    EXPECT_EQ(st.messages.size(), 1) << Join(st.messages);
    EXPECT_NE(st.Printer().Received().find("printed all the same\r\n"), std::string::npos);
    EXPECT_TRUE(st.Rows("SELECT id FROM printer").empty());
    EXPECT_EQ(st.Rows("SELECT id FROM historico").size(), 1u);
}

// ---------------------------------------------------------------------------------------
// Profile files missing, empty, binary or huge, or holding values that are not numbers.

// Plinova.ini without an enabled printer, however it came to be: the program refuses to run
// and sends the printer nothing.
class PrinterDisabled : public ::testing::TestWithParam<BrokenFile> {};

TEST_P(PrinterDisabled, RefusesToRun) {
    Station st;
    st.WriteMolvarIni("7");
    Put(st.Folder() / "Plinova.ini", GetParam());
    auto w = st.Start();
    EXPECT_TRUE(w->Terminated());
    EXPECT_EQ(st.messages,
              QStringList{QStringLiteral("Aviso: A certificadora está desactivada na "
                                         "configuração!\nNão é possível executar a aplicação!")});
    EXPECT_FALSE(w->Core().Polling());
    EXPECT_EQ(st.Printer().Received(), "") << "nothing reaches the printer";
}

INSTANTIATE_TEST_SUITE_P(
    Files, PrinterDisabled, ::testing::ValuesIn([] {
        auto files = BrokenFiles();
        files.push_back({"NoValue", false, "[OPCOES]\r\nCertificadora=\r\n"});
        files.push_back({"Zero", false, "[OPCOES]\r\nCertificadora=0\r\n"});
        files.push_back({"NotANumber", false, "[OPCOES]\r\nCertificadora=abc\r\n"});
        return files;
    }()),
    [](const auto& info) { return std::string(info.param.name); });

class StationSettingsFaults : public ::testing::TestWithParam<BrokenFile> {};

TEST_P(StationSettingsFaults, ReadAsStationZero) {
    Station st;
    st.WriteDefaults();
    Put(st.Folder() / "Molvar.ini", GetParam());
    st.AddJob(7, 1, 1, 0, QString(), QString());
    auto w = st.StartStopped();
    ASSERT_FALSE(w->Terminated());
    EXPECT_TRUE(st.messages.isEmpty()) << Join(st.messages);
    EXPECT_EQ(SpoolerProbe(w->Core()).Posto(), 0);
    Cycle(w->Core());
    EXPECT_EQ(st.Rows("SELECT id FROM printer").size(), 1u) << "another station's job";
}

INSTANTIATE_TEST_SUITE_P(Files, StationSettingsFaults, ::testing::ValuesIn(BrokenFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

// A huge profile file that holds the settings works, and saving the window position at close
// keeps the rest of it.
TEST(ProfileFaults, HugeSettingsFileStillReadAndKeptWhole) {
    Station st;
    st.WriteMolvarIni("7");
    const std::string settings = "[OPCOES]\r\nCertificadora=1\r\nPorta Certificadora=1\r\n"
                                 "Dispositivo Certificadora=" +
                                 st.Printer().DevicePath() + "\r\n[junk]\r\n";
    const std::string tail = TenMegabytes();
    std::ofstream(st.Folder() / "Plinova.ini", std::ios::binary) << settings << tail;
    {
        auto w = st.Start();
        ASSERT_FALSE(w->Terminated()) << Join(st.messages);
        w->show();
        w->move(33, 44);
        w->close();
    }
    const std::string after = ReadFile(st.Folder() / "Plinova.ini");
    EXPECT_EQ(after.compare(0, settings.size(), settings), 0);
    EXPECT_NE(after.find(tail), std::string::npos);
    EXPECT_NE(after.find("Left=33"), std::string::npos);
    EXPECT_NE(after.find("Top=44"), std::string::npos);
}

} // namespace
