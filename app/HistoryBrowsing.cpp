#include "app/_main.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTableView>

#include "app/ErrorReport.h"
#include "app/HistoryGrid.h"
#include "app/HistoryModel.h"

void Tmain::OpenHistory() {
    try {
        core_.q_hist.Open();
    } catch (...) {
        ShowHistory();
        throw;
    }
    ShowHistory();
}

void Tmain::CloseHistory() {
    if (core_.q_hist.Active())
        core_.q_hist.Close();
    ShowHistory();
}

void Tmain::ShowHistory() {
    db::TDbQuery& q_hist = core_.q_hist;
    d_hist->Refresh();
    ApplyHistoryColumnWidths(lista);
    if (q_hist.Active() && !q_hist.IsEmpty())
        lista->selectRow(q_hist.RecNo());
}

void Tmain::btopenClick() {
    if (height() == 26) {
        pcontrol->setCurrentIndex(0);
        resize(width(), 500);
    } else {
        resize(width(), 26);
        if (core_.q_hist.Active())
            CloseHistory();
    }
}

void Tmain::btfecharClick() {
    if (core_.q_hist.Active())
        CloseHistory();
    resize(width(), 26);
}

void Tmain::btmodClick() {
    if (pcontrol->currentIndex() == 0) {
        pcontrol->setCurrentIndex(1);
        OpenHistory();
    } else {
        pcontrol->setCurrentIndex(0);
        CloseHistory();
    }
}

void Tmain::btupClick() {
    db::TDbQuery& q_hist = core_.q_hist;
    if (q_hist.Active() && !q_hist.IsEmpty() && q_hist.RecNo() > 0) {
        q_hist.Prior();
        lista->selectRow(q_hist.RecNo());
    }
}

void Tmain::btdownClick() {
    db::TDbQuery& q_hist = core_.q_hist;
    if (q_hist.Active() && !q_hist.IsEmpty() && q_hist.RecNo() < q_hist.RecordCount() - 1) {
        q_hist.Next();
        lista->selectRow(q_hist.RecNo());
    }
}

void Tmain::btprintClick() {
    // A reprint waits for no cycle: while one runs (or after an error stopped polling) the
    // click is refused with a beep, so the window never blocks on it.
    if (!core_.TimerEnabled()) {
        QApplication::beep();
        return;
    }
    const db::TDbQuery& q_hist = core_.q_hist;
    QString dados;
    if (q_hist.Active() && !q_hist.IsEmpty())
        dados = q_hist.FieldAsString(QStringLiteral("dados"));
    core_.Reprint(dados);
}

void Tmain::btcloseClick() {
    showMinimized();
}

bool Tmain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lista && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) {
            report::Run([this] {
                db::TDbQuery& q_hist = core_.q_hist;
                if (!q_hist.Active() || q_hist.IsEmpty())
                    return;
                if (!report::Confirm(this, QStringLiteral("Delete record?")))
                    return;
                const int row = q_hist.RecNo();
                q_hist.DeleteCurrent();
                d_hist->Refresh();
                if (!q_hist.IsEmpty()) {
                    q_hist.SetRecNo(qMin(row, q_hist.RecordCount() - 1));
                }
                ShowHistory();
            });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
