// plinova-queue: queues print and drawer jobs for a station, shows the queue, the history
// and the stations that stopped taking jobs, sets global configuration values, creates the
// tables, and makes station folders for an installed spooler.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "Args.h"
#include "DataLinkFile.h"
#include "JobCommands.h"
#include "StationCommand.h"
#include "StationsCommand.h"
#include "db/Connection.h"
#include "db/WorkerThreads.h"
#include "generated/Version.h"

namespace {

const char* const kUsage =
    "usage: plinova-queue [--udl FILE] COMMAND [options]\n"
    "\n"
    "  --udl FILE   data link file naming the database (default: Molvar.udl in the current "
    "folder)\n"
    "\n"
    "commands:\n"
    "  init                               create the tables when missing\n"
    "  add --station N [--card N] [--title] [--keyword K] (--text T | --file F | --stdin)\n"
    "                                     queue a print job\n"
    "  drawer --station N [--card N]      queue a cash-drawer job\n"
    "  list [--station N]                 show the queued jobs\n"
    "  history                            show the history, newest job first\n"
    "  config KEY VALUE                   set a global configuration value (e.g. \"OFFSET "
    "INICIAL\" 2)\n"
    "  stations [--over SECONDS]          show the stations with queued jobs; with --over, look\n"
    "                                     again after SECONDS and mark those whose first job\n"
    "                                     is still waiting as not taking jobs (exit status 3)\n"
    "  station DIR [--station N] [--device PATH | --port N] [--protocol N] [--udl TEXT]\n"
    "              [--force] [--no-autostart]\n"
    "                                     make DIR a station folder: profile files, data link\n"
    "                                     file (--udl: its initialisation string; default the\n"
    "                                     embedded database station.db), tables, and entries\n"
    "                                     that start the spooler there at login and from the\n"
    "                                     menu\n"
    "\n"
    "  --help, --version                  show this text or the version\n"
    "\n"
    "Exit status: 0 done, 1 a database or file error or a refusal, 2 a wrong command line,\n"
    "3 a station not taking jobs (stations --over).\n";

int Run(QStringList argv) {
    Args args(std::move(argv));
    if (args.Flag(QStringLiteral("--help")) || args.Flag(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.Flag(QStringLiteral("--version"))) {
        std::puts("plinova-queue " PLINOVA_VERSION);
        return 0;
    }
    // The data link file is an option of the tool, given before the command; a station's own
    // --udl is its initialisation string.
    QString udl = QStringLiteral("Molvar.udl");
    bool udlGiven = false;
    while (const auto option = args.TakeLeadingOption()) {
        if (*option != QLatin1String("--udl"))
            throw UsageError(("unknown option: " + *option).toStdString());
        udl = args.TakeFirst(QStringLiteral("the data link file after --udl"));
        udlGiven = true;
    }
    const QString command = args.TakeFirst(QStringLiteral("command"));
    if (command == QLatin1String("station")) {
        if (udlGiven)
            throw UsageError("station writes its own data link file: give its initialisation "
                             "string with --udl after the folder");
        return StationCommand(args);
    }
    // Kept for scripts that name the data link file after the command.
    if (const auto late = args.Option(QStringLiteral("--udl")))
        udl = *late;

    db::TDbConnection cn;
    UseDataLinkFile(cn, udl);
    if (command == QLatin1String("init"))
        return InitCommand(cn, args);
    if (command == QLatin1String("add"))
        return AddCommand(cn, args, false);
    if (command == QLatin1String("drawer"))
        return AddCommand(cn, args, true);
    if (command == QLatin1String("list"))
        return ListCommand(cn, args);
    if (command == QLatin1String("history"))
        return HistoryCommand(cn, args);
    if (command == QLatin1String("config"))
        return ConfigCommand(cn, args);
    if (command == QLatin1String("stations"))
        return StationsCommand(cn, args);
    throw UsageError(("unknown command: " + command).toStdString());
}

} // namespace

int main(int argc, char** argv) {
    db::PrepareWorkerThreads();
    QCoreApplication app(argc, argv);
    QStringList list = QCoreApplication::arguments();
    list.removeFirst();
    try {
        return Run(list);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "plinova-queue: %s\n\n%s", e.what(), kUsage);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plinova-queue: %s\n", e.what());
        return 1;
    }
}
