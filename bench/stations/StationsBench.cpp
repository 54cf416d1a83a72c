// bench_stations: many stations polling one database, each as the spooler's job cycle does:
// once a second, the select of its station's jobs, the history insert for a print job, the
// delete of the last id taken, every statement on the connection made on demand (kept for
// reuse between cycles unless the data link's "OLE DB Services" turns that off). A producer
// queues print jobs at a steady rate, round robin over the stations. The card itself takes no
// time here: the figures are the database's part of a cycle.
//
//   bench_stations --udl FILE --stations N [--seconds S] [--warmup S] [--rate JOBS_PER_S]
//                  [--processes] [--server-pid PID] [--pooler-pid PID] [--server-udl FILE]
//                  [--label TEXT]
//
// Stations are threads of this program (one connection each, made in its thread), or with
// --processes one program each (for an embedded database file shared by several programs).
// They start spread over the first second. Figures are taken from --warmup seconds after every
// station has finished its first cycle (so its first login), or, for station programs, from
// --warmup seconds after the start; the producer starts then. --server-pid names the
// database server's main process, whose CPU time (its own, its live children's and its ended
// children's) is reported; --pooler-pid a connection pooler's process, likewise. With
// --server-udl (a link straight to a PostgreSQL server) the server's own logins are counted.
// The last line, "RESULT ...", holds the figures for bench/stations/plot.sh.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "CycleStatements.h"
#include "JobQueue.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "db/Schema.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kFirstPosto = 1000; // stations of a run are postos 1000, 1001, ...

struct Options {
    QString udl;
    int stations = 1;
    int seconds = 20;
    int warmup = 0;
    double rate = 0; // jobs a second; 0: a quarter of the stations, at least one
    bool processes = false;
    long serverPid = 0;
    long poolerPid = 0;
    QString serverUdl;
    QString label;
    // Worker: one station, run until standard input ends.
    bool worker = false;
    int posto = 0;
};

// What the stations did after the warm-up (cycles, times, logins), and over the whole run
// (jobs taken, errors, logins).
struct StationResult {
    std::vector<double> cycleMs;
    std::vector<double> jobCycleMs;
    long cycles = 0;
    long errors = 0;
    long taken = 0;
    long opens = 0;
    long windowOpens = 0;
    double firstCycleEndS = 0; // the last station's first cycle, from the start
    std::string firstError;

    void Add(const StationResult& o) {
        cycleMs.insert(cycleMs.end(), o.cycleMs.begin(), o.cycleMs.end());
        jobCycleMs.insert(jobCycleMs.end(), o.jobCycleMs.begin(), o.jobCycleMs.end());
        cycles += o.cycles;
        errors += o.errors;
        taken += o.taken;
        opens += o.opens;
        windowOpens += o.windowOpens;
        firstCycleEndS = std::max(firstCycleEndS, o.firstCycleEndS);
        if (firstError.empty())
            firstError = o.firstError;
    }
};

QString ConnectionString(const QString& udl) {
    return QStringLiteral("FILE NAME=") + QFileInfo(udl).absoluteFilePath();
}

// When the measured part of a run begins, and how many stations have finished a first cycle.
struct Window {
    std::atomic<Clock::rep> start{std::numeric_limits<Clock::rep>::max()};
    std::atomic<int> started{0};

    bool Counts(Clock::time_point t) const { return t.time_since_epoch().count() >= start; }
    void Begin(Clock::time_point t) { start = t.time_since_epoch().count(); }
};

// One station's cycles until `stop`: the statements and their order are the job cycle's.
// Cycles starting before the window count only as jobs taken and errors.
StationResult RunStation(const QString& udl, int posto, Clock::time_point t0, Window& window,
                         const std::atomic<bool>& stop) {
    StationResult r;
    db::TDbConnection cn;
    cn.SetConnectionString(ConnectionString(udl));
    db::TDbQuery q_print(&cn);
    q_print.SetSQL(cycle::SelectQueue());
    db::TDbCommand q_addhist(&cn);
    q_addhist.SetSQL(cycle::InsertHistory());
    db::TDbCommand q_delete(&cn);
    q_delete.SetSQL(cycle::DeleteJob());
    const QDateTime dataValor = QDate::currentDate().startOfDay();

    // Stations start spread over the first second, as stations started by hand would be.
    std::mt19937 gen(static_cast<unsigned>(posto));
    auto next = Clock::now() + std::chrono::milliseconds(gen() % 1000);
    qint32 lastId = 0;
    int opensBeforeWindow = -1;
    while (!stop) {
        std::this_thread::sleep_until(next);
        if (stop)
            break;
        const auto start = Clock::now();
        const bool counted = window.Counts(start);
        if (counted && opensBeforeWindow < 0)
            opensBeforeWindow = cn.OpenCount();
        bool job = false;
        try {
            q_print.ParamByName(QStringLiteral("posto")).SetValue(posto);
            q_print.Open();
            if (!q_print.IsEmpty()) {
                const qint32 id = q_print.FieldAsInteger(QStringLiteral("id"));
                if (q_print.FieldAsInteger(QStringLiteral("gaveta")) == 0) {
                    const QString dados = q_print.FieldAsString(QStringLiteral("dados"));
                    q_addhist.ParamByName(QStringLiteral("datahora"))
                        .SetValue(QDateTime::currentDateTime());
                    q_addhist.ParamByName(QStringLiteral("id")).SetValue(id);
                    q_addhist.ParamByName(QStringLiteral("titulo"))
                        .SetValue(q_print.FieldAsInteger(QStringLiteral("titulo")));
                    q_addhist.ParamByName(QStringLiteral("dados")).SetValue(dados);
                    q_addhist.ParamByName(QStringLiteral("palavrachave"))
                        .SetValue(q_print.FieldAsString(QStringLiteral("palavrachave")));
                    q_addhist.ParamByName(QStringLiteral("cartao"))
                        .SetValue(q_print.FieldAsInteger(QStringLiteral("cartao")));
                    q_addhist.ParamByName(QStringLiteral("previsao")).SetValue(dados.left(50));
                    q_addhist.ParamByName(QStringLiteral("datavalor")).SetValue(dataValor);
                    q_addhist.Execute();
                }
                lastId = id;
                job = true;
            }
            q_print.Close();
            q_delete.ParamByName(QStringLiteral("id")).SetValue(lastId);
            q_delete.Execute();
        } catch (const std::exception& e) {
            // The spooler would stop polling here; the bench counts it and goes on.
            ++r.errors;
            if (r.firstError.empty())
                r.firstError = e.what();
            if (q_print.Active())
                q_print.Close();
            job = false;
        }
        const auto end = Clock::now();
        const double ms = std::chrono::duration<double, std::milli>(end - start).count();
        if (r.firstCycleEndS == 0) {
            r.firstCycleEndS = std::chrono::duration<double>(end - t0).count();
            ++window.started;
        }
        if (job)
            ++r.taken;
        if (counted) {
            ++r.cycles;
            r.cycleMs.push_back(ms);
            if (job)
                r.jobCycleMs.push_back(ms);
        }
        next = end + 1000ms;
    }
    r.opens = cn.OpenCount();
    r.windowOpens = opensBeforeWindow < 0 ? 0 : r.opens - opensBeforeWindow;
    return r;
}

// CPU seconds of one process (user and system), from /proc.
double ProcessCpuSeconds(long pid) {
    if (pid <= 0)
        return 0;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(line.substr(close + 2));
    std::vector<std::string> f;
    for (std::string w; rest >> w;)
        f.push_back(w);
    if (f.size() < 13)
        return 0;
    return (std::stod(f[11]) + std::stod(f[12])) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Logins the PostgreSQL server has accepted so far, over all its databases; -1 without a link.
long ServerLogins(const QString& serverUdl) {
    if (serverUdl.isEmpty())
        return -1;
    db::TDbConnection cn;
    cn.SetConnectionString(ConnectionString(serverUdl));
    db::TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT SUM(sessions) AS n FROM pg_stat_database")});
    q.Open();
    return q.FieldAsInteger(QStringLiteral("n"));
}

// CPU seconds of a server: the main process with its ended children, and its live children.
double ServerCpuSeconds(long pid) {
    if (pid <= 0)
        return 0;
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    auto fields = [](const std::string& statPath) {
        std::ifstream in(statPath);
        std::string line;
        std::getline(in, line);
        std::vector<std::string> f;
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            return f;
        std::istringstream rest(line.substr(close + 2));
        for (std::string w; rest >> w;)
            f.push_back(w);
        return f; // f[0] is the state, field 3 of the file
    };
    double total = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& e : entries) {
        bool ok = false;
        const long p = e.toLong(&ok);
        if (!ok)
            continue;
        const auto f = fields("/proc/" + e.toStdString() + "/stat");
        if (f.size() < 15)
            continue;
        const long ppid = std::stol(f[1]);
        if (p != pid && ppid != pid)
            continue;
        // utime, stime, cutime, cstime: fields 14 to 17.
        total += std::stod(f[11]) + std::stod(f[12]) + std::stod(f[13]) + std::stod(f[14]);
    }
    return total / tick;
}

// CPU seconds of the stations and the producer: this program and the station programs it ran.
double ClientCpuSeconds() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        ::getrusage(who, &u);
        total += static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                 static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

void Exec(db::TDbConnection& cn, const QString& sql) {
    db::TDbCommand c(&cn);
    c.SetSQL({sql});
    c.Execute();
}

long Count(db::TDbConnection& cn, const QString& sql) {
    db::TDbQuery q(&cn);
    q.SetSQL({sql});
    q.Open();
    const long n = q.FieldAsInteger(QStringLiteral("n"));
    q.Close();
    return n;
}

// The worker program of --processes: one station until standard input ends, then its figures
// on standard output.
int RunWorker(const Options& o) {
    std::atomic<bool> stop{false};
    std::thread watch([&] {
        std::string line;
        while (std::getline(std::cin, line)) {
        }
        stop = true;
    });
    const auto t0 = Clock::now();
    Window window;
    window.Begin(t0 + std::chrono::seconds(o.warmup));
    const StationResult r = RunStation(o.udl, o.posto, t0, window, stop);
    watch.join();
    std::printf("%ld %ld %ld %ld %ld %.3f\n", r.cycles, r.errors, r.taken, r.opens, r.windowOpens,
                r.firstCycleEndS);
    for (double v : r.cycleMs)
        std::printf("%.3f ", v);
    std::printf("\n");
    for (double v : r.jobCycleMs)
        std::printf("%.3f ", v);
    std::printf("\n%s\n", r.firstError.c_str());
    return 0;
}

StationResult ParseWorker(const QByteArray& out) {
    StationResult r;
    const QList<QByteArray> lines = out.split('\n');
    if (lines.size() < 3)
        return r;
    std::istringstream head(lines[0].toStdString());
    head >> r.cycles >> r.errors >> r.taken >> r.opens >> r.windowOpens >> r.firstCycleEndS;
    for (const QByteArray& v : lines[1].split(' '))
        if (!v.trimmed().isEmpty())
            r.cycleMs.push_back(v.toDouble());
    for (const QByteArray& v : lines[2].split(' '))
        if (!v.trimmed().isEmpty())
            r.jobCycleMs.push_back(v.toDouble());
    if (lines.size() > 3)
        r.firstError = lines[3].toStdString();
    return r;
}

int RunBench(const Options& o) {
    db::TDbConnection admin;
    admin.SetConnectionString(ConnectionString(o.udl));
    db::CreateTables(admin);
    Exec(admin, QStringLiteral("DELETE FROM printer"));
    Exec(admin, QStringLiteral("DELETE FROM historico"));
    const double rate = o.rate > 0 ? o.rate : std::max(1.0, o.stations / 4.0);

    std::atomic<bool> stop{false};
    std::vector<StationResult> results(static_cast<std::size_t>(o.stations));
    std::vector<std::thread> threads;
    std::vector<std::unique_ptr<QProcess>> workers;
    const auto t0 = Clock::now();
    Window window;
    if (o.processes) {
        for (int i = 0; i < o.stations; ++i) {
            auto p = std::make_unique<QProcess>();
            p->setProcessChannelMode(QProcess::SeparateChannels);
            p->start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--worker"), QStringLiteral("--udl"), o.udl,
                      QStringLiteral("--posto"), QString::number(kFirstPosto + i),
                      QStringLiteral("--warmup"), QString::number(o.warmup)});
            workers.push_back(std::move(p));
        }
        for (auto& p : workers)
            p->waitForStarted();
    } else {
        for (int i = 0; i < o.stations; ++i)
            threads.emplace_back([&, i] {
                results[static_cast<std::size_t>(i)] =
                    RunStation(o.udl, kFirstPosto + i, t0, window, stop);
            });
        // Every station logged in and through its first cycle, or given up waiting for.
        while (window.started < o.stations && Clock::now() - t0 < 600s)
            std::this_thread::sleep_for(100ms);
    }
    std::this_thread::sleep_for(std::chrono::seconds(o.warmup));
    const long logins0 = ServerLogins(o.serverUdl);
    const double cpu0 = ServerCpuSeconds(o.serverPid);
    const double poolerCpu0 = ProcessCpuSeconds(o.poolerPid);
    const double clientCpu0 = ClientCpuSeconds();
    const auto w0 = Clock::now();
    window.Begin(w0);
    const double warmedUp = std::chrono::duration<double>(w0 - t0).count();

    // The producer: jobs at a steady rate, each with its own text, round robin over stations.
    long queued = 0;
    long produceErrors = 0;
    std::string produceError;
    {
        db::TDbConnection cn;
        cn.SetConnectionString(ConnectionString(o.udl));
        // The queuing programs are not the spooler: one connection, kept, holds the rate.
        cn.KeepConnection = true;
        const auto produceEnd = w0 + std::chrono::seconds(o.seconds);
        const auto period = std::chrono::duration<double>(1.0 / rate);
        auto next = Clock::now();
        while (Clock::now() < produceEnd) {
            std::this_thread::sleep_until(next);
            next += std::chrono::duration_cast<Clock::duration>(period);
            try {
                dbtest::QueueJob(cn, {.posto = kFirstPosto + static_cast<int>(queued % o.stations),
                                      .gaveta = 0,
                                      .cartao = static_cast<int>(queued),
                                      .titulo = 0,
                                      .palavrachave = QStringLiteral(""),
                                      .dados = QStringLiteral("bench job %1").arg(queued)});
                ++queued;
            } catch (const std::exception& e) {
                ++produceErrors;
                if (produceError.empty())
                    produceError = e.what();
            }
        }
    }
    const auto produced = Clock::now();
    // Let the stations take what is left: a queue emptied, or 15 s.
    while (Clock::now() - produced < 15s) {
        try {
            if (Count(admin, QStringLiteral("SELECT COUNT(*) AS n FROM printer")) == 0)
                break;
        } catch (const std::exception&) {
        }
        std::this_thread::sleep_for(200ms);
    }
    std::this_thread::sleep_for(1200ms); // the last cycles' deletes
    const double seconds = std::chrono::duration<double>(Clock::now() - w0).count();
    const double cpu = ServerCpuSeconds(o.serverPid) - cpu0;
    const double poolerCpu = ProcessCpuSeconds(o.poolerPid) - poolerCpu0;
    const double clientCpu = ClientCpuSeconds() - clientCpu0;
    // Less the login of the second reading itself.
    const long logins = logins0 < 0 ? -1 : ServerLogins(o.serverUdl) - logins0 - 1;
    stop = true;
    StationResult all;
    if (o.processes) {
        for (auto& p : workers)
            p->closeWriteChannel();
        for (auto& p : workers) {
            p->waitForFinished(30000);
            all.Add(ParseWorker(p->readAllStandardOutput()));
        }
    } else {
        for (auto& t : threads)
            t.join();
        for (const auto& r : results)
            all.Add(r);
    }

    // Every job queued must be in the history once, or still in the queue.
    const long left = Count(admin, QStringLiteral("SELECT COUNT(*) AS n FROM printer"));
    const long logged = Count(admin, QStringLiteral("SELECT COUNT(*) AS n FROM historico"));
    const long distinct =
        Count(admin, QStringLiteral("SELECT COUNT(DISTINCT dados) AS n FROM historico"));
    const long twice = logged - distinct;
    const long kept = Count(admin, QStringLiteral("SELECT COUNT(*) AS n FROM (SELECT dados FROM "
                                                  "historico UNION SELECT dados FROM printer) t"));
    const long lost = queued - kept;

    const double p50 = Percentile(all.cycleMs, 0.5);
    const double p99 = Percentile(all.cycleMs, 0.99);
    std::printf("stations %d (%s), %.0f s measured from %.0f s on, producer %.1f jobs/s "
                "(%.1f reached)\n",
                o.stations, o.processes ? "processes" : "threads", seconds, warmedUp, rate,
                queued / double(o.seconds));
    std::printf("every station's first cycle done after %.1f s\n", all.firstCycleEndS);
    std::printf("cycles %ld, cycle ms median %.2f p99 %.2f, job cycle ms median %.2f p99 %.2f\n",
                all.cycles, p50, p99, Percentile(all.jobCycleMs, 0.5),
                Percentile(all.jobCycleMs, 0.99));
    std::printf("stations' logins %ld in all, %ld measured (%.2f/s)", all.opens, all.windowOpens,
                all.windowOpens / seconds);
    if (logins >= 0)
        std::printf(", server logins %ld (%.2f/s)", logins, logins / seconds);
    std::printf("\n");
    if (o.serverPid > 0)
        std::printf("server CPU %.1f s (%.0f%% of one core), ", cpu, 100.0 * cpu / seconds);
    if (o.poolerPid > 0)
        std::printf("pooler CPU %.1f s (%.0f%%), ", poolerCpu, 100.0 * poolerCpu / seconds);
    std::printf("stations' CPU %.1f s (%.0f%%)\n", clientCpu, 100.0 * clientCpu / seconds);
    std::printf("queued %ld, taken %ld, logged %ld, left %ld, lost %ld, printed twice %ld\n",
                queued, all.taken, logged, left, lost, twice);
    std::printf("cycle errors %ld, producer errors %ld\n", all.errors, produceErrors);
    if (!all.firstError.empty())
        std::printf("first cycle error: %s\n", all.firstError.c_str());
    if (!produceError.empty())
        std::printf("first producer error: %s\n", produceError.c_str());
    // label N cycles p50 p99 job-p50 job-p99 server% pooler% stations% logins/s server-logins/s
    // lost twice errors
    std::printf("RESULT %s %d %ld %.2f %.2f %.2f %.2f %.1f %.1f %.1f %.2f %.2f %ld %ld %ld\n",
                o.label.isEmpty() ? "-" : qPrintable(o.label), o.stations, all.cycles, p50, p99,
                Percentile(all.jobCycleMs, 0.5), Percentile(all.jobCycleMs, 0.99),
                100.0 * cpu / seconds, 100.0 * poolerCpu / seconds, 100.0 * clientCpu / seconds,
                all.windowOpens / seconds, logins < 0 ? -1.0 : logins / seconds, lost, twice,
                all.errors);
    return lost == 0 && twice == 0 ? 0 : 1;
}

using ValueSetter = void (*)(Options&, const QString&);

// The options that take the next argument as their value.
const std::pair<const char*, ValueSetter> kValueOptions[] = {
    {"--udl", [](Options& o, const QString& v) { o.udl = v; }},
    {"--stations", [](Options& o, const QString& v) { o.stations = v.toInt(); }},
    {"--seconds", [](Options& o, const QString& v) { o.seconds = v.toInt(); }},
    {"--warmup", [](Options& o, const QString& v) { o.warmup = v.toInt(); }},
    {"--pooler-pid", [](Options& o, const QString& v) { o.poolerPid = v.toLong(); }},
    {"--server-udl", [](Options& o, const QString& v) { o.serverUdl = v; }},
    {"--label", [](Options& o, const QString& v) { o.label = v; }},
    {"--rate", [](Options& o, const QString& v) { o.rate = v.toDouble(); }},
    {"--server-pid", [](Options& o, const QString& v) { o.serverPid = v.toLong(); }},
    {"--posto", [](Options& o, const QString& v) { o.posto = v.toInt(); }},
};

// The options that stand alone and switch something on.
const std::pair<const char*, bool Options::*> kFlagOptions[] = {
    {"--processes", &Options::processes},
    {"--worker", &Options::worker},
};

// Takes the option `arg` (and its value, the next argument, which `i` then steps over) into
// `o`; false for an option unknown.
bool TakeOption(const QString& arg, const QString& value, Options& o, int& i) {
    for (const auto& [name, set] : kValueOptions) {
        if (arg == QLatin1String(name)) {
            set(o, value);
            ++i;
            return true;
        }
    }
    for (const auto& [name, flag] : kFlagOptions) {
        if (arg == QLatin1String(name)) {
            o.*flag = true;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // A thousand stations hold a thousand sockets.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        const QString v = i + 1 < args.size() ? args[i + 1] : QString();
        if (!TakeOption(a, v, o, i)) {
            std::fprintf(stderr, "usage: bench_stations --udl FILE --stations N [--seconds S] "
                                 "[--warmup S] [--rate JOBS_PER_S] [--processes] [--server-pid "
                                 "PID] [--pooler-pid PID] [--server-udl FILE] [--label TEXT]\n");
            return 2;
        }
    }
    if (o.udl.isEmpty() || o.stations < 1) {
        std::fprintf(stderr, "bench_stations: --udl and a positive --stations are needed\n");
        return 2;
    }
    try {
        return o.worker ? RunWorker(o) : RunBench(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_stations: %s\n", e.what());
        return 1;
    }
}
