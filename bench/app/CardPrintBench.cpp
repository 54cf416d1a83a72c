// Pacing of the card print: for jobs of 1, 10 and 40 lines, the time from the status request
// that found the card to the release command, against the pauses the dialogue mandates (and
// the time those bytes take on a 9600-baud line); and the time from a job's insert to the
// first status request of its card. The spooler's CPU while a card prints is the main
// thread's, where the whole cycle runs; the test printer answers from threads of its own.
//
// Usage: bench_cardprint [repetitions]
#include <QApplication>
#include <QLabel>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "MainWindow.h"
#include "Station.h"

namespace {

using namespace std::chrono;

using printer::kRelease;
using printer::kStatusRequest;

double Ms(TestPrinter::Clock::duration d) {
    return duration<double, std::milli>(d).count();
}

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void Pacing(int lines, int repetitions) {
    std::vector<double> ratios;
    std::vector<double> cpuShares;
    double measured = 0;
    double mandated = 0;
    double lineTime = 0;
    for (int r = 0; r < repetitions; ++r) {
        Station st;
        st.WriteDefaults(0);
        auto w = st.Start();
        w->Core().StopPolling();
        st.PrinterInitialised();
        QString text;
        for (int i = 0; i < lines; ++i)
            text += QStringLiteral("%1 Linha de teste numero %2\r\n").arg(i % 10).arg(i);
        st.AddJob(7, 0, 1, 0, QString(), text);
        const double wall0 = bench::Now();
        const double cpu0 = ThreadCpuMs();
        Cycle(w->Core());
        cpuShares.push_back(100.0 * (ThreadCpuMs() - cpu0) / (bench::Now() - wall0));
        const std::string got = st.Printer().Received();
        const std::size_t release = got.find(kRelease);
        const std::size_t found = got.rfind(kStatusRequest, release);
        measured = Ms(st.Printer().ArrivalOf(release) - st.Printer().ArrivalOf(found + 2));
        // 50 after the status request, 50 after the small-font command, 200 after each line,
        // 50 after the form feed.
        mandated = 150.0 + 200.0 * lines;
        // 10 bits a byte at 9600 baud, for the bytes between the request and the release.
        lineTime = (release - (found + kStatusRequest.size())) * 10.0 * 1000.0 / 9600.0;
        ratios.push_back(measured / mandated);
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(cpuShares.begin(), cpuShares.end());
    std::printf("| %d | %.1f | %.1f | %.1f | %.4f | %.4f | %.4f | %.1f %% | %.1f %% |\n", lines,
                mandated, lineTime, measured, ratios[ratios.size() / 2], ratios.back(),
                measured / (mandated + lineTime), cpuShares[cpuShares.size() / 2],
                cpuShares.back());
}

void InsertToRequest(int jobs) {
    Station st;
    st.WriteDefaults(0);
    auto w = st.Start();
    st.Printer().WaitFor(printer::kInitialisationEnd, seconds(10));
    std::vector<double> delays;
    for (int i = 0; i < jobs; ++i) {
        // Queue at a random moment of the cycle.
        const int wait = static_cast<int>(QRandomGenerator::global()->bounded(1000));
        WaitUntil([] { return false; }, milliseconds(wait));
        const int before = st.Printer().StatusRequests();
        const std::size_t offset = st.Printer().Received().size();
        const auto t0 = TestPrinter::Clock::now();
        st.AddJob(7, 0, i, 0, QString(), QStringLiteral("x"));
        // The card print runs inside the event loop: the request's own arrival time counts.
        WaitUntil([&] { return st.Printer().StatusRequests() > before; }, seconds(5));
        const std::size_t request = st.Printer().Received().find(kStatusRequest, offset);
        delays.push_back(Ms(st.Printer().ArrivalOf(request) - t0));
        // Let the card finish before the next job.
        WaitUntil(
            [&] {
                return st.Rows(QStringLiteral("SELECT id FROM printer")).empty() &&
                       w->Ui().status->text() == QStringLiteral("Pronto");
            },
            seconds(10));
    }
    std::sort(delays.begin(), delays.end());
    std::printf("\ninsert to first status request over %d jobs: median %.0f ms, max %.0f ms\n",
                jobs, delays[delays.size() / 2], delays.back());
}

} // namespace

int main(int argc, char** argv) {
    bench::Application app(argc, argv);
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 5;
    std::printf("| lines | mandated pauses ms | bytes at 9600 baud ms | measured ms (last run) | "
                "ratio to pauses, median | worst | ratio to pauses + line time | "
                "spooler CPU, median | worst |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (int lines : {1, 10, 40})
        Pacing(lines, repetitions);
    InsertToRequest(repetitions * 2);
    return 0;
}
