#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "app/core/Card.h"
#include "app/core/Journal.h"
#include "app/core/Spooler.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "serial/CPort.h"

// What a Spooler is made of: its settings, the printer's port, the connection and its
// statements, the polling timer, the job cycle and the card printer dialogue. Only the core's
// own sources and the tests' probe (tests/support/SpoolerProbe.h) include this.
class SpoolerPrivate {
public:
    using Step = Spooler::Step;
    using Setup = Spooler::Setup;
    using Refusal = Spooler::Refusal;

    SpoolerPrivate(SpoolerView& view, Setup setup);

    // What Spooler's members do.
    Refusal Prepare();
    void Start();
    void ClosePort();
    std::string PlinovaIni() const;
    void Reprint(const QString& dados);

    // Marks the spooler busy for one cycle or reprint; however it ends, a stop requested
    // meanwhile then closes the window.
    class WorkScope {
    public:
        explicit WorkScope(SpoolerPrivate& spooler);
        ~WorkScope();
        WorkScope(const WorkScope&) = delete;
        WorkScope& operator=(const WorkScope&) = delete;

    private:
        SpoolerPrivate& spooler_;
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
        QByteArray fingerprint; // of the columns above, for the journal
    };

    QString ReadGlobalConfig(const QString& key, const QString& def);

    // One polling cycle; the timer runs it once per tick. An error ends it and leaves the
    // timer stopped.
    void ttTimer();
    // The cycle's steps. The station's next job, read from the queue query, which stays open
    // until CloseQueue(); none when the queue is empty. The job the journal holds unfinished
    // comes first; when it is no longer queued the journal records it done.
    std::optional<Job> OpenQueue();
    // The queue query's current row.
    Job ReadJob();
    void CloseQueue();
    // The cycle of a drawer job, and of a print job up to its removed card; false when a stop
    // left the job queued.
    void PulseDrawer(const Job& job, const journal::Entry* known);
    bool PrintJob(const Job& job, const journal::Entry* known);
    // Logs a print job in the history with the given time.
    void LogJob(const Job& job, const QDateTime& datahora);
    // Whether the history holds the row logged for the job at that time.
    bool HistoryHoldsRow(qint32 id, const QDateTime& logged);
    // Takes back the history row LogJob() wrote, for a job a stop left unprinted.
    void WithdrawLog(qint32 id, const QDateTime& logged);
    // Deletes the last job taken (none when LastId is 0).
    void DeleteLastJob();
    // The journal's record of a step already taken. A failure is kept in journalFailure_
    // rather than raised: the card or the pulse is out, so the cycle still deletes the job,
    // then fails.
    void RecordTaken(journal::Record record);
    void ReadJournal();
    void AtStep(Step step);
    // A note for whoever sets the station up.
    void Note(const QString& text);
    // A note on what a start did for the job the journal held: `what` names the job as %1.
    void NoteOnJob(qint32 id, const QString& what);

    // The card printer dialogue.
    void SendInitialisation();
    // What the card print tells its caller as it goes: `fed` once the form feed has left the
    // port (the card is printed and ejected), before the pause that follows it; `released`
    // once the release has too, before the card is awaited out.
    struct CardMoments {
        std::function<void()> fed;
        std::function<void()> released;
    };
    // False when a stop ended the wait for a card, so that nothing was printed.
    bool PrintCard(const Card& card, const CardMoments& moments = {});
    bool PrintCardBody(const Card& card, const CardMoments& moments);
    // Lets a printed card go, as the card print does after its form feed, and waits until
    // the release has left the port.
    void ReleaseCard();
    // Waits until the port's output queue is empty.
    void DrainOutput();
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
    // The error of this cycle's first journal record that failed after its step was taken;
    // raised once the job is deleted.
    std::exception_ptr journalFailure_;
    // A title whose card had no line to put it under: the next card without a title of its
    // own, a reprint, carries it.
    std::optional<QString> Titulo;
    // The job in hand and how far its cycle got, on the disk.
    journal::StationJournal journal_;

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
    db::TDbQuery findHistory_{&cn};
    QTimer tt;
};
