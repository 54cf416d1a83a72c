// Cost of the spooler's job cycle on each database: an idle cycle (select, delete of the last
// id), a drawer job cycle, and the statements of a print job without the card print; plus
// start-up time to the enabled timer and resident memory.
//
// Usage: bench_cycle [iterations]   (PostgreSQL rows need PLINOVA_TEST_PG_*)
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "CappedTicks.h"
#include "MainWindow.h"
#include "Pause.h"
#include "Station.h"

namespace {

struct Stats {
    double medianMs, p99Ms, cpuMs;
    double opensPerCycle;
};

template <typename F> Stats Measure(SpoolerProbe core, int n, F&& cycle) {
    std::vector<double> t;
    const int opens0 = core.Connection().OpenCount();
    const double cpu0 = bench::CpuNow();
    for (int i = 0; i < n; ++i) {
        const double a = bench::Now();
        cycle(i);
        t.push_back(bench::Now() - a);
    }
    const double cpu = (bench::CpuNow() - cpu0) / n;
    std::sort(t.begin(), t.end());
    return {t[t.size() / 2], t[std::min(t.size() - 1, t.size() * 99 / 100)], cpu,
            double(core.Connection().OpenCount() - opens0) / n};
}

void Report(const char* backend, const char* what, const Stats& s, int statements) {
    std::printf("| %s | %s | %d | %.2f | %.2f | %.2f | %.2f |\n", backend, what, statements,
                s.opensPerCycle, s.medianMs, s.p99Ms, s.cpuMs);
}

void Run(Backend backend, int n) {
    // The card's pauses cut to a millisecond: the printer still has time to answer each status
    // request before the spooler looks (a clock that never slept would flood it with requests).
    CappedTicks ticks{1};
    bench::StartedStation started = bench::StartStation(backend, "", &ticks);
    if (!started)
        return;
    Station& st = *started.st;
    const double startup = started.startupMs;
    SpoolerProbe core(started.w->Core());
    const std::string backendName = dbtest::BackendName(backend);
    const char* name = backendName.c_str();
    std::printf("| %s | start-up to enabled timer | | | %.1f | | |\n", name, startup);

    Report(name, "idle cycle", Measure(core, n, [&](int) { core.Cycle(); }), 2);

    for (int i = 0; i < n; ++i)
        st.AddJob(7, 1, i, 0, QString(), QString());
    Report(name, "drawer job cycle", Measure(core, n, [&](int) { core.Cycle(); }), 2);

    // A print job's whole cycle with its card's pauses cut to a millisecond: its statements,
    // its journal's records, and the card's bytes and status requests on the line.
    for (int i = 0; i < n; ++i)
        st.AddJob(7, 0, i, 0, QString(), QStringLiteral("2 Bifana\r\n1 Sopa do dia\r\n"));
    Report(name, "print job cycle, the card's pauses cut to 1 ms",
           Measure(core, n, [&](int) { core.Cycle(); }), 3);
    std::printf("| %s | resident memory after the cycles | | | %ld kB | | |\n", name,
                bench::RssKb());
}

} // namespace

int main(int argc, char** argv) {
    bench::Application app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 200;
    std::printf("| backend | what | statements | connections opened per cycle | median ms | p99 ms "
                "| CPU ms |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (Backend b : {Backend::SQLite, Backend::PostgreSQL, Backend::PostgreSQLOdbc})
        Run(b, n);
    return 0;
}
