// Faults injected into a running station: the database going away or refusing a statement,
// the printer's line closing or taking no bytes, broken data link and profile files, the port
// held by another program. Whatever happens, a job leaves the queue only after its cycle ended
// well, and a history row exists exactly when its insert ran.
#include <QLabel>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTimer>
#include <atomic>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

#include "PgCluster.h"
#include "StallingPrinter.h"
#include "Station.h"
#include "app/_main.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "db/Schema.h"

namespace {

using namespace std::chrono_literals;

const std::string& kInitEnd = Station::kInitialisationEnd;
const std::string kStatusRequest("\x10\x04\x05", 3);
const std::string kRelease("\x1B\x71", 2);
const QString kDisabled = QStringLiteral("Aviso: A certificadora está desactivada na "
                                         "configuração!\nNão é possível executar a aplicação!");
const QString kNoPort = QStringLiteral(
    "Aviso: Não é possível abrir a porta da certificadora!\nNão é possível executar a aplicação!");

std::string Join(const QStringList& messages) {
    return messages.join(QStringLiteral(" | ")).toStdString();
}

int AddJobOn(db::TDbConnection& cn, int posto, int gaveta, const QString& dados) {
    db::TDbCommand cmd(&cn);
    cmd.SetSQL({QStringLiteral("INSERT INTO printer (posto, gaveta, cartao, titulo, "
                               "palavrachave, dados)"),
                QStringLiteral("VALUES (:posto, :gaveta, 1, 0, '', :dados)")});
    cmd.ParamByName(QStringLiteral("posto")).SetValue(posto);
    cmd.ParamByName(QStringLiteral("gaveta")).SetValue(gaveta);
    cmd.ParamByName(QStringLiteral("dados")).SetValue(dados);
    cmd.Execute();
    db::TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT MAX(id) AS id FROM printer")});
    q.Open();
    const int id = q.FieldAsInteger(QStringLiteral("id"));
    q.Close();
    return id;
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

// ---------------------------------------------------------------------------------------
// The database refusing one statement of the cycle. (History insert refused: JobCycleTest
// HistoryInsertFailsNothingPrintedJobStays.)

class DatabaseFaults : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        PLINOVA_REQUIRE_BACKEND(GetParam());
        st = std::make_unique<Station>(GetParam());
        st->WriteDefaults();
        w = st->StartStopped();
        ASSERT_FALSE(w->Terminated()) << Join(st->messages);
        ASSERT_TRUE(st->Printer().WaitFor(kInitEnd, 2s));
        st->Printer().Clear();
    }
    void Restart() { RestartSpooler(*st, w); }
    std::unique_ptr<Station> st;
    std::unique_ptr<Tmain> w;
};

TEST_P(DatabaseFaults, SelectFailsNothingTakenUntilTheTableIsBack) {
    const int id = st->AddJob(7, 0, 3, 0, QString(), QStringLiteral("waits for its table"));
    st->Sql("ALTER TABLE printer RENAME TO printer_away");
    Cycle(w->Core());
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_TRUE(st->messages[0].startsWith("Plinova: ")) << st->messages[0].toStdString();
    EXPECT_FALSE(w->Core().TimerEnabled());
    EXPECT_EQ(st->Printer().Received(), "");
    EXPECT_EQ(Controls(*w).numcartao->text(), QString());

    st->Sql("ALTER TABLE printer_away RENAME TO printer");
    EXPECT_TRUE(st->Rows("SELECT id FROM historico").empty());
    Restart();
    Cycle(w->Core());
    EXPECT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    EXPECT_NE(st->Printer().Received().find("waits for its table\r\n"), std::string::npos);
    const auto hist = st->Rows("SELECT id FROM historico");
    ASSERT_EQ(hist.size(), 1u);
    EXPECT_EQ(hist[0][0].toInt(), id);
    EXPECT_TRUE(st->Rows("SELECT id FROM printer").empty());
}

// When the last delete is refused the job stays queued although printed and logged: the next
// start prints and logs it again. Twice, but never lost.
TEST_P(DatabaseFaults, DeleteRefusedJobPrintedAgainAfterRestart) {
    if (GetParam() == Backend::SQLite) {
        st->Sql("CREATE TRIGGER nodelete BEFORE DELETE ON printer BEGIN SELECT RAISE(FAIL, "
                "'delete refused'); END");
    } else {
        st->Sql("CREATE FUNCTION refuse_delete() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                "RAISE EXCEPTION 'delete refused'; END $$");
        st->Sql("CREATE TRIGGER nodelete BEFORE DELETE ON printer FOR EACH ROW EXECUTE "
                "FUNCTION refuse_delete()");
    }
    const int id = st->AddJob(7, 0, 3, 0, QString(), QStringLiteral("twice, not lost"));
    Cycle(w->Core());
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_TRUE(st->messages[0].contains("delete refused")) << st->messages[0].toStdString();
    EXPECT_FALSE(w->Core().TimerEnabled());
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u);

    st->Sql("DROP TRIGGER nodelete" + QString(GetParam() == Backend::SQLite ? "" : " ON printer"));
    Restart();
    Cycle(w->Core());
    EXPECT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    EXPECT_NE(st->Printer().Received().find("twice, not lost\r\n"), std::string::npos);
    const auto hist = st->Rows("SELECT id FROM historico");
    ASSERT_EQ(hist.size(), 2u);
    EXPECT_EQ(hist[0][0].toInt(), id);
    EXPECT_EQ(hist[1][0].toInt(), id);
    EXPECT_TRUE(st->Rows("SELECT id FROM printer").empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, DatabaseFaults,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         [](const auto& info) { return dbtest::BackendName(info.param); });

// ---------------------------------------------------------------------------------------
// A PostgreSQL server stopped and started again under a running station.

class DatabaseServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QString why;
        cluster_ = PgCluster::Create(&why).release();
        if (cluster_ == nullptr)
            why_ = why.toStdString();
    }
    static void TearDownTestSuite() {
        delete cluster_;
        cluster_ = nullptr;
    }
    void SetUp() override {
        if (cluster_ == nullptr)
            GTEST_SKIP() << why_;
        ASSERT_TRUE(cluster_->Start()) << "the cluster was left stopped and does not start";
        st = std::make_unique<Station>();
        st->WriteDefaults();
        st->WriteDataLink(cluster_->InitString().toStdString());
        cn = std::make_unique<db::TDbConnection>();
        cn->SetConnectionString(cluster_->InitString());
        RunOn(*cn, QStringLiteral("DROP TABLE IF EXISTS printer, historico, configpostos"));
        db::CreateTables(*cn);
        w = st->StartStopped();
        ASSERT_FALSE(w->Terminated());
        ASSERT_TRUE(st->messages.isEmpty()) << Join(st->messages);
        ASSERT_TRUE(st->Printer().WaitFor(kInitEnd, 2s));
        st->Printer().Clear();
    }
    void Restart() { RestartSpooler(*st, w); }
    void TearDown() override {
        w.reset();
        cn.reset();
        st.reset();
    }

    static PgCluster* cluster_;
    static std::string why_;
    std::unique_ptr<Station> st;
    std::unique_ptr<db::TDbConnection> cn;
    std::unique_ptr<Tmain> w;
};
PgCluster* DatabaseServer::cluster_ = nullptr;
std::string DatabaseServer::why_;

TEST_F(DatabaseServer, StoppedBetweenCyclesNothingLost) {
    const int first = AddJobOn(*cn, 7, 0, QStringLiteral("before the stop"));
    const int second = AddJobOn(*cn, 7, 0, QStringLiteral("after the start"));
    Cycle(w->Core());
    ASSERT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    st->Printer().Clear();

    ASSERT_TRUE(cluster_->Stop());
    Cycle(w->Core());
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_TRUE(st->messages[0].startsWith("Plinova: ")) << st->messages[0].toStdString();
    EXPECT_FALSE(w->Core().TimerEnabled()) << "polling stops until the program is started again";
    EXPECT_EQ(Controls(*w).status->text(), QStringLiteral("Pronto"));
    EXPECT_EQ(st->Printer().Received(), "");

    ASSERT_TRUE(cluster_->Start());
    EXPECT_EQ(IdsOn(*cn, QStringLiteral("printer")), std::vector<int>{second});
    EXPECT_EQ(IdsOn(*cn, QStringLiteral("historico")), std::vector<int>{first});
    Restart();
    Cycle(w->Core());
    EXPECT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    EXPECT_NE(st->Printer().Received().find("after the start\r\n"), std::string::npos);
    EXPECT_TRUE(IdsOn(*cn, QStringLiteral("printer")).empty());
    EXPECT_EQ(IdsOn(*cn, QStringLiteral("historico")), (std::vector<int>{first, second}));
}

TEST_F(DatabaseServer, StoppedDuringTheCardJobPrintedAgainAfterRestart) {
    const int id = AddJobOn(*cn, 7, 0, QStringLiteral("server gone meanwhile"));
    st->Printer().insertAfter = 1000000;
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        st->Printer().WaitFor(kStatusRequest, 5s);
        stopped = cluster_->Stop();
        st->Printer().Script({"\x12"});
    });
    Cycle(w->Core());
    stopper.join();
    ASSERT_TRUE(stopped);
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_FALSE(w->Core().TimerEnabled());
    EXPECT_NE(st->Printer().Received().find("server gone meanwhile\r\n\x0C\x1B\x71"),
              std::string::npos)
        << "the card was printed whole";

    ASSERT_TRUE(cluster_->Start());
    EXPECT_EQ(IdsOn(*cn, QStringLiteral("printer")), std::vector<int>{id});
    EXPECT_EQ(IdsOn(*cn, QStringLiteral("historico")), std::vector<int>{id});
    st->Printer().insertAfter = 1;
    Restart();
    Cycle(w->Core());
    EXPECT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    EXPECT_TRUE(IdsOn(*cn, QStringLiteral("printer")).empty());
    EXPECT_EQ(IdsOn(*cn, QStringLiteral("historico")), (std::vector<int>{id, id}));
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
        ASSERT_TRUE(st->Printer().WaitFor(kInitEnd, 2s));
        st->Printer().Clear();
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
    // The fake printer's reader may still be polling the device: it is gone once that ends.
    std::this_thread::sleep_for(300ms);
    st->AddJob(7, 1, 2, 0, QString(), QString());
    Cycle(w->Core());
    ASSERT_EQ(st->messages.size(), 1) << "the drawer pulse cannot be written";
    EXPECT_TRUE(st->messages[0].startsWith("Plinova: ")) << st->messages[0].toStdString();
    EXPECT_FALSE(w->Core().TimerEnabled());
    EXPECT_TRUE(st->Rows("SELECT id FROM historico").empty());
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);
}

TEST_F(PrinterLine, ClosedBeforeAPrintJob) {
    st->Printer().Unplug();
    std::this_thread::sleep_for(300ms);
    st->AddJob(7, 0, 2, 0, QString(), QStringLiteral("no line"));
    Cycle(w->Core());
    ASSERT_EQ(st->messages.size(), 1) << "the first status request cannot be written";
    EXPECT_FALSE(w->Core().TimerEnabled());
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u) << "logged before the card";
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);
    EXPECT_EQ(Controls(*w).status->text(), QStringLiteral("Introduza cartão"));
}

TEST_F(PrinterLine, ClosedDuringTheLines) {
    st->AddJob(7, 0, 2, 0, QString(), QStringLiteral("line 1\r\nline 2\r\nline 3\r\nline 4"));
    CycleWith([&] {
        st->Printer().WaitFor("line 2\r\n", 5s);
        st->Printer().Unplug();
    });
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_TRUE(st->messages[0].startsWith("Plinova: ")) << st->messages[0].toStdString();
    EXPECT_FALSE(w->Core().TimerEnabled());
    EXPECT_EQ(st->Printer().Received().find("line 4"), std::string::npos);
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u);
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);
    EXPECT_NE(Controls(*w).status->text(), QStringLiteral("Pronto"))
        << "the label keeps its last text";
}

TEST_F(PrinterLine, ClosedWhileWaitingForRemovalJobPrintedAgainAfterRestart) {
    const int id = st->AddJob(7, 0, 2, 0, QString(), QStringLiteral("take me out"));
    st->Printer().removeAfter = 1000000;
    CycleWith([&] {
        st->Printer().WaitFor(kRelease + kStatusRequest, 5s);
        st->Printer().Unplug();
    });
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_EQ(Controls(*w).status->text(), QStringLiteral("Remova cartão"));
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u);
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);

    // Plugged in again (a new line), the program started again: the card comes out again.
    w.reset();
    FakePrinter again;
    st->WritePlinovaIni({{"Certificadora", "1"},
                         {"Porta Certificadora", "1"},
                         {"Dispositivo Certificadora", again.DevicePath()}});
    st->messages.clear();
    w = st->StartStopped();
    ASSERT_FALSE(w->Terminated()) << Join(st->messages);
    Cycle(w->Core());
    EXPECT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    EXPECT_NE(again.Received().find("take me out\r\n"), std::string::npos);
    const auto hist = st->Rows("SELECT id FROM historico");
    ASSERT_EQ(hist.size(), 2u);
    EXPECT_EQ(hist[1][0].toInt(), id);
    EXPECT_TRUE(st->Rows("SELECT id FROM printer").empty());
    w.reset();
}

// ---------------------------------------------------------------------------------------
// Output held back under hardware flow control. A pseudo-terminal has no handshake lines;
// its nearest match is a buffer the far side stops emptying, which makes writes wait the
// same way until the write time-out ends them short.

class BlockedOutput : public ::testing::Test {
protected:
    void SetUp() override {
        st = std::make_unique<Station>();
        st->WritePlinovaIni({{"Certificadora", "1"},
                             {"Porta Certificadora", "1"},
                             {"Protocolo Certificadora", "1"},
                             {"Dispositivo Certificadora", printer.DevicePath()}});
        st->WriteMolvarIni("7");
        w = st->StartStopped();
        ASSERT_FALSE(w->Terminated()) << Join(st->messages);
        ASSERT_TRUE(printer.WaitFor(kInitEnd, 2s));
    }
    void TearDown() override {
        w.reset();
        st.reset();
    }
    StallingPrinter printer;
    std::unique_ptr<Station> st;
    std::unique_ptr<Tmain> w;
};

// Status requests that the line does not take end short after their time-out; the wait for a
// card goes on, and the job is printed whole once the line takes bytes again.
TEST_F(BlockedOutput, WaitForTheCardOutlastsTheBlock) {
    st->AddJob(7, 0, 2, 0, QString(), QStringLiteral("after the block"));
    printer.StallAfter("");
    std::thread resume([&] {
        std::this_thread::sleep_for(3s); // two status requests time out meanwhile
        printer.Resume();
    });
    Cycle(w->Core());
    resume.join();
    EXPECT_TRUE(st->messages.isEmpty()) << Join(st->messages);
    EXPECT_NE(printer.Received().find("after the block\r\n\x0C\x1B\x71"), std::string::npos);
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u);
    EXPECT_TRUE(st->Rows("SELECT id FROM printer").empty());
}

// A line of text that the printer does not take before the time-out: the write ends short,
// which for a card line is a failure: the card print stops with the error and the job stays
// queued, never counted as printed with a line missing.
TEST_F(BlockedOutput, LineNotTakenKeepsTheJob) {
    st->AddJob(7, 0, 2, 0, QString(), QStringLiteral("first\r\nsecond\r\nthird"));
    printer.StallAfter("first\r\n");
    std::thread resume([&] {
        std::this_thread::sleep_for(2500ms); // "second" (8 bytes) times out after 1.8 s
        printer.Resume();
    });
    Cycle(w->Core());
    resume.join();
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u) << "the job stays queued";
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_EQ(st->messages[0].toStdString(),
              "Plinova: WriteFile function failed (win error code: 1121)");
    EXPECT_FALSE(w->Core().TimerEnabled());
}

// ---------------------------------------------------------------------------------------
// The data link file missing or broken: at start-up (the history purge fails), between cycles
// (the next select fails). Nothing is taken; restored, the job prints once.

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

class DataLinkFaults : public ::testing::TestWithParam<BrokenFile> {};

TEST_P(DataLinkFaults, NothingTakenUntilRestored) {
    Station st;
    st.WriteDefaults();
    auto side = SideConnection(st);
    const std::filesystem::path link = st.Folder() / "Molvar.udl";
    const std::string good = [&] {
        std::ifstream in(link, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    const int id = AddJobOn(*side, 7, 0, QStringLiteral("linked again"));

    Put(link, GetParam());
    auto w = st.StartStopped();
    ASSERT_FALSE(w->Terminated());
    ASSERT_EQ(st.messages.size(), 1) << "the history purge fails";
    EXPECT_TRUE(st.messages[0].startsWith("Plinova: ")) << st.messages[0].toStdString();
    EXPECT_LT(st.messages[0].size(), 1000) << "no file dumped into the message";
    // This spooler initialises the printer too; its bytes must not pass for the next one's.
    ASSERT_TRUE(st.Printer().WaitFor(kInitEnd, 2s));
    st.Printer().Clear();

    std::ofstream(link, std::ios::binary) << good;
    w.reset();
    st.messages.clear();
    w = st.StartStopped();
    ASSERT_TRUE(st.messages.isEmpty()) << Join(st.messages);
    ASSERT_TRUE(st.Printer().WaitFor(kInitEnd, 2s));
    st.Printer().Clear();
    Put(link, GetParam());
    Cycle(w->Core());
    ASSERT_EQ(st.messages.size(), 1);
    EXPECT_FALSE(w->Core().TimerEnabled());
    EXPECT_EQ(st.Printer().Received(), "");
    EXPECT_EQ(IdsOn(*side, QStringLiteral("printer")), std::vector<int>{id});
    EXPECT_TRUE(IdsOn(*side, QStringLiteral("historico")).empty());

    std::ofstream(link, std::ios::binary) << good;
    w.reset();
    st.messages.clear();
    w = st.StartStopped();
    Cycle(w->Core());
    EXPECT_TRUE(st.messages.isEmpty()) << Join(st.messages);
    EXPECT_TRUE(IdsOn(*side, QStringLiteral("printer")).empty());
    EXPECT_EQ(IdsOn(*side, QStringLiteral("historico")), std::vector<int>{id});
}

INSTANTIATE_TEST_SUITE_P(Files, DataLinkFaults, ::testing::ValuesIn(BrokenFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Profile files missing, empty, binary or huge. (Plinova.ini missing: StartupTest
// RefusesToRunWhenThePrinterIsDisabled.)

class PrinterSettingsFaults : public ::testing::TestWithParam<BrokenFile> {};

TEST_P(PrinterSettingsFaults, RefuseToRun) {
    Station st;
    st.WriteMolvarIni("7");
    Put(st.Folder() / "Plinova.ini", GetParam());
    auto w = st.Start();
    EXPECT_TRUE(w->Terminated());
    EXPECT_EQ(st.messages, QStringList{kDisabled});
    EXPECT_EQ(st.Printer().Received(), "");
}

class StationSettingsFaults : public ::testing::TestWithParam<BrokenFile> {};

TEST_P(StationSettingsFaults, ReadAsStationZero) {
    Station st;
    st.WriteDefaults();
    Put(st.Folder() / "Molvar.ini", GetParam());
    st.AddJob(7, 1, 1, 0, QString(), QString());
    auto w = st.StartStopped();
    ASSERT_FALSE(w->Terminated());
    EXPECT_TRUE(st.messages.isEmpty()) << Join(st.messages);
    EXPECT_EQ(w->Core().Posto, 0);
    Cycle(w->Core());
    EXPECT_EQ(st.Rows("SELECT id FROM printer").size(), 1u) << "another station's job";
}

INSTANTIATE_TEST_SUITE_P(Files, PrinterSettingsFaults, ::testing::ValuesIn([] {
                             auto files = BrokenFiles();
                             files.erase(files.begin()); // missing: see above
                             return files;
                         }()),
                         [](const auto& info) { return std::string(info.param.name); });
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
    std::ifstream in(st.Folder() / "Plinova.ini", std::ios::binary);
    const std::string after(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(after.compare(0, settings.size(), settings), 0);
    EXPECT_NE(after.find(tail), std::string::npos);
    EXPECT_NE(after.find("Left=33"), std::string::npos);
    EXPECT_NE(after.find("Top=44"), std::string::npos);
}

// ---------------------------------------------------------------------------------------
// The port held by another program at start-up. (Held by a second window of the same
// program: StartupTest RefusesToRunWhenThePortCannotBeOpened.)

TEST(PortHeld, AnotherProgramLockingTheDeviceKeepsTheSpoolerOut) {
    const QString flock = QStandardPaths::findExecutable(QStringLiteral("flock"));
    if (flock.isEmpty())
        GTEST_SKIP() << "no flock program to hold the device";
    Station st;
    st.WriteDefaults();
    QProcess holder;
    holder.start(flock,
                 {QStringLiteral("--no-fork"), QString::fromStdString(st.Printer().DevicePath()),
                  QStringLiteral("sleep"), QStringLiteral("30")});
    ASSERT_TRUE(holder.waitForStarted());
    const int probe = ::open(st.Printer().DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (::flock(probe, LOCK_EX | LOCK_NB) != 0)
                return true;
            ::flock(probe, LOCK_UN);
            return false;
        },
        5s));
    ::close(probe);

    auto w = st.Start();
    EXPECT_TRUE(w->Terminated());
    EXPECT_EQ(st.messages, QStringList{kNoPort});
    EXPECT_EQ(st.Printer().Received(), "");

    holder.kill();
    holder.waitForFinished();
    st.messages.clear();
    w = st.Start();
    EXPECT_FALSE(w->Terminated()) << Join(st.messages);
    EXPECT_TRUE(st.Printer().WaitFor(kInitEnd, 2s));
}

} // namespace
