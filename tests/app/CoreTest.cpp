// The spooler's core without its window: a Spooler with a view that has no widgets.
#include <QApplication>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "CappedTicks.h"
#include "Pause.h"
#include "PrinterBytes.h"
#include "SpoolerProbe.h"
#include "StationFolder.h"
#include "TestSpoolerView.h"

namespace {

using printer::kCardEnd;
using printer::kLargeFont;
using printer::kSmallFont;
using printer::kStatusRequest;

// A station's spooler started on a view without widgets, polling stopped, the printer's
// initialisation sequence received.
class Core : public ::testing::Test {
protected:
    void SetUp() override {
        st.WriteDefaults();
        ASSERT_EQ(spooler.Prepare(), Spooler::Refusal::None);
        spooler.Start();
        spooler.StopPolling();
        ASSERT_TRUE(st.PrinterInitialised());
    }
    void Cycle() {
        view.RunHandler([&] { SpoolerProbe(spooler).Cycle(); });
    }
    std::size_t Count(const QString& table) {
        return st.Rows(QStringLiteral("SELECT id FROM ") + table).size();
    }

    StationFolder st;
    TestSpoolerView view;
    Spooler spooler{view, st.Setup()};
};

TEST_F(Core, AJobCycleAndItsCardNeedNoWidget) {
    const QString text = QStringLiteral("Prato do dia com a\u00e7\u00facar\r\nSegunda linha\r\n");
    st.AddJob(7, 0, 42, 1, QStringLiteral("MESA 4"), text);
    Cycle();
    ASSERT_TRUE(view.errors.isEmpty()) << view.errors.join("|").toStdString();
    EXPECT_EQ(st.Printer().CardBytes(), kLargeFont + "MESA 4\r\n" + kSmallFont +
                                            "Prato do dia com a\xe7\xfa"
                                            "car\r\nSegunda linha\r\n" +
                                            kCardEnd);
    EXPECT_EQ(Count(QStringLiteral("printer")), 0u);
    EXPECT_EQ(st.Rows(QStringLiteral("SELECT dados, cartao FROM historico")),
              (std::vector<QStringList>{{text, QStringLiteral("42")}}));
    EXPECT_EQ(view.memo, text) << "the window shows the text printed";
    EXPECT_EQ(view.statuses,
              (QStringList{QStringLiteral("Introduza cart\u00e3o"),
                           QStringLiteral("Em impress\u00e3o..."),
                           QStringLiteral("Remova cart\u00e3o"), QStringLiteral("Pronto")}));
    EXPECT_EQ(view.cardNumbers, (QStringList{QStringLiteral("42"), QString()}));
    EXPECT_EQ(view.inputDiscards, 1);
    EXPECT_EQ(view.closes, 0);
    EXPECT_TRUE(spooler.Polling());
    EXPECT_TRUE(QApplication::allWidgets().isEmpty());
}

// A stop while a card is awaited prints nothing and takes back the history row: the job stays
// queued for the next start. A stop while the printed card waits to be taken out ends that wait
// as if it had been, so the job is done. Either way the window is closed and polling stays
// stopped.
TEST_F(Core, AStopEndsEitherCardWait) {
    st.Printer().SetInsertAfter(1000000);
    st.AddJob(7, 0, 1, 0, QString(), QStringLiteral("never printed"));
    view.onStopLook = [&] {
        if (view.stopLooks == 3)
            spooler.RequestStop();
    };
    Cycle();
    ASSERT_TRUE(view.errors.isEmpty()) << view.errors.join("|").toStdString();
    EXPECT_EQ(st.Printer().Received(), kStatusRequest + kStatusRequest + kStatusRequest);
    EXPECT_EQ(Count(QStringLiteral("printer")), 1u);
    EXPECT_EQ(Count(QStringLiteral("historico")), 0u);
    EXPECT_EQ(view.closes, 1);
    EXPECT_FALSE(spooler.Polling());
}

TEST_F(Core, AStopWhileTheCardWaitsForRemovalFinishesTheJob) {
    st.Printer().SetRemoveAfter(1000000);
    st.AddJob(7, 0, 1, 0, QString(), QStringLiteral("printed once"));
    view.onStatus = [&](const QString& status) {
        if (status == QStringLiteral("Remova cart\u00e3o"))
            spooler.RequestStop();
    };
    Cycle();
    ASSERT_TRUE(view.errors.isEmpty()) << view.errors.join("|").toStdString();
    EXPECT_EQ(st.Printer().CardBytes(), kSmallFont + "printed once\r\n" + kCardEnd);
    EXPECT_EQ(Count(QStringLiteral("printer")), 0u);
    EXPECT_EQ(Count(QStringLiteral("historico")), 1u);
    EXPECT_EQ(view.closes, 1);
    EXPECT_FALSE(spooler.Polling());
}

// The card's pauses run on the clock the spooler was given, and the reason a port would not
// open goes to the log it was given.
TEST(CoreSetup, PausesAndRefusalsUseWhatTheSpoolerWasGiven) {
    StationFolder st;
    st.WriteDefaults();
    // Its sleeps are real, so that the printer has answered a status request when the spooler
    // looks.
    CappedTicks ticks;
    QStringList log;
    Spooler::Setup setup = st.Setup();
    setup.ticks = &ticks;
    setup.log = [&](const QString& line) { log << line; };
    TestSpoolerView view;
    {
        Spooler spooler(view, setup);
        ASSERT_EQ(spooler.Prepare(), Spooler::Refusal::None);
        spooler.Start();
        spooler.StopPolling();
        ASSERT_TRUE(st.PrinterInitialised());
        st.AddJob(7, 0, 1, 0, QString(), QStringLiteral("um\r\ndois"));
        view.RunHandler([&] { SpoolerProbe(spooler).Cycle(); });
        ASSERT_TRUE(view.errors.isEmpty()) << view.errors.join("|").toStdString();
        EXPECT_EQ(st.Printer().CardBytes(), kSmallFont + "um\r\ndois\r\n" + kCardEnd);
        // 50 ms after the status request that found the card and after the print mode, 200
        // after each line, 50 after the form feed.
        EXPECT_GE(ticks.Now(), 50u + 50u + 2 * 200u + 50u);
        EXPECT_TRUE(log.isEmpty());
    }

    st.WritePlinovaIni({{"Certificadora", "1"}, {"Dispositivo Certificadora", "/nonexistent/tty"}});
    Spooler refused(view, setup);
    EXPECT_EQ(refused.Prepare(), Spooler::Refusal::PortUnavailable);
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].startsWith(QStringLiteral("/nonexistent/tty: "))) << log[0].toStdString();
}

} // namespace
