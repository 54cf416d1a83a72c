#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/core/Card.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "serial/CPort.h"

class SpoolerView;
class SpoolerProbe;

namespace pacing {
class TickSource;
}

// The spooler's work apart from its window: the settings read at start-up, the printer's
// port, the database connection and statements, the one-second polling timer with its job
// cycle, and the dialogue with the card printer. Everything runs on the main thread; what
// the user sees goes through the window's SpoolerView.
class Spooler {
public:
    // Where the spooler finds its files and what it runs on, fixed when it is made.
    struct Setup {
        // The executable's folder, where the data link file is looked for first.
        QString programFolder;
        // The station's folder: its profile files, and its data link file when none lies
        // beside the executable.
        QString stationFolder;
        // The clock the card's pauses run on; the system's tick counter when null.
        pacing::TickSource* ticks = nullptr;
        // Where the reason for a refusal goes, for whoever sets the station up (the operator's
        // warning only says what failed); standard error when empty.
        std::function<void(const QString&)> log;
    };

    // The view must outlive the spooler; nothing is asked of it before Prepare().
    Spooler(SpoolerView& view, Setup setup);

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
    std::string PortName() const { return cpcert.Port(); }
    // The station's connection; the window's history browsing runs on it too.
    db::TDbConnection& Database() { return cn; }
    // The station's profile file of the spooler's own settings and the window's position.
    std::string PlinovaIni() const;

    // Whether the polling timer runs.
    bool Polling() const { return tt.isActive(); }
    // Stops polling; a cycle already running is not affected.
    void StopPolling() { tt.stop(); }

    // Prints `dados` again as the card of a history entry, with polling stopped meanwhile.
    void Reprint(const QString& dados);

    // Whether a cycle or a reprint is running, which a close must not interrupt.
    bool Busy() const { return busy_; }
    // Asks the running cycle or reprint to end as soon as no card is left half done; the
    // window is then closed. Polling does not start again.
    void RequestStop() { stopRequested_ = true; }

private:
    friend class SpoolerProbe;

    // Marks the spooler busy for one cycle or reprint; however it ends, a stop requested
    // meanwhile then closes the window.
    class WorkScope {
    public:
        explicit WorkScope(Spooler& spooler);
        ~WorkScope();
        WorkScope(const WorkScope&) = delete;
        WorkScope& operator=(const WorkScope&) = delete;

    private:
        Spooler& spooler_;
    };

    // A queued job's row.
    struct Job {
        qint32 id = 0;
        qint32 cartao = 0;
        bool cartaoNull = true;
        bool gaveta = false;
        qint32 titulo = 0;
        QString palavrachave;
        QString dados;
    };

    QString ReadGlobalConfig(const QString& key, const QString& def);

    // One polling cycle; the timer runs it once per tick. An error ends it and leaves the
    // timer stopped.
    void ttTimer();
    // The cycle's steps. The station's next job, read from the queue query, which stays open
    // until CloseQueue(); none when the queue is empty.
    std::optional<Job> OpenQueue();
    void CloseQueue();
    // Logs a print job in the history; returns the moment logged.
    QDateTime LogJob(const Job& job);
    // Takes back the history row LogJob() wrote, for a job a stop left unprinted.
    void WithdrawLog(qint32 id, const QDateTime& logged);
    // Deletes the last job taken (none when LastId is 0).
    void DeleteLastJob();

    // The card printer dialogue.
    void SendInitialisation();
    // False when a stop ended the wait for a card, so that nothing was printed.
    bool PrintCard(const Card& card);
    bool PrintCardBody(const Card& card);
    void Pause(std::uint32_t milliseconds);
    // Writes the whole string or fails.
    void WriteAll(const std::string& bytes);
    void PacedWrite(const std::string& bytes, std::uint32_t milliseconds);
    // Reads the window's pending close requests, during the card print's waits.
    bool StopNoticed();

    SpoolerView& view_;
    Setup setup_;
    pacing::TickSource& ticks_;
    bool busy_ = false;
    bool stopRequested_ = false;

    // Settings fixed at start-up.
    qint32 Posto = 0;         // station number
    qint32 Protocolo = 0;     // 0: writes paced by pauses; other: hardware flow control
    qint32 OffsetInicial = 0; // empty lines fed before each text
    QDate DataValor;          // business date
    // State the job cycle keeps.
    qint32 LastId = 0; // id of the last job taken, 0 once its delete succeeded
    // A title whose card had no line to put it under: the next card without a title of its
    // own, a reprint, carries it.
    std::optional<QString> Titulo;

    // Components, each declared after what it uses, so that they are destroyed before it:
    // the statements before their connection, the timer, whose tick uses everything, first.
    TComPort cpcert{nullptr};
    db::TDbConnection cn;
    db::TDbQuery q_print{&cn};
    db::TDbQuery q_configposto{&cn};
    db::TDbCommand q_addhist{&cn};
    db::TDbCommand q_delete{&cn};
    db::TDbCommand q_delhist{&cn};
    db::TDbCommand withdrawHistory_{&cn};
    QTimer tt;
};
