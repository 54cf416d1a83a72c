// The spooler ended at each step of a job's cycle, as a kill or a power cut ends the program,
// and started again on the same station: each job is printed, logged and deleted once, and each
// printed card released, but for a card or a pulse that was out before the journal could say so.
// Its journal's writes failing are the cycle's errors, and never print or log a job twice either.
#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <thread>

#include "CappedTicks.h"
#include "CardWatchdog.h"
#include "Pause.h"
#include "PrinterBytes.h"
#include "SpoolerProbe.h"
#include "StationFolder.h"
#include "TestSpoolerView.h"
#include "WaitFor.h"
#include "WriteLog.h"

namespace {

using namespace std::chrono_literals;
using printer::kDrawerPulse;
using printer::kFormFeed;
using printer::kRelease;
using printer::kSmallFont;
using printer::Occurrences;
using Step = Spooler::Step;

// The program's end at a step: no error the cycle could report, so nothing after it runs.
struct Killed {};

// A one-line job's card as the printer prints it: its lines and the form feed that prints and
// ejects it. Its release may come in the life after.
std::string PrintedCard(const std::string& text) {
    return kSmallFont + text + "\r\n" + kFormFeed;
}

// Whether the last card printed on the line was released afterwards.
bool LastCardReleased(const std::string& line) {
    const std::size_t fed = line.rfind(kFormFeed);
    return fed != std::string::npos && line.find(kRelease, fed) != std::string::npos;
}

// A station whose spooler is started as the program starts it, ended at a chosen step, and
// started again on the same folder, database and printer. The printer keeps every byte of
// every life.
class Lives : public ::testing::Test {
protected:
    void SetUp() override { st.WriteDefaults(); }
    void TearDown() override { End(); }
    void Start() {
        End();
        Spooler::Setup setup = st.Setup();
        setup.ticks = &ticks;
        setup.log = [this](const QString& line) { log << line; };
        setup.journalWrite = [this](const std::string& path, const std::string& bytes,
                                    platform::DurableMode mode) {
            return write ? write(path, bytes, mode) : platform::WriteFileDurably(path, bytes, mode);
        };
        setup.onStep = [this](Step step) {
            if (killAt && step == *killAt && ++seen == killAtNth) {
                killAt.reset();
                ++killedAt[step];
                throw Killed{};
            }
        };
        seen = 0;
        lifeBegan = st.Printer().Received().size();
        spooler = std::make_unique<Spooler>(view, setup);
        writes = std::make_unique<WriteLog>(SpoolerProbe(*spooler).Port());
        ASSERT_EQ(spooler->Prepare(), Spooler::Refusal::None);
        // The program's first cycle comes a second after its start, when the printer's answer
        // to the start-up status request is long in, and the first card drops it with anything
        // the line held from before. Here the cycles follow at once: the line is emptied first,
        // and the answer awaited.
        TComPort& port = SpoolerProbe(*spooler).Port();
        std::string stale;
        while (port.InputQueued() > 0)
            port.ReadText(stale, port.InputQueued());
        spooler->Start();
        spooler->StopPolling();
        Flushed();
        ASSERT_TRUE(WaitFor([&] { return port.InputQueued() > 0; }, 10s));
    }
    // One cycle; false when the program was killed in it.
    bool Cycle() {
        const CardWatchdog watchdog(*spooler, 20s);
        try {
            view.RunHandler([&] { SpoolerProbe(*spooler).Cycle(); });
            return true;
        } catch (const Killed&) {
            End();
            return false;
        }
    }
    // Ends the running spooler, its writes all with the printer, as a killed program's are.
    void End() {
        if (!spooler)
            return;
        Flushed();
        writes.reset();
        spooler.reset();
    }
    // Waits until the printer has read everything the running spooler wrote.
    void Flushed() {
        if (writes) {
            ASSERT_TRUE(WaitFor(
                [&] {
                    return st.Printer().Received().size() >= lifeBegan + writes->Bytes().size();
                },
                10s));
        }
    }
    std::size_t Queued() { return st.Rows(QStringLiteral("SELECT id FROM printer")).size(); }
    std::size_t Logged(int id) {
        return st.Rows(QStringLiteral("SELECT id FROM historico WHERE id = %1").arg(id)).size();
    }
    // Every byte the printer received in every life.
    std::string Line() {
        Flushed();
        return st.Printer().Received();
    }
    std::string Log() const { return log.join(QLatin1Char('\n')).toStdString(); }
    // One job of station 7 that opens the drawer, or else prints a card with `memo`; its id.
    int AddJob(bool drawer, const char* memo) {
        return drawer ? st.AddJob(7, 1, 5, 0, QString(), QString())
                      : st.AddJob(7, 0, 5, 0, QString(), QString::fromUtf8(memo));
    }
    // What the printer receives for that job.
    static std::string JobOutput(bool drawer, const char* memo) {
        return drawer ? kDrawerPulse : PrintedCard(memo);
    }
    // After the restart: no error, no notice, nothing left queued.
    void ExpectQuietAndDone() {
        EXPECT_TRUE(view.errors.isEmpty()) << view.errors.join('|').toStdString();
        EXPECT_TRUE(view.notices.isEmpty()) << view.notices.join('|').toStdString();
        EXPECT_EQ(Queued(), 0u);
    }

    StationFolder st;
    TestSpoolerView view;
    // The 200 ms pauses after the card's lines cost a quarter of their time, while the printer
    // still has a status request's full 50 ms to answer it: a later answer can be read in the
    // same round as the next one, and the wait for removal heeds only the last.
    CappedTicks ticks{50};
    QStringList log;
    journal::Writer write; // the journal's writes; the platform's when empty
    std::optional<Step> killAt;
    int killAtNth = 1;
    int seen = 0;
    std::map<Step, int> killedAt;
    std::unique_ptr<Spooler> spooler;
    std::unique_ptr<WriteLog> writes; // the running spooler's, gone before it
    std::size_t lifeBegan = 0;        // what the printer had received when it started
};

struct KillCase {
    const char* name;
    bool drawer;
    Step step;
    std::size_t out;  // whole cards or pulses after the next start
    const char* note; // what the next start says it did for the job; "" for nothing
};

void PrintTo(const KillCase& c, std::ostream* os) {
    *os << c.name;
}

class KillAtEveryStep : public Lives, public ::testing::WithParamInterface<KillCase> {};

TEST_P(KillAtEveryStep, TheNextStartFinishesTheJob) {
    const KillCase& c = GetParam();
    const int id = AddJob(c.drawer, "um\r\ndois");
    killAt = c.step;
    Start();
    ASSERT_FALSE(Cycle());
    Start();
    ASSERT_TRUE(Cycle());
    ASSERT_TRUE(Cycle()) << "an idle cycle";
    ExpectQuietAndDone();
    EXPECT_EQ(Occurrences(Line(), JobOutput(c.drawer, "um\r\ndois")), c.out);
    EXPECT_TRUE(c.drawer || LastCardReleased(Line()));
    EXPECT_EQ(Logged(id), c.drawer ? 0u : 1u);
    if (*c.note == '\0')
        EXPECT_TRUE(log.isEmpty()) << Log();
    else
        EXPECT_NE(Log().find(c.note), std::string::npos) << Log();
}

const char kNotLoggedAgain[] = "printed without a second history row";
const char kNotPrintedAgain[] = "deleted without printing it again";
const char kGone[] = "is no longer queued";
const char kReleasedNow[] = "it is released now and the job deleted without printing it again";

INSTANTIATE_TEST_SUITE_P(
    Steps, KillAtEveryStep,
    ::testing::Values(KillCase{"JobTaken", false, Step::JobTaken, 1, ""},
                      KillCase{"JobJournalled", false, Step::JobJournalled, 1, ""},
                      KillCase{"Logged", false, Step::Logged, 1, kNotLoggedAgain},
                      KillCase{"LinePrinted", false, Step::LinePrinted, 1, kNotLoggedAgain},
                      KillCase{"CardFed", false, Step::CardFed, 2, kNotLoggedAgain},
                      KillCase{"CardFedJournalled", false, Step::CardFedJournalled, 1,
                               kReleasedNow},
                      KillCase{"CardReleased", false, Step::CardReleased, 1, kReleasedNow},
                      KillCase{"CardJournalled", false, Step::CardJournalled, 1, kNotPrintedAgain},
                      KillCase{"CardRemoved", false, Step::CardRemoved, 1, kNotPrintedAgain},
                      KillCase{"Deleted", false, Step::Deleted, 1, kGone},
                      KillCase{"Finished", false, Step::Finished, 1, ""},
                      KillCase{"DrawerJobTaken", true, Step::JobTaken, 1, ""},
                      KillCase{"DrawerJobJournalled", true, Step::JobJournalled, 1, ""},
                      KillCase{"DrawerPulsed", true, Step::DrawerPulsed, 2, ""},
                      KillCase{"DrawerJournalled", true, Step::DrawerJournalled, 1,
                               "deleted without opening it again"},
                      KillCase{"DrawerDeleted", true, Step::Deleted, 1, kGone},
                      KillCase{"DrawerFinished", true, Step::Finished, 1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Lives ended at random steps over a queue of cards and drawer jobs: each card is logged once,
// printed once and released, and printed once more for each kill after it was out but before
// the journal said so; the drawer likewise.
class SeededKills : public Lives, public ::testing::WithParamInterface<unsigned> {};

TEST_P(SeededKills, EachJobOnceButWhatWasOutBeforeItsRecord) {
    std::mt19937 random(GetParam());
    std::map<int, std::string> cards; // id: its whole card
    std::size_t drawers = 0;
    for (int i = 1; i <= 7; ++i) {
        if (i % 3 == 0) {
            st.AddJob(7, 1, i, 0, QString(), QString());
            ++drawers;
        } else {
            const QString text = QStringLiteral("job %1").arg(i);
            cards[st.AddJob(7, 0, i, 0, QString(), text)] = PrintedCard(text.toStdString());
        }
    }
    const Step steps[] = {Step::JobTaken,     Step::JobJournalled,    Step::Logged,
                          Step::LinePrinted,  Step::CardFed,          Step::CardFedJournalled,
                          Step::CardReleased, Step::CardJournalled,   Step::CardRemoved,
                          Step::DrawerPulsed, Step::DrawerJournalled, Step::Deleted,
                          Step::Finished};
    int lives = 0;
    while (Queued() > 0) {
        ASSERT_LT(++lives, 80) << "the queue does not empty";
        // Most lives end at a step, at its first, second or third time; some run to the end.
        killAt.reset();
        if (random() % 4 != 0) {
            killAt = steps[random() % std::size(steps)];
            killAtNth = 1 + static_cast<int>(random() % 3);
        }
        Start();
        while (Cycle() && Queued() > 0) {
        }
    }
    EXPECT_TRUE(view.errors.isEmpty()) << view.errors.join('|').toStdString();
    EXPECT_TRUE(view.notices.isEmpty()) << view.notices.join('|').toStdString();
    const std::string line = Line();
    std::size_t again = 0;
    for (const auto& [id, card] : cards) {
        EXPECT_EQ(Logged(id), 1u) << "job " << id;
        const std::size_t printed = Occurrences(line, card);
        EXPECT_GE(printed, 1u) << "job " << id;
        again += printed - 1;
        // Released before the next card began.
        const std::size_t fed = line.rfind(card) + card.size();
        const std::size_t next = line.find(kSmallFont, fed);
        EXPECT_LT(line.find(kRelease, fed), next) << "job " << id;
    }
    EXPECT_EQ(again, static_cast<std::size_t>(killedAt[Step::CardFed]));
    EXPECT_EQ(Occurrences(line, kDrawerPulse), drawers + killedAt[Step::DrawerPulsed]);
}

INSTANTIATE_TEST_SUITE_P(Seeds, SeededKills, ::testing::Range(1u, 6u));

// A job printed in the life before, still queued, comes before the rows the database returns
// first: done after another job, its record would be gone and it would be printed again.
TEST_F(Lives, TheJobInHandComesFirst) {
    dbtest::QueueJob(st.Db(),
                     {.posto = 7, .gaveta = 0, .dados = QStringLiteral("in hand"), .id = 5});
    killAt = Step::CardJournalled;
    Start();
    ASSERT_FALSE(Cycle());
    dbtest::QueueJob(st.Db(), {.posto = 7, .gaveta = 0, .dados = QStringLiteral("later"), .id = 2});
    ASSERT_EQ(st.Rows(QStringLiteral("SELECT id FROM printer WHERE posto = 7"))[0][0], "2")
        << "the database returns the later job first";

    Start();
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(st.Rows(QStringLiteral("SELECT id FROM printer")), std::vector<QStringList>{{"2"}});
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(Queued(), 0u);
    EXPECT_EQ(Occurrences(Line(), PrintedCard("in hand")), 1u);
    EXPECT_EQ(Occurrences(Line(), PrintedCard("later")), 1u);
    EXPECT_EQ(Logged(5), 1u);
    EXPECT_EQ(Logged(2), 1u);
}

// A job given the id of the job in hand is another job, printed and logged as one; so is one
// with the same id and the same columns once the journal says the first is done.
TEST_F(Lives, AnotherJobWithTheSameIdIsNotTakenForIt) {
    const int id = st.AddJob(7, 0, 1, 0, QString(), QStringLiteral("first"));
    killAt = Step::CardJournalled;
    Start();
    ASSERT_FALSE(Cycle());
    const auto queueSecond = [&] {
        dbtest::QueueJob(st.Db(), {.posto = 7,
                                   .gaveta = 0,
                                   .cartao = 1,
                                   .titulo = 0,
                                   .dados = QStringLiteral("second"),
                                   .id = id});
    };
    // Another program deletes the job and queues a new one under its id.
    st.Sql(QStringLiteral("DELETE FROM printer"));
    queueSecond();
    Start();
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(Occurrences(Line(), PrintedCard("second")), 1u);
    queueSecond();
    ASSERT_TRUE(Cycle());
    EXPECT_TRUE(view.errors.isEmpty()) << view.errors.join('|').toStdString();
    EXPECT_EQ(Queued(), 0u);
    EXPECT_EQ(Occurrences(Line(), PrintedCard("first")), 1u);
    EXPECT_EQ(Occurrences(Line(), PrintedCard("second")), 2u);
    EXPECT_EQ(Logged(id), 3u);
}

// Each of a job's journal writes failing in each way a disk fails: nothing written, half
// written, or written but not flushed. The cycle fails as with a failed statement and polling
// stops; a card or pulse already out is not left for a second, so the job is deleted first.
// The next start, on a disk that works, finishes the job once.
enum class Fault { Unwritten, HalfWritten, Unflushed };

struct WriteFault {
    bool drawer;
    // 1: the job's start; for a card 2: printed, 3: released, 4: its end; for a drawer job 2:
    // the pulse, 3: its end.
    int write;
    Fault fault;
};

std::string NameOf(const WriteFault& f) {
    static const char* const cardWrites[] = {"Start", "Fed", "Released", "End"};
    static const char* const drawerWrites[] = {"Start", "Pulsed", "End"};
    static const char* const faults[] = {"Unwritten", "HalfWritten", "Unflushed"};
    return std::string(f.drawer ? "Drawer" : "Card") +
           (f.drawer ? drawerWrites : cardWrites)[f.write - 1] + faults[static_cast<int>(f.fault)];
}

void PrintTo(const WriteFault& f, std::ostream* os) {
    *os << NameOf(f);
}

class JournalWriteFaults : public Lives, public ::testing::WithParamInterface<WriteFault> {};

TEST_P(JournalWriteFaults, TheCycleFailsAndTheJobIsDoneOnce) {
    const WriteFault& f = GetParam();
    const int id = AddJob(f.drawer, "once");
    const std::string out = JobOutput(f.drawer, "once");
    int writes = 0;
    write = [&](const std::string& path, const std::string& bytes, platform::DurableMode mode) {
        if (++writes != f.write)
            return platform::WriteFileDurably(path, bytes, mode);
        switch (f.fault) {
        case Fault::Unwritten:
            break;
        case Fault::HalfWritten:
            platform::WriteFileDurably(path, bytes.substr(0, bytes.size() / 2), mode);
            break;
        case Fault::Unflushed:
            platform::WriteFileDurably(path, bytes, mode);
            return "fdatasync " + path + ": Input/output error";
        }
        return "write " + path + ": No space left on device";
    };
    Start();
    ASSERT_TRUE(Cycle());
    ASSERT_EQ(view.errors.size(), 1);
    EXPECT_TRUE(
        view.errors[0].startsWith(QStringLiteral("The station journal cannot be written: ")))
        << view.errors[0].toStdString();
    EXPECT_FALSE(spooler->Polling());
    const bool wasOut = f.write > 1;
    EXPECT_EQ(Occurrences(Line(), out), wasOut ? 1u : 0u);
    EXPECT_EQ(Queued(), wasOut ? 0u : 1u);
    EXPECT_EQ(Logged(id), !f.drawer && wasOut ? 1u : 0u);

    write = nullptr;
    view.errors.clear();
    Start();
    ASSERT_TRUE(Cycle());
    ASSERT_TRUE(Cycle());
    ExpectQuietAndDone();
    EXPECT_EQ(Occurrences(Line(), out), 1u);
    EXPECT_EQ(Logged(id), f.drawer ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, JournalWriteFaults, ::testing::ValuesIn([] {
        std::vector<WriteFault> cases;
        for (const bool drawer : {false, true})
            for (int w = 1; w <= (drawer ? 3 : 4); ++w)
                for (const Fault fault : {Fault::Unwritten, Fault::HalfWritten, Fault::Unflushed})
                    cases.push_back({drawer, w, fault});
        return cases;
    }()),
    [](const auto& info) { return NameOf(info.param); });

} // namespace
