// The window in which a stop still prints a card twice: from the card's end reaching the printer
// to the journal's record of it. Cards are printed one per cycle by a spooler without a window on
// a pseudo-terminal printer, with the system's tick counter; for each, the printer's arrival of
// the form feed and of the release (its reads can only be late, which shortens what is measured
// from them) and the spooler's own moments: the release drained and the journal about to record
// it, and the record on the disk. Then the cost of the journal's append alone, durable and not,
// in the same folder: a kill loses nothing once the bytes are written, a power cut once they are
// flushed.
//
// Usage: bench_journal [cards] [appends]
#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "PrinterBytes.h"
#include "SpoolerProbe.h"
#include "StationFolder.h"
#include "TestSpoolerView.h"
#include "app/core/Journal.h"
#include "platform/DurableFile.h"
#include "serial/ModemWakeSignal.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Row(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[static_cast<std::size_t>(q * (ms.size() - 1))]; };
    std::printf("| %s | %zu | %.3f | %.3f | %.3f |\n", what, ms.size(), at(0.5), at(0.9),
                ms.back());
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    serial::ClaimModemWakeSignal(serial::DefaultModemWakeSignal());
    const int cards = argc > 1 ? std::atoi(argv[1]) : 50;
    const int appends = argc > 2 ? std::atoi(argv[2]) : 200;

    StationFolder st;
    st.WriteDefaults(0);
    TestSpoolerView view;
    std::vector<Clock::time_point> feeds, fedRecords, releases, records;
    Spooler::Setup setup = st.Setup();
    setup.onStep = [&](Spooler::Step step) {
        if (step == Spooler::Step::CardFed)
            feeds.push_back(Clock::now());
        else if (step == Spooler::Step::CardFedJournalled)
            fedRecords.push_back(Clock::now());
        else if (step == Spooler::Step::CardReleased)
            releases.push_back(Clock::now());
        else if (step == Spooler::Step::CardJournalled)
            records.push_back(Clock::now());
    };
    Spooler spooler(view, setup);
    if (spooler.Prepare() != Spooler::Refusal::None) {
        std::fprintf(stderr, "bench_journal: the station did not start\n");
        return 1;
    }
    spooler.Start();
    spooler.StopPolling();
    st.PrinterInitialised();

    std::vector<double> formFeedToDrained, formFeedToRecorded, releaseToRecorded;
    for (int i = 0; i < cards; ++i) {
        const std::size_t before = st.Printer().Received().size();
        st.AddJob(7, 0, i, 0, QString(), QStringLiteral("1 Bifana"));
        view.RunHandler([&] { SpoolerProbe(spooler).Cycle(); });
        const auto n = static_cast<std::size_t>(i + 1);
        if (!view.errors.isEmpty() || feeds.size() != n || fedRecords.size() != n ||
            releases.size() != n || records.size() != n) {
            std::fprintf(stderr, "bench_journal: card %d failed\n", i);
            return 1;
        }
        const std::string got = st.Printer().Received();
        const std::size_t fed = got.find(printer::kFormFeed, before);
        const Clock::time_point formFeed = st.Printer().ArrivalOf(fed);
        const Clock::time_point release = st.Printer().ArrivalOf(got.find(printer::kRelease, fed));
        formFeedToDrained.push_back(Ms(feeds.back() - formFeed));
        formFeedToRecorded.push_back(Ms(fedRecords.back() - formFeed));
        releaseToRecorded.push_back(Ms(records.back() - release));
    }

    const std::string path = (st.Folder() / "append.jnl").string();
    const std::string record(journal::Line(journal::Record::CardComplete).toStdString());
    std::vector<double> durable, written;
    for (int i = 0; i < appends; ++i) {
        if (i % 3 == 0)
            platform::WriteFileDurably(path, "", platform::DurableMode::Replace);
        Clock::time_point t = Clock::now();
        if (!platform::WriteFileDurably(path, record, platform::DurableMode::Append).empty()) {
            std::fprintf(stderr, "bench_journal: the append failed\n");
            return 1;
        }
        durable.push_back(Ms(Clock::now() - t));
        t = Clock::now();
        std::ofstream(path, std::ios::binary | std::ios::app) << record;
        written.push_back(Ms(Clock::now() - t));
    }

    std::printf("| From, to | Samples | Median ms | p90 ms | Max ms |\n|---|---|---|---|---|\n");
    Row("form feed at the printer, form feed drained (journal about to write)", formFeedToDrained);
    Row("form feed at the printer, card fed on the disk", formFeedToRecorded);
    Row("release at the printer, card complete on the disk", releaseToRecorded);
    Row("journal append, written and flushed", durable);
    Row("journal append, written only", written);
    return 0;
}
