#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include "MainWindow.h"
#include "Station.h"
#include "StationFixture.h"
#include "WriteLog.h"

namespace {

using namespace std::chrono_literals;

using printer::kDrawerPulse;

class JobCycle : public StationOnBackend {};

TEST_P(JobCycle, PrintJobIsLoggedPrintedAndDeleted) {
    const QString text =
        QStringLiteral("   \r\nPrato do dia com açúcar e € 5\r\nSegunda linha\r\n");
    const int id = st->AddJob(7, 0, 42, 1, QStringLiteral("MESA 4"), text);
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    Cycle(w->Core());
    ASSERT_TRUE(st->messages.isEmpty()) << st->messages.join("|").toStdString();

    const auto hist = st->Rows("SELECT id, titulo, dados, palavrachave, cartao, previsao, "
                               "datavalor, datahora FROM historico");
    ASSERT_EQ(hist.size(), 1u);
    EXPECT_EQ(hist[0][0].toInt(), id);
    EXPECT_EQ(hist[0][1], "1");
    EXPECT_EQ(hist[0][2], text);
    EXPECT_EQ(hist[0][3], "MESA 4");
    EXPECT_EQ(hist[0][4], "42");
    EXPECT_EQ(hist[0][5], QStringLiteral("Prato do dia com açúcar e € 5\r\nSegunda linha"));
    EXPECT_EQ(QDateTime::fromString(hist[0][6].left(19).replace(' ', 'T'), Qt::ISODate).date(),
              SpoolerProbe(w->Core()).DataValor());
    EXPECT_GE(QDateTime::fromString(hist[0][7].left(23).replace(' ', 'T'), Qt::ISODateWithMs),
              before.addSecs(-1));
    EXPECT_TRUE(st->Rows("SELECT id FROM printer").empty());

    const std::string got = st->Printer().Received();
    EXPECT_NE(got.find("\x1B\x21\x31MESA 4\r\n\x1B\x21\x01", 0), std::string::npos);
    EXPECT_NE(got.find("Prato do dia com a\xe7\xfa"
                       "car e \x80 5\r\n"),
              std::string::npos);
    EXPECT_NE(got.find("\x0C\x1B\x71"), std::string::npos);
    EXPECT_EQ(w->Ui().status->text(), QStringLiteral("Pronto"));
    EXPECT_EQ(w->Ui().numcartao->text(), QString());
    EXPECT_TRUE(w->Core().Polling());

    // A job deleted is not deleted again: a new job given the same id (here for another
    // station) outlives the idle cycle that follows.
    dbtest::QueueJob(st->Db(), {.posto = 8, .gaveta = 1, .id = id});
    Cycle(w->Core());
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);
}

TEST_P(JobCycle, DrawerJobOnlyPulsesTheDrawer) {
    st->AddJob(7, 1, 5, 1, QStringLiteral("K"), QStringLiteral("text that is not printed"));
    Cycle(w->Core());
    ASSERT_TRUE(st->messages.isEmpty()) << st->messages.join("|").toStdString();
    ASSERT_TRUE(st->Printer().WaitFor(kDrawerPulse, 10s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(st->Printer().Received(), kDrawerPulse);
    EXPECT_TRUE(st->Rows("SELECT id FROM historico").empty());
    EXPECT_TRUE(st->Rows("SELECT id FROM printer").empty());
}

TEST_P(JobCycle, OneJobPerCycleAndOtherStationsUntouched) {
    const int other = st->AddJob(8, 0, 1, 0, QString(), QStringLiteral("not ours"));
    st->AddJob(7, 0, 2, 0, QString(), QStringLiteral("first"));
    st->AddJob(7, 1, 3, 0, QString(), QString());
    Cycle(w->Core());
    EXPECT_EQ(st->Rows("SELECT id FROM printer WHERE posto = 7").size(), 1u);
    Cycle(w->Core());
    EXPECT_TRUE(st->Rows("SELECT id FROM printer WHERE posto = 7").empty());
    // A cycle without a job repeats the delete of the last id, which matches nothing.
    Cycle(w->Core());
    const auto left = st->Rows("SELECT id, dados FROM printer");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0][0].toInt(), other);
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u);
    EXPECT_TRUE(st->messages.isEmpty()) << st->messages.join("|").toStdString();
}

TEST_P(JobCycle, NullColumnsReadAsEmpty) {
    dbtest::QueueJob(st->Db(), {.posto = 7});
    Cycle(w->Core());
    ASSERT_TRUE(st->messages.isEmpty()) << st->messages.join("|").toStdString();
    const auto hist =
        st->Rows("SELECT titulo, dados, palavrachave, cartao, previsao FROM historico");
    ASSERT_EQ(hist.size(), 1u);
    EXPECT_EQ(hist[0], (QStringList{"0", "", "", "0", ""}));
    EXPECT_TRUE(st->Rows("SELECT id FROM printer").empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, JobCycle,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL,
                                           Backend::PostgreSQLOdbc),
                         [](const auto& info) { return dbtest::BackendName(info.param); });

// Databases that issue an id again once the queue is emptied: an idle cycle must not delete
// the new job that got the id of the last one printed.
class ReissuedIds : public JobCycle {};

TEST_P(ReissuedIds, ANewJobWithTheLastPrintedIdSurvivesIdleCyclesAndPrintsOnce) {
    const int printed = st->AddJob(7, 0, 1, 0, QString(), QStringLiteral("first"));
    Cycle(w->Core());
    ASSERT_TRUE(st->Rows("SELECT id FROM printer").empty());
    st->Sql("TRUNCATE printer RESTART IDENTITY");
    // Queued for another station, so this station's idle cycles only ever run their delete.
    const int reissued = st->AddJob(8, 0, 2, 0, QString(), QStringLiteral("second"));
    ASSERT_EQ(reissued, printed);
    Cycle(w->Core());
    Cycle(w->Core());
    EXPECT_EQ(st->Rows("SELECT dados FROM printer"), std::vector<QStringList>{{"second"}});

    st->Sql("UPDATE printer SET posto = 7");
    Cycle(w->Core());
    Cycle(w->Core());
    EXPECT_TRUE(st->Rows("SELECT id FROM printer").empty());
    EXPECT_EQ(st->Rows("SELECT dados FROM historico WHERE dados = 'second'").size(), 1u);
    const std::string got = st->Printer().Received();
    const std::size_t at = got.find("second\r\n");
    EXPECT_NE(at, std::string::npos);
    EXPECT_EQ(got.find("second\r\n", at + 1), std::string::npos) << "printed once";
    EXPECT_TRUE(st->messages.isEmpty()) << st->messages.join("|").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, ReissuedIds,
                         ::testing::Values(Backend::PostgreSQL, Backend::PostgreSQLOdbc),
                         [](const auto& info) { return dbtest::BackendName(info.param); });

// The failure table: whatever fails, no job is lost.
class JobCycleFailures : public JobCycle {};

TEST_P(JobCycleFailures, HistoryInsertFailsNothingPrintedJobStays) {
    st->Sql("DROP TABLE historico");
    st->AddJob(7, 0, 1, 0, QString(), QStringLiteral("kept"));
    Cycle(w->Core());
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_TRUE(st->messages[0].startsWith("Plinova: "));
    EXPECT_EQ(st->Rows("SELECT dados FROM printer").size(), 1u);
    EXPECT_EQ(st->Printer().Received().find(printer::kStatusRequest), std::string::npos)
        << "no card requested";
    EXPECT_FALSE(w->Core().Polling()) << "polling stops after an error";
}

TEST_P(JobCycleFailures, PrinterUnpluggedDuringTheCard) {
    st->Printer().SetInsertAfter(1000000); // never reports a card
    st->AddJob(7, 0, 1, 0, QString(), QStringLiteral("never printed"));
    std::thread unplug([&] {
        st->Printer().WaitFor(printer::kStatusRequest, 10s);
        std::this_thread::sleep_for(100ms);
        st->Printer().Unplug();
    });
    Cycle(w->Core());
    unplug.join();
    ASSERT_EQ(st->messages.size(), 1);
    EXPECT_TRUE(st->messages[0].startsWith("Plinova: ")) << st->messages[0].toStdString();
    EXPECT_EQ(st->Rows("SELECT id FROM historico").size(), 1u);
    EXPECT_EQ(st->Rows("SELECT id FROM printer").size(), 1u);
    EXPECT_FALSE(w->Core().Polling());
}

INSTANTIATE_TEST_SUITE_P(Backends, JobCycleFailures,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         [](const auto& info) { return dbtest::BackendName(info.param); });

// Timed on the spooler's side: from the end of the first pulse's write, after which the first
// cycle still deletes its job before it starts the timer again, to the start of the second's.
TEST(JobCycleTiming, NextCycleStartsASecondAfterTheLastEnded) {
    Station st;
    st.WriteDefaults();
    st.AddJob(7, 1, 1, 0, QString(), QString());
    st.AddJob(7, 1, 2, 0, QString(), QString());
    auto w = st.Start();
    WriteLog writes(SpoolerProbe(w->Core()).Port());
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string got = writes.Bytes();
            return got.find(kDrawerPulse) != got.rfind(kDrawerPulse);
        },
        10s));
    EXPECT_GE(writes.Gap(kDrawerPulse, kDrawerPulse), 1000);
}

} // namespace
