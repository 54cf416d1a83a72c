#include <QDateTime>

#include "app/core/ConfigValues.h"
#include "app/core/Spooler.h"
#include "app/core/SpoolerView.h"

Spooler::WorkScope::WorkScope(Spooler& spooler) : spooler_(spooler) {
    spooler_.busy_ = true;
}

Spooler::WorkScope::~WorkScope() {
    spooler_.busy_ = false;
    if (spooler_.stopRequested_)
        spooler_.view_.CloseLater();
}

std::optional<Spooler::Job> Spooler::OpenQueue() {
    q_print.ParamByName(QStringLiteral("posto")).SetValue(Posto);
    q_print.Open();
    if (q_print.IsEmpty())
        return std::nullopt;
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
    return job;
}

void Spooler::CloseQueue() {
    q_print.Close();
}

QDateTime Spooler::LogJob(const Job& job) {
    const QDateTime datahora = QDateTime::currentDateTime();
    q_addhist.ParamByName(QStringLiteral("datahora")).SetValue(datahora);
    q_addhist.ParamByName(QStringLiteral("id")).SetValue(job.id);
    q_addhist.ParamByName(QStringLiteral("titulo")).SetValue(job.titulo);
    q_addhist.ParamByName(QStringLiteral("dados")).SetValue(job.dados);
    q_addhist.ParamByName(QStringLiteral("palavrachave")).SetValue(job.palavrachave);
    q_addhist.ParamByName(QStringLiteral("cartao")).SetValue(job.cartao);
    q_addhist.ParamByName(QStringLiteral("previsao")).SetValue(config::HistoryPreview(job.dados));
    q_addhist.ParamByName(QStringLiteral("datavalor")).SetValue(DataValor.startOfDay());
    q_addhist.Execute();
    return datahora;
}

void Spooler::WithdrawLog(qint32 id, const QDateTime& logged) {
    withdrawHistory_.ParamByName(QStringLiteral("id")).SetValue(id);
    withdrawHistory_.ParamByName(QStringLiteral("since")).SetValue(logged.addSecs(-1));
    withdrawHistory_.Execute();
}

void Spooler::DeleteLastJob() {
    q_delete.ParamByName(QStringLiteral("id")).SetValue(LastId);
    q_delete.Execute();
    // The job is gone. Where the database issues ids again (an emptied table whose identity
    // restarts), repeating this delete in the idle cycles would remove a new job with the
    // same id unprinted; ids start at 1, so 0 matches nothing.
    LastId = 0;
}

void Spooler::ttTimer() {
    const WorkScope work(*this);
    tt.stop();
    // A failing cycle still releases the query, so that its connection is not held while
    // the error is shown and polling stays stopped.
    try {
        if (const std::optional<Job> job = OpenQueue()) {
            view_.ShowCardNumber(job->cartaoNull ? QString() : QString::number(job->cartao));
            if (job->gaveta) {
                WriteAll(std::string("\x1B\x70\x00\xC8\xC8", 5));
            } else {
                const Card card = card::MakeCard(
                    job->titulo == 1 ? std::optional(job->palavrachave) : std::nullopt, job->dados);
                view_.ShowMemoText(job->dados);
                view_.ProcessPendingEvents();
                // A stop requested meanwhile leaves the job queued for the next start.
                if (stopRequested_) {
                    CloseQueue();
                    return;
                }
                const QDateTime logged = LogJob(*job);
                if (!PrintCard(card)) {
                    // Stopped before a card came: the job stays queued and is printed and
                    // logged at the next start, so its row now would be a second one for a
                    // single card.
                    WithdrawLog(job->id, logged);
                    CloseQueue();
                    return;
                }
            }
            LastId = job->id;
        }
    } catch (...) {
        CloseQueue();
        throw;
    }
    CloseQueue();
    DeleteLastJob();
    if (!stopRequested_)
        tt.start();
    view_.ShowStatus(QStringLiteral("Pronto"), false);
    view_.ShowCardNumber(QString());
}

void Spooler::Reprint(const QString& dados) {
    const WorkScope work(*this);
    tt.stop();
    view_.ShowMemoText(dados);
    PrintCard(card::MakeCard(Titulo, dados));
    if (!stopRequested_)
        tt.start();
}
