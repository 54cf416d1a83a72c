#include <QCoreApplication>
#include <QProcess>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <atomic>
#include <gtest/gtest.h>
#include <qpa/qwindowsysteminterface.h>
#include <thread>

#include "CloseOnSignal.h"
#include "MainWindow.h"
#include "Station.h"
#include "SystemStop.h"
#include "WaitFor.h"
#include "platform/ProfileFile.h"
#include "skin/TsuiButton.h"

namespace {

using namespace std::chrono_literals;
using Async = QWindowSystemInterface::AsynchronousDelivery;

const int kNever = 1000000;
const std::string kCardAwaited = printer::kStatusRequest + printer::kStatusRequest;

// Queues a left click on `widget` as the window system delivers one: the program sees it when
// it next reads its events. Safe from any thread once the positions are known.
struct QueuedClick {
    explicit QueuedClick(QWidget* widget)
        : window(widget->window()->windowHandle()),
          local(widget->mapTo(widget->window(), widget->rect().center())),
          global(widget->mapToGlobal(widget->rect().center())) {}

    void operator()() const {
        QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::LeftButton,
                                                        Qt::LeftButton, QEvent::MouseButtonPress);
        QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::NoButton,
                                                        Qt::LeftButton, QEvent::MouseButtonRelease);
    }

    QWindow* window;
    QPointF local;
    QPointF global;
};

int CardsPrinted(const TestPrinter& printer) {
    return static_cast<int>(printer::Occurrences(printer.Received(), printer::kCardEnd));
}

bool PositionSaved(const Station& st) {
    return !platform::ReadProfileString(st.PlinovaIni(), "vandrel", "Top", "", 10).empty();
}

// A running window, shown off screen, with the signals taken as its close command as the
// program takes them, and polling stopped so that each test runs its cycle by hand.
class Running : public ::testing::Test {
protected:
    void SetUp() override {
        st.WriteDefaults();
        w = st.StartStopped();
        ASSERT_FALSE(w->Terminated()) << st.messages.join("|").toStdString();
        closer = std::make_unique<CloseOnSignal>(w.get());
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        ASSERT_TRUE(st.PrinterInitialised());
    }
    void TearDown() override {
        closer.reset();
        w.reset();
    }

    bool Closed() const { return !SpoolerProbe(w->Core()).Port().Connected(); }
    std::size_t Queued() { return st.Rows(QStringLiteral("SELECT id FROM printer")).size(); }
    std::size_t Logged() { return st.Rows(QStringLiteral("SELECT id FROM historico")).size(); }

    Station st;
    std::unique_ptr<Tmain> w;
    std::unique_ptr<CloseOnSignal> closer;
};

enum class Phase { AwaitingCard, Lines, AwaitingRemoval, ReprintAwaitingCard };
enum class Request { SystemTerminate, SystemInterrupt, WindowClose };

class StopDuringACard : public Running,
                        public ::testing::WithParamInterface<std::tuple<Phase, Request>> {};

// A stop requested while a card is printed ends the program as its close command does, as
// soon as no card is left half done: a card not yet inserted is not waited for (the job stays
// queued, with no history row), a card being printed is finished, and one printed is not
// waited for to be taken out (the job is done and deleted).
TEST_P(StopDuringACard, ClosesWithoutLosingOrRepeatingTheJob) {
    // Plain variables rather than a structured binding: the thread below captures them.
    const Phase phase = std::get<0>(GetParam());
    const Request request = std::get<1>(GetParam());
    if (request != Request::WindowClose && !SystemStopReachesThisProcess())
        GTEST_SKIP() << "the system's stop requests need a native window (StopTheProgram "
                        "sends them to the program)";
    TestPrinter& printer = st.Printer();
    const bool cardExpected = phase == Phase::Lines || phase == Phase::AwaitingRemoval;
    printer.SetInsertAfter(cardExpected ? 1 : kNever);
    printer.SetRemoveAfter(kNever);
    st.AddJob(7, 0, 42, 0, QString(), QStringLiteral("Linha 1\r\nLinha 2\r\nLinha 3"));

    std::string cue = kCardAwaited;
    if (phase == Phase::Lines)
        cue = "Linha 1";
    if (phase == Phase::AwaitingRemoval)
        cue = printer::kCardEnd + printer::kStatusRequest;
    QWindow* window = w->windowHandle();
    std::atomic<bool> ended{false};
    std::atomic<bool> unanswered{false};
    std::thread requester([&] {
        if (!printer.WaitFor(cue, 20s))
            return;
        switch (request) {
        case Request::SystemTerminate:
            SendSystemStop(SystemStop::Terminate, ThisProcessId());
            break;
        case Request::SystemInterrupt:
            SendSystemStop(SystemStop::Interrupt, ThisProcessId());
            break;
        case Request::WindowClose:
            QWindowSystemInterface::handleCloseEvent<Async>(window);
            break;
        }
        // A spooler that does not notice would wait for ever: the card is let through, so
        // that the test fails instead of hanging.
        if (!WaitFor([&] { return ended.load(); }, 20s)) {
            unanswered = true;
            printer.SetInsertAfter(1);
            printer.SetRemoveAfter(1);
        }
    });
    if (phase == Phase::ReprintAwaitingCard) {
        SpoolerProbe(w->Core()).StartPolling();
        Handler(*w, [&] { w->btprintClick(); });
    } else {
        Cycle(w->Core());
    }
    ended = true;
    requester.join();

    EXPECT_FALSE(unanswered) << "the stop was not noticed";
    ASSERT_TRUE(WaitUntil([&] { return Closed(); }, 10s)) << "the program did not close";
    EXPECT_TRUE(PositionSaved(st));
    EXPECT_FALSE(w->Core().Polling());
    EXPECT_TRUE(st.messages.isEmpty()) << st.messages.join("|").toStdString();
    if (cardExpected) {
        EXPECT_NE(printer.CardBytes().find("Linha 3\r\n"), std::string::npos)
            << "the card is finished";
        EXPECT_EQ(Queued(), 0u);
        EXPECT_EQ(Logged(), 1u);
    } else {
        EXPECT_EQ(printer.CardBytes(), "<no card>");
        EXPECT_EQ(Queued(), 1u);
        EXPECT_EQ(Logged(), 0u) << "no history row for a card not printed";
    }
}

std::string PhaseName(const ::testing::TestParamInfo<std::tuple<Phase, Request>>& info) {
    static const char* const phases[] = {"AwaitingCard", "Lines", "AwaitingRemoval",
                                         "ReprintAwaitingCard"};
    const Request request = std::get<1>(info.param);
    const std::string requested = request == Request::SystemTerminate ? Name(SystemStop::Terminate)
                                  : request == Request::SystemInterrupt
                                      ? Name(SystemStop::Interrupt)
                                      : "WindowClose";
    return std::string(phases[static_cast<int>(std::get<0>(info.param))]) + "_" + requested;
}

INSTANTIATE_TEST_SUITE_P(
    Phases, StopDuringACard,
    ::testing::Values(std::tuple(Phase::AwaitingCard, Request::SystemTerminate),
                      std::tuple(Phase::AwaitingCard, Request::SystemInterrupt),
                      std::tuple(Phase::AwaitingCard, Request::WindowClose),
                      std::tuple(Phase::Lines, Request::SystemTerminate),
                      std::tuple(Phase::AwaitingRemoval, Request::WindowClose),
                      std::tuple(Phase::ReprintAwaitingCard, Request::WindowClose)),
    PhaseName);

// A close that the window reads while it catches up before a card waits for the cycle to end:
// closing the port in the middle of it used to fail the card and print the job twice.
TEST_F(Running, CloseBeforeTheCardWaitsForTheCycle) {
    st.AddJob(7, 0, 42, 0, QString(), QStringLiteral("Linha 1"));
    QWindowSystemInterface::handleCloseEvent<Async>(w->windowHandle());
    Cycle(w->Core());
    EXPECT_FALSE(Closed()) << "closed in the middle of the cycle";
    ASSERT_TRUE(WaitUntil([&] { return Closed(); }, 10s));
    EXPECT_TRUE(st.messages.isEmpty()) << st.messages.join("|").toStdString();
    EXPECT_EQ(st.Printer().CardBytes(), "<no card>");
    EXPECT_EQ(Queued(), 1u);
    EXPECT_EQ(Logged(), 0u);
}

// The user's input during a card print is dropped: clicks on Imprimir while a job's card is
// awaited print nothing more. What came before the card is still handled as the window
// catches up (here a page switch).
TEST_F(Running, ClicksDuringAJobsCardAreDropped) {
    const MainControls& ui = w->Ui();
    QTest::mouseClick(ui.btopen, Qt::LeftButton);
    const QueuedClick toHistory(ui.btmod);
    const QueuedClick print(ui.btprint);
    TestPrinter& printer = st.Printer();
    printer.SetInsertAfter(kNever);
    st.AddJob(7, 0, 42, 0, QString(), QStringLiteral("Linha 1"));

    toHistory();
    std::thread clicker([&] {
        if (!printer.WaitFor(kCardAwaited, 20s))
            return;
        print();
        print();
        printer.SetInsertAfter(1);
    });
    Cycle(w->Core());
    clicker.join();
    EXPECT_EQ(ui.pcontrol->currentIndex(), 1);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(CardsPrinted(printer), 1);
    EXPECT_TRUE(st.messages.isEmpty()) << st.messages.join("|").toStdString();
}

TEST_F(Running, DoubleClickOnImprimirReprintsOnce) {
    const MainControls& ui = w->Ui();
    QTest::mouseClick(ui.btopen, Qt::LeftButton);
    QTest::mouseClick(ui.btmod, Qt::LeftButton);
    const QueuedClick print(ui.btprint);
    SpoolerProbe(w->Core()).StartPolling();
    print();
    print();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(CardsPrinted(st.Printer()), 1);
    EXPECT_TRUE(w->Core().Polling());
}

// The program itself, stopped by its service manager while it waits for a card: it ends at
// once with the job still queued, and prints that job once at its next start.
TEST(StopTheProgram, TermWhileWaitingForACardLeavesTheJobForTheNextStart) {
    Station st;
    st.WriteDefaults();
    TestPrinter& printer = st.Printer();
    printer.SetInsertAfter(kNever);
    st.AddJob(7, 0, 42, 0, QString(), QStringLiteral("Linha 1"));

    QProcess program;
    program.setProcessEnvironment(StoppableProgramEnvironment());
    program.setWorkingDirectory(QString::fromStdString(st.Folder().string()));
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(PLINOVA_PROGRAM), {});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(printer.WaitFor(kCardAwaited, 30s));
    const auto asked = std::chrono::steady_clock::now();
    SendSystemStop(SystemStop::Terminate, program.processId());
    const bool ended = program.waitForFinished(20000);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - asked);
    if (!ended)
        program.kill();
    ASSERT_TRUE(ended) << "still waiting for a card";
    RecordProperty("stop_ms", static_cast<int>(took.count()));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(PositionSaved(st));
    EXPECT_EQ(st.Rows(QStringLiteral("SELECT id FROM printer")).size(), 1u);
    EXPECT_EQ(st.Rows(QStringLiteral("SELECT id FROM historico")).size(), 0u);

    printer.Clear();
    printer.SetInsertAfter(1);
    printer.SetRemoveAfter(1);
    program.start(QStringLiteral(PLINOVA_PROGRAM), {});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(printer.WaitFor(printer::kCardEnd + printer::kStatusRequest, 30s));
    // Asked while the cycle may still be waiting for the card to be taken out: the cycle
    // finishes first.
    SendSystemStop(SystemStop::Terminate, program.processId());
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(CardsPrinted(printer), 1);
    EXPECT_EQ(st.Rows(QStringLiteral("SELECT id FROM printer")).size(), 0u);
    EXPECT_EQ(st.Rows(QStringLiteral("SELECT id FROM historico")).size(), 1u);
}

} // namespace
