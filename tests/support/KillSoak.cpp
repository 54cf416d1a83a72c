#include "KillSoak.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <map>
#include <random>

#include "PrinterBytes.h"
#include "StationFolder.h"

namespace soak {

namespace {

// The spooler of the station, as its start entry runs it: in the station folder, its output kept
// in the folder.
class Program {
public:
    Program(const QString& program, const QString& folder) : log_(folder + "/spooler.log") {
        process_.setProgram(program);
        process_.setWorkingDirectory(folder);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
#ifdef _WIN32
        // A polite stop on Windows is a close message to the program's windows, which only the
        // desktop's platform makes.
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("windows"));
#else
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
#endif
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setStandardOutputFile(log_, QIODevice::Append);
    }
    ~Program() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    bool Start() {
        process_.start();
        return process_.waitForStarted(30000);
    }
    // Waits that long; false when the program ended meanwhile.
    bool RunsFor(int milliseconds) {
        return !process_.waitForFinished(milliseconds);
    }
    void Kill() {
        process_.kill();
        process_.waitForFinished();
    }
    bool Stop() {
        process_.terminate();
        return process_.waitForFinished(20000);
    }
    // The end of what it wrote, for a failure's report.
    QString Output() const {
        QFile file(log_);
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QStringLiteral("; its output ends:\n") +
               QString::fromUtf8(file.readAll().right(2000));
    }
    QString Ended() const {
        return QStringLiteral("the spooler ended by itself (status %1)").arg(process_.exitCode()) +
               Output();
    }

private:
    QString log_;
    QProcess process_;
};

} // namespace

Counts Run(const Plan& plan, const std::function<void(const QString&)>& progress) {
    Counts counts;
    QElapsedTimer clock;
    clock.start();
    StationFolder st(plan.backend);
    st.WriteDefaults();
    // A card goes in and comes out about 0.15 s after the spooler asks for it, as an operator
    // who is ready for it.
    st.Printer().SetInsertAfter(3);
    st.Printer().SetRemoveAfter(3);

    std::map<int, std::string> cards; // a print job's id: its card as printed, to its form feed
    for (int i = 1; i <= plan.jobs; ++i) {
        if (i % 10 == 0) {
            st.AddJob(7, 1, i, 0, QString(), QString());
            ++counts.drawers;
            continue;
        }
        const QString marker = QStringLiteral("SOAK-%1").arg(i, 4, 10, QLatin1Char('0'));
        const int id = st.AddJob(7, 0, i, 1, marker, QStringLiteral("1 Bifana"));
        cards[id] = printer::kLargeFont + marker.toStdString() + "\r\n" + printer::kSmallFont +
                    "1 Bifana\r\n" + printer::kFormFeed;
        ++counts.cards;
    }
    const auto queued = [&] { return static_cast<int>(st.Rows("SELECT id FROM printer").size()); };

    Program program(plan.program, QString::fromStdString(st.Folder().string()));
    std::mt19937 random(plan.seed);
    std::uniform_int_distribution<int> delay(plan.minDelayMs, plan.maxDelayMs);
    while (counts.kills < plan.kills && queued() > 0) {
        ++counts.starts;
        if (!program.Start()) {
            counts.failure = QStringLiteral("the spooler did not start");
            return counts;
        }
        if (!program.RunsFor(delay(random))) {
            counts.failure = program.Ended();
            return counts;
        }
        program.Kill();
        ++counts.kills;
        if (progress)
            progress(QStringLiteral("kill %1 of %2, %3 jobs queued")
                         .arg(counts.kills)
                         .arg(plan.kills)
                         .arg(queued()));
    }

    // Left to finish the queue: a card takes about two seconds, a cycle starts every second.
    ++counts.starts;
    if (!program.Start()) {
        counts.failure = QStringLiteral("the spooler did not start");
        return counts;
    }
    for (int waited = 0; queued() > 0; waited += 200) {
        if (waited > 60000 + 5000 * plan.jobs) {
            counts.failure = QStringLiteral("the queue did not empty") + program.Output();
            break;
        }
        if (!program.RunsFor(200)) {
            counts.failure = program.Ended();
            break;
        }
    }
    if (!program.Stop() && counts.failure.isEmpty())
        counts.failure = QStringLiteral("the spooler did not end on SIGTERM");

    counts.left = queued();
    const std::string line = st.Printer().Received();
    std::map<int, int> rows;
    for (const QStringList& row : st.Rows("SELECT id FROM historico"))
        ++rows[row[0].toInt()];
    for (const auto& [id, card] : cards) {
        const std::size_t printed = printer::Occurrences(line, card);
        if (printed == 0 &&
            st.Rows(QStringLiteral("SELECT id FROM printer WHERE id = %1").arg(id)).empty())
            ++counts.cardsLost;
        if (printed > 1)
            ++counts.cardsTwice;
        // Let go before the next card began (each begins with its title), in this life or the
        // next.
        if (printed > 0) {
            const std::size_t fed = line.rfind(card) + card.size();
            if (line.find(printer::kRelease, fed) >= line.find(printer::kLargeFont, fed))
                ++counts.unreleased;
        }
        if (rows[id] == 0)
            ++counts.notLogged;
        if (rows[id] > 1)
            ++counts.loggedTwice;
    }
    counts.pulses = static_cast<int>(printer::Occurrences(line, printer::kDrawerPulse));
    counts.seconds = clock.elapsed() / 1000.0;
    return counts;
}

} // namespace soak
