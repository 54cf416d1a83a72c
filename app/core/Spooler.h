#pragma once

#include <QDate>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <string>

#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "serial/CPort.h"

class SpoolerView;

// The spooler's work apart from its window: the settings read at start-up, the printer's
// port, the database connection and statements, the one-second polling timer with its job
// cycle, and the dialogue with the card printer. Everything runs on the main thread; what
// the user sees goes through the window's SpoolerView.
class Spooler {
public:
    // `programFolder` is the executable's folder, where the data link file is looked for first.
    // The view must outlive the spooler; nothing is asked of it before Prepare().
    Spooler(SpoolerView& view, const QString& programFolder);

    // Why start-up refused to run.
    enum class Refusal { None, PrinterDisabled, PortUnavailable };

    // Start-up up to the open port: the connection string, the settings, the business date,
    // the port's name and flow control, and the port opened.
    Refusal Prepare();
    // The rest of start-up: the printer's initialisation, the history purge, the timer.
    void Start();
    // Shut-down's share: when the port is open, its input is drained and it is closed.
    void ClosePort();

    QString ReadGlobalConfig(const QString& key, const QString& def);

    // One polling cycle; the timer runs it once per tick. An error ends it and leaves the
    // timer stopped.
    void ttTimer();
    // Prints `dados` again as the memo's text, with the timer stopped meanwhile.
    void Reprint(const QString& dados);

    // Whether a cycle or a reprint is running, which a close must not interrupt.
    bool Busy() const { return busy_; }
    // Asks the running cycle or reprint to end as soon as no card is left half done; the
    // window is then closed. Polling does not start again.
    void RequestStop() { stopRequested_ = true; }

    // The card printer dialogue.
    void SendInitialisation();
    // False when a stop ended the wait for a card, so that nothing was printed.
    bool PrintCard();
    void Pause(std::uint32_t milliseconds);
    // Writes the whole string or fails.
    void WriteAll(const std::string& bytes);
    void PacedWrite(const std::string& bytes, std::uint32_t milliseconds);

    // Whether the polling timer runs.
    bool TimerEnabled() const { return tt.isActive(); }

private:
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

    bool PrintCardBody();
    // Reads the window's pending close requests, during the card print's waits.
    bool StopNoticed();

    SpoolerView& view_;
    QString programFolder_;
    bool busy_ = false;
    bool stopRequested_ = false;

public:
    // Settings fixed at start-up.
    qint32 Posto = 0;         // station number
    qint32 Protocolo = 0;     // 0: writes paced by pauses; other: hardware flow control
    qint32 OffsetInicial = 0; // empty lines fed before each text
    QDate DataValor;          // business date
    // State the job cycle keeps.
    qint32 LastId = 0;    // id of the last job taken, 0 once its delete succeeded
    bool Titulo = false;  // print the keyword as a title line
    QString PalavraChave; // the title keyword

    // Components, each declared after what it uses, so that they are destroyed before it:
    // the statements before their connection, the timer, whose tick uses everything, first.
    TComPort cpcert{nullptr};
    db::TDbConnection cn;
    db::TDbQuery q_print{&cn};
    db::TDbQuery q_hist{&cn};
    db::TDbQuery q_configposto{&cn};
    db::TDbCommand q_addhist{&cn};
    db::TDbCommand q_delete{&cn};
    db::TDbCommand q_delhist{&cn};

private:
    // Takes back the history row of a job whose card a stop left unprinted.
    db::TDbCommand withdrawHistory_{&cn};

public:
    QTimer tt;
};
