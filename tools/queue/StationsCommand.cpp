#include "StationsCommand.h"

#include <QTextStream>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "Args.h"
#include "db/Connection.h"
#include "db/Query.h"

namespace {

struct StationQueue {
    qint32 posto = 0;
    qint32 queued = 0;
    qint32 firstId = 0;
    QString firstCard; // empty when the job has no card number
};

// One look at the queue. The first job of a station is the first row that the spooler's own
// statement returns: that statement asks for no order, so the database's order decides.
std::vector<StationQueue> Look(db::TDbConnection& cn) {
    db::TDbQuery counts(&cn);
    counts.SetSQL({QStringLiteral("SELECT posto, COUNT(*) AS queued FROM printer"),
                   QStringLiteral("WHERE posto IS NOT NULL GROUP BY posto ORDER BY posto")});
    db::TDbQuery first(&cn);
    first.SetSQL({QStringLiteral("SELECT * FROM printer"), QStringLiteral("WHERE posto = :posto")});
    std::vector<StationQueue> stations;
    // The open count query keeps one connection for the whole look.
    counts.Open();
    try {
        for (counts.First(); !counts.Eof(); counts.Next()) {
            StationQueue s;
            s.posto = counts.FieldAsInteger(QStringLiteral("posto"));
            s.queued = counts.FieldAsInteger(QStringLiteral("queued"));
            first.ParamByName(QStringLiteral("posto")).SetValue(s.posto);
            first.Open();
            // A station whose jobs were all taken since the count has none waiting.
            if (!first.IsEmpty()) {
                s.firstId = first.FieldAsInteger(QStringLiteral("id"));
                if (!first.FieldIsNull(QStringLiteral("cartao")))
                    s.firstCard = first.FieldAsString(QStringLiteral("cartao"));
                stations.push_back(s);
            }
            first.Close();
        }
    } catch (...) {
        counts.Close();
        throw;
    }
    counts.Close();
    return stations;
}

const StationQueue* Find(const std::vector<StationQueue>& stations, qint32 posto) {
    for (const StationQueue& s : stations)
        if (s.posto == posto)
            return &s;
    return nullptr;
}

} // namespace

int StationsCommand(db::TDbConnection& cn, Args& args) {
    const auto over = args.IntOption(QStringLiteral("--over"));
    args.ExpectEnd();
    if (over && (*over < 1 || *over > 86400))
        throw UsageError("--over takes 1 to 86400 seconds");

    std::vector<StationQueue> before;
    if (over) {
        before = Look(cn);
        std::fprintf(stderr,
                     "plinova-queue: %zu stations with queued jobs; looking again in %d s\n",
                     before.size(), *over);
        std::this_thread::sleep_for(std::chrono::seconds(*over));
    }
    const std::vector<StationQueue> now = Look(cn);

    QTextStream out(stdout);
    out << "posto\tqueued\tfirst\tcartao" << (over ? "\tstate" : "") << '\n';
    bool anyStopped = false;
    for (const StationQueue& s : now) {
        out << s.posto << '\t' << s.queued << '\t' << s.firstId << '\t' << s.firstCard;
        if (over) {
            const StationQueue* earlier = Find(before, s.posto);
            const bool stopped = earlier && earlier->firstId == s.firstId;
            anyStopped = anyStopped || stopped;
            out << '\t' << (stopped ? "not taking jobs" : "taking jobs");
        }
        out << '\n';
    }
    return anyStopped ? kStationNotTakingJobs : 0;
}
