#include "app/core/Spooler.h"

#include <QDateTime>

#include "app/core/ConfigValues.h"
#include "app/core/SpoolerView.h"

Spooler::WorkScope::WorkScope(Spooler& spooler) : spooler_(spooler) {
    spooler_.busy_ = true;
}

Spooler::WorkScope::~WorkScope() {
    spooler_.busy_ = false;
    if (spooler_.stopRequested_)
        spooler_.view_.CloseLater();
}

void Spooler::ttTimer() {
    const WorkScope work(*this);
    tt.stop();
    q_print.ParamByName(QStringLiteral("posto")).SetValue(Posto);
    q_print.Open();
    // A failing cycle still releases the query, so that its connection is not held while
    // the error is shown and polling stays stopped.
    try {
        if (!q_print.IsEmpty()) {
            const qint32 id = q_print.FieldAsInteger(QStringLiteral("id"));
            const qint32 cartao = q_print.FieldAsInteger(QStringLiteral("cartao"));
            view_.ShowCardNumber(q_print.FieldIsNull(QStringLiteral("cartao"))
                                     ? QString()
                                     : QString::number(cartao));
            if (q_print.FieldAsInteger(QStringLiteral("gaveta")) != 0) {
                WriteAll(std::string("\x1B\x70\x00\xC8\xC8", 5));
            } else {
                const QString dados = q_print.FieldAsString(QStringLiteral("dados"));
                const qint32 titulo = q_print.FieldAsInteger(QStringLiteral("titulo"));
                const QString palavrachave = q_print.FieldAsString(QStringLiteral("palavrachave"));
                Titulo = titulo == 1;
                PalavraChave = palavrachave;
                view_.ShowMemoText(dados);
                view_.ProcessPendingEvents();
                // A stop requested meanwhile leaves the job queued for the next start.
                if (stopRequested_) {
                    q_print.Close();
                    return;
                }

                const QDateTime datahora = QDateTime::currentDateTime();
                q_addhist.ParamByName(QStringLiteral("datahora")).SetValue(datahora);
                q_addhist.ParamByName(QStringLiteral("id")).SetValue(id);
                q_addhist.ParamByName(QStringLiteral("titulo")).SetValue(titulo);
                q_addhist.ParamByName(QStringLiteral("dados")).SetValue(dados);
                q_addhist.ParamByName(QStringLiteral("palavrachave")).SetValue(palavrachave);
                q_addhist.ParamByName(QStringLiteral("cartao")).SetValue(cartao);
                q_addhist.ParamByName(QStringLiteral("previsao"))
                    .SetValue(config::HistoryPreview(dados));
                q_addhist.ParamByName(QStringLiteral("datavalor")).SetValue(DataValor.startOfDay());
                q_addhist.Execute();

                if (!PrintCard()) {
                    // Stopped before a card came: the job stays queued and is printed and
                    // logged at the next start, so its row now would be a second one for a
                    // single card.
                    withdrawHistory_.ParamByName(QStringLiteral("id")).SetValue(id);
                    withdrawHistory_.ParamByName(QStringLiteral("since"))
                        .SetValue(datahora.addSecs(-1));
                    withdrawHistory_.Execute();
                    q_print.Close();
                    return;
                }
            }
            LastId = id;
        }
    } catch (...) {
        q_print.Close();
        throw;
    }
    q_print.Close();
    q_delete.ParamByName(QStringLiteral("id")).SetValue(LastId);
    q_delete.Execute();
    // The job is gone. Where the database issues ids again (an emptied table whose identity
    // restarts), repeating this delete in the idle cycles would remove a new job with the
    // same id unprinted; ids start at 1, so 0 matches nothing.
    LastId = 0;
    if (!stopRequested_)
        tt.start();
    view_.ShowStatus(QStringLiteral("Pronto"), false);
    view_.ShowCardNumber(QString());
}

void Spooler::Reprint(const QString& dados) {
    const WorkScope work(*this);
    tt.stop();
    view_.ShowMemoText(dados);
    PrintCard();
    if (!stopRequested_)
        tt.start();
}
