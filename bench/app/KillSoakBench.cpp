// The kill soak, long: the real program killed with SIGKILL at seeded random moments, 0.2 to 4 s
// after each start, and started again at once, on a pseudo-terminal printer that takes each
// card in and out after about 0.15 s; then left to empty its queue. Prints what reached the line
// and the database (tests/support/KillSoak.h).
//
//   bench_killsoak [--backend sqlite|postgresql] [--jobs N] [--kills N] [--seed N]
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "KillSoak.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    soak::Plan plan;
    plan.program = QStringLiteral(PLINOVA_PROGRAM);
    plan.jobs = 120;
    plan.kills = 200;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i + 1 < args.size(); i += 2) {
        const QString& name = args[i];
        const QString& value = args[i + 1];
        if (name == QLatin1String("--backend") && value == QLatin1String("postgresql"))
            plan.backend = dbtest::Backend::PostgreSQL;
        else if (name == QLatin1String("--backend") && value == QLatin1String("sqlite"))
            plan.backend = dbtest::Backend::SQLite;
        else if (name == QLatin1String("--jobs"))
            plan.jobs = value.toInt();
        else if (name == QLatin1String("--kills"))
            plan.kills = value.toInt();
        else if (name == QLatin1String("--seed"))
            plan.seed = value.toUInt();
        else {
            std::fprintf(stderr, "usage: bench_killsoak [--backend sqlite|postgresql] [--jobs N] "
                                 "[--kills N] [--seed N]\n");
            return 2;
        }
    }
    if (args.size() % 2 != 0) {
        std::fprintf(stderr, "bench_killsoak: %s needs a value\n", qPrintable(args.back()));
        return 2;
    }
    QString why;
    if (!dbtest::BackendAvailable(plan.backend, &why)) {
        std::fprintf(stderr, "bench_killsoak: %s\n", qPrintable(why));
        return 1;
    }
    const soak::Counts c = soak::Run(
        plan, [](const QString& line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
    std::printf("kill soak: %s, seed %u, %d jobs (%d cards, %d drawer jobs)\n",
                dbtest::BackendName(plan.backend).c_str(), plan.seed, c.cards + c.drawers, c.cards,
                c.drawers);
    std::printf("| kills | starts | left queued | cards lost | cards printed twice | cards not "
                "released | not logged | logged twice | drawer pulses | minutes |\n");
    std::printf("| %d | %d | %d | %d | %d | %d | %d | %d | %d for %d jobs | %.1f |\n", c.kills,
                c.starts, c.left, c.cardsLost, c.cardsTwice, c.unreleased, c.notLogged,
                c.loggedTwice, c.pulses, c.drawers, c.seconds / 60);
    if (!c.failure.isEmpty()) {
        std::printf("failed: %s\n", qPrintable(c.failure));
        return 1;
    }
    return 0;
}
