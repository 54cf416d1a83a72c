#include <QDateTime>
#include <exception>
#include <utility>

#include "HistoryPreview.h"
#include "SpoolerPrivate.h"
#include "app/core/SpoolerView.h"

SpoolerPrivate::WorkScope::WorkScope(SpoolerPrivate& spooler) : spooler_(spooler) {
    spooler_.busy_ = true;
}

SpoolerPrivate::WorkScope::~WorkScope() {
    spooler_.busy_ = false;
    if (spooler_.stopRequested_)
        spooler_.view_.CloseLater();
}

std::optional<SpoolerPrivate::Job> SpoolerPrivate::OpenQueue() {
    q_print.ParamByName(QStringLiteral("posto")).SetValue(Posto);
    q_print.Open();
    if (const std::optional<qint32> unfinished = journal_.Unfinished()) {
        // The job in hand when the program stopped comes first, whatever the order of the rows:
        // another job's journal would replace its record, and it would be done again.
        for (int row = 0; row < q_print.RecordCount(); ++row) {
            q_print.SetRecNo(row);
            if (q_print.FieldAsInteger(QStringLiteral("id")) != *unfinished)
                continue;
            Job job = ReadJob();
            if (journal_.InHand(job.id, job.fingerprint) != nullptr)
                return job;
            break;
        }
        // Deleted before its journal said so, or by another program; a row with its id now is
        // another job.
        NoteOnJob(*unfinished,
                  QStringLiteral("job %1 is no longer queued; nothing is left to do for it"));
        journal_.Append(journal::Record::Done);
    }
    if (q_print.IsEmpty())
        return std::nullopt;
    q_print.First();
    return ReadJob();
}

SpoolerPrivate::Job SpoolerPrivate::ReadJob() {
    Job job;
    job.id = q_print.FieldAsInteger(QStringLiteral("id"));
    job.cartao = q_print.FieldAsInteger(QStringLiteral("cartao"));
    job.cartaoNull = q_print.FieldIsNull(QStringLiteral("cartao"));
    job.gaveta = q_print.FieldAsInteger(QStringLiteral("gaveta")) != 0;
    if (!job.gaveta) {
        job.dados = q_print.FieldAsString(QStringLiteral("dados"));
        job.titulo = q_print.FieldAsInteger(QStringLiteral("titulo"));
        job.palavrachave = q_print.FieldAsString(QStringLiteral("palavrachave"));
    }
    job.fingerprint = journal::Fingerprint(
        Posto, job.gaveta, job.cartaoNull ? std::nullopt : std::optional(job.cartao), job.titulo,
        job.palavrachave, job.dados);
    return job;
}

void SpoolerPrivate::CloseQueue() {
    q_print.Close();
}

void SpoolerPrivate::LogJob(const Job& job, const QDateTime& datahora) {
    q_addhist.ParamByName(QStringLiteral("datahora")).SetValue(datahora);
    q_addhist.ParamByName(QStringLiteral("id")).SetValue(job.id);
    q_addhist.ParamByName(QStringLiteral("titulo")).SetValue(job.titulo);
    q_addhist.ParamByName(QStringLiteral("dados")).SetValue(job.dados);
    q_addhist.ParamByName(QStringLiteral("palavrachave")).SetValue(job.palavrachave);
    q_addhist.ParamByName(QStringLiteral("cartao")).SetValue(job.cartao);
    q_addhist.ParamByName(QStringLiteral("previsao")).SetValue(HistoryPreview(job.dados));
    q_addhist.ParamByName(QStringLiteral("datavalor")).SetValue(DataValor.startOfDay());
    q_addhist.Execute();
}

// Matched from a second before the row's time, as the withdrawal matches it: a column that
// rounds its times still matches, and an older row of an id issued again does not.
bool SpoolerPrivate::HistoryHoldsRow(qint32 id, const QDateTime& logged) {
    findHistory_.ParamByName(QStringLiteral("id")).SetValue(id);
    findHistory_.ParamByName(QStringLiteral("since")).SetValue(logged.addSecs(-1));
    findHistory_.Open();
    const bool found = !findHistory_.IsEmpty();
    findHistory_.Close();
    return found;
}

void SpoolerPrivate::WithdrawLog(qint32 id, const QDateTime& logged) {
    withdrawHistory_.ParamByName(QStringLiteral("id")).SetValue(id);
    withdrawHistory_.ParamByName(QStringLiteral("since")).SetValue(logged.addSecs(-1));
    withdrawHistory_.Execute();
}

void SpoolerPrivate::DeleteLastJob() {
    q_delete.ParamByName(QStringLiteral("id")).SetValue(LastId);
    q_delete.Execute();
    // The job is gone. Where the database issues ids again (an emptied table whose identity
    // restarts), repeating this delete in the idle cycles would remove a new job with the
    // same id unprinted; ids start at 1, so 0 matches nothing.
    LastId = 0;
}

void SpoolerPrivate::RecordTaken(journal::Record record) {
    try {
        journal_.Append(record);
    } catch (const journal::JournalError&) {
        if (!journalFailure_)
            journalFailure_ = std::current_exception();
    }
}

void SpoolerPrivate::AtStep(Step step) {
    if (setup_.onStep)
        setup_.onStep(step);
}

namespace {

journal::Entry EntryFor(qint32 id, bool drawer, qint32 cartao, bool cartaoNull,
                        const QByteArray& fingerprint, std::optional<QDateTime> logged) {
    journal::Entry entry;
    entry.id = id;
    entry.drawer = drawer;
    if (!cartaoNull)
        entry.cartao = cartao;
    entry.fingerprint = fingerprint;
    entry.logged = std::move(logged);
    return entry;
}

} // namespace

void SpoolerPrivate::PulseDrawer(const Job& job, const journal::Entry* known) {
    if (known != nullptr && known->pulsed) {
        NoteOnJob(job.id,
                  QStringLiteral("the drawer of job %1 was opened before the program stopped; "
                                 "the job is deleted without opening it again"));
        return;
    }
    if (known == nullptr) {
        journal_.Begin(
            EntryFor(job.id, true, job.cartao, job.cartaoNull, job.fingerprint, std::nullopt));
        AtStep(Step::JobJournalled);
    }
    WriteAll(std::string("\x1B\x70\x00\xC8\xC8", 5));
    DrainOutput();
    AtStep(Step::DrawerPulsed);
    RecordTaken(journal::Record::Pulsed);
    AtStep(Step::DrawerJournalled);
}

bool SpoolerPrivate::PrintJob(const Job& job, const journal::Entry* known) {
    if (known != nullptr && known->cardComplete) {
        NoteOnJob(job.id,
                  QStringLiteral("the card of job %1 was printed before the program stopped; the "
                                 "job is deleted without printing it again"));
        return true;
    }
    if (known != nullptr && known->cardFed) {
        // Printed and ejected, but the program stopped before it let the card go: the card is
        // let go now, and the next card waits until the operator has taken it out.
        NoteOnJob(job.id,
                  QStringLiteral("the card of job %1 was printed before the program stopped, but "
                                 "not released; it is released now and the job deleted without "
                                 "printing it again"));
        ReleaseCard();
        AtStep(Step::CardReleased);
        RecordTaken(journal::Record::CardComplete);
        AtStep(Step::CardJournalled);
        return true;
    }
    const Card card =
        card::MakeCard(job.titulo == 1 ? std::optional(job.palavrachave) : std::nullopt, job.dados);
    view_.ShowMemoText(job.dados);
    view_.ProcessPendingEvents();
    // A stop requested meanwhile leaves the job queued for the next start.
    if (stopRequested_)
        return false;
    QDateTime logged;
    if (known != nullptr && known->logged && HistoryHoldsRow(job.id, *known->logged)) {
        logged = *known->logged;
        NoteOnJob(job.id,
                  QStringLiteral("job %1 was logged before the program stopped; its card is "
                                 "printed without a second history row"));
    } else {
        // The row's time is on the disk before the row, so that a start after a stop at any
        // moment of the insert can tell whether the row was written.
        logged = QDateTime::currentDateTime();
        journal_.Begin(
            EntryFor(job.id, false, job.cartao, job.cartaoNull, job.fingerprint, logged));
        AtStep(Step::JobJournalled);
        LogJob(job, logged);
        AtStep(Step::Logged);
    }
    CardMoments moments;
    moments.fed = [&] {
        AtStep(Step::CardFed);
        RecordTaken(journal::Record::CardFed);
        AtStep(Step::CardFedJournalled);
    };
    moments.released = [&] {
        AtStep(Step::CardReleased);
        RecordTaken(journal::Record::CardComplete);
        AtStep(Step::CardJournalled);
    };
    const bool printed = PrintCard(card, moments);
    if (!printed) {
        // Stopped before a card came: the job stays queued and is printed and logged at the
        // next start, so its row now would be a second one for a single card.
        WithdrawLog(job.id, logged);
        return false;
    }
    AtStep(Step::CardRemoved);
    return true;
}

void SpoolerPrivate::ttTimer() {
    const WorkScope work(*this);
    tt.stop();
    journalFailure_ = nullptr;
    // A failing cycle still releases the query, so that its connection is not held while
    // the error is shown and polling stays stopped.
    try {
        if (const std::optional<Job> job = OpenQueue()) {
            view_.ShowCardNumber(job->cartaoNull ? QString() : QString::number(job->cartao));
            AtStep(Step::JobTaken);
            const journal::Entry* known = journal_.InHand(job->id, job->fingerprint);
            if (job->gaveta) {
                PulseDrawer(*job, known);
            } else if (!PrintJob(*job, known)) {
                CloseQueue();
                return;
            }
            LastId = job->id;
        }
    } catch (...) {
        CloseQueue();
        throw;
    }
    CloseQueue();
    const qint32 deleting = LastId;
    DeleteLastJob();
    if (deleting != 0) {
        AtStep(Step::Deleted);
        RecordTaken(journal::Record::Done);
        AtStep(Step::Finished);
    }
    if (journalFailure_)
        std::rethrow_exception(std::exchange(journalFailure_, nullptr));
    if (!stopRequested_)
        tt.start();
    view_.ShowStatus(QStringLiteral("Pronto"), false);
    view_.ShowCardNumber(QString());
}

void SpoolerPrivate::Reprint(const QString& dados) {
    const WorkScope work(*this);
    tt.stop();
    view_.ShowMemoText(dados);
    PrintCard(card::MakeCard(Titulo, dados));
    if (!stopRequested_)
        tt.start();
}
