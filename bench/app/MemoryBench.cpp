// Resident memory of the spooler over many job cycles: the real window object runs the cycles
// (10,000 by default) one after the other, one in ten with a cash-drawer job queued before
// it, the others idle, and its resident memory is printed every tenth of the way, on each
// database. A leak shows as memory that keeps growing after the first tenth.
//
// Usage: bench_memory [cycles]   (PostgreSQL rows need PLINOVA_TEST_PG_*)
#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchSupport.h"
#include "MainWindow.h"
#include "Station.h"

int main(int argc, char** argv) {
    bench::Application app(argc, argv);
    const int n = argc > 1 ? std::max(10, std::atoi(argv[1])) : 10000;
    std::printf("| backend | cycles | resident memory | heap in use |\n|---|---|---|---|\n");
    for (Backend backend : {Backend::SQLite, Backend::PostgreSQL, Backend::PostgreSQLOdbc}) {
        const std::string name = dbtest::BackendName(backend);
        bench::StartedStation started = bench::StartStation(backend, " | |");
        if (!started)
            continue;
        Station& st = *started.st;
        Tmain* w = started.w.get();
        std::printf("| %s | 0 | %ld kB | %ld kB |\n", name.c_str(), bench::RssKb(),
                    bench::HeapInUseKb());
        for (int i = 1; i <= n; ++i) {
            if (i % 10 == 0)
                st.AddJob(7, 1, i, 0, QString(), QString());
            Cycle(w->Core());
            if (i % (n / 10) != 0)
                continue;
            // The test printer in this process keeps all it received: forgotten at each
            // sample, so that what grows is the spooler's.
            st.Printer().Clear();
            std::printf("| %s | %d | %ld kB | %ld kB |\n", name.c_str(), i, bench::RssKb(),
                        bench::HeapInUseKb());
        }
        std::fflush(stdout);
    }
    return 0;
}
