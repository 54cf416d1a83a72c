#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "app/core/Journal.h"

class SpoolerView;
class SpoolerProbe;
class SpoolerPrivate;
class ComSyncHost;

namespace db {
class TDbConnection;
}
namespace pacing {
class TickSource;
}

// The spooler's work apart from its window: the settings read at start-up, the printer's
// port, the database connection and statements, the one-second polling timer with its job
// cycle, and the dialogue with the card printer. Everything runs on the main thread; what
// the user sees goes through the window's SpoolerView.
class Spooler {
public:
    // The points between the steps of a job's cycle, where a test may end the program as a kill
    // or a power cut would.
    enum class Step {
        JobTaken,      // the job read from the queue; nothing done for it yet
        JobJournalled, // the journal started for it (with its history row's time)
        Logged,        // its history row written, the card not yet asked for
        LinePrinted,   // a line of the card written
        CardFed,       // the form feed written and drained (the card printed), not yet journalled
        CardFedJournalled, // the journal records the card printed
        CardReleased,      // the release written and drained, not yet journalled
        CardJournalled,    // the journal records the card complete
        CardRemoved,       // the card taken out
        DrawerPulsed,      // the drawer pulse written and drained, not yet journalled
        DrawerJournalled,  // the journal records the pulse
        Deleted,           // the job deleted from the queue
        Finished,          // the journal records the job done
    };

    // Where the spooler finds its files and what it runs on, fixed when it is made.
    struct Setup {
        // The executable's folder, where the data link file is looked for first.
        QString programFolder;
        // The station's folder: its profile files, and its data link file when none lies
        // beside the executable.
        QString stationFolder;
        // The clock the card's pauses run on; the system's tick counter when null.
        pacing::TickSource* ticks = nullptr;
        // How the printer port's events reach the main thread (the program's event loop); it
        // must outlive the spooler. When null the port holds them until it closes.
        ComSyncHost* syncHost = nullptr;
        // Where notes for whoever sets the station up go: the reason for a refusal (the
        // operator's warning only says what failed), what the journal said at start-up and
        // what a start did for the job the journal held. Standard error when empty.
        std::function<void(const QString&)> log;
        // How the journal's records reach the disk; the platform's durable write when empty.
        journal::Writer journalWrite;
        // Called at each Step of a job's cycle; nothing when empty.
        std::function<void(Step)> onStep;
    };

    // The view must outlive the spooler; nothing is asked of it before Prepare().
    Spooler(SpoolerView& view, Setup setup);
    ~Spooler();
    Spooler(const Spooler&) = delete;
    Spooler& operator=(const Spooler&) = delete;

    // Why start-up refused to run.
    enum class Refusal { None, PrinterDisabled, PortUnavailable };

    // Start-up up to the open port: the connection string, the settings, the business date,
    // the port's name and flow control, and the port opened.
    Refusal Prepare();
    // The rest of start-up: the printer's initialisation, the history purge, the timer.
    void Start();
    // Shut-down's share: when the port is open, its input is drained and it is closed.
    void ClosePort();

    // The printer port's name, as the settings gave it.
    std::string PortName() const;
    // The station's connection; the window's history browsing runs on it too.
    db::TDbConnection& Database();
    // The station's profile file of the spooler's own settings and the window's position.
    std::string PlinovaIni() const;

    // Whether the polling timer runs.
    bool Polling() const;
    // Stops polling; a cycle already running is not affected.
    void StopPolling();

    // Prints `dados` again as the card of a history entry, with polling stopped meanwhile.
    void Reprint(const QString& dados);

    // Whether a cycle or a reprint is running, which a close must not interrupt.
    bool Busy() const;
    // Asks the running cycle or reprint to end as soon as no card is left half done; the
    // window is then closed. Polling does not start again.
    void RequestStop();

private:
    // The settings, the port, the connection and its statements, the timer and the cycle's
    // state, apart from what the spooler's users see (SpoolerPrivate.h); the tests' probe reaches
    // them there.
    friend class SpoolerProbe;
    std::unique_ptr<SpoolerPrivate> d_;
};
