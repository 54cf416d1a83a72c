#include "MainWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStackedWidget>
#include <QTableView>

#include "ErrorReport.h"

void Tmain::btopenClick() {
    if (height() == 26) {
        pcontrol->setCurrentIndex(0);
        resize(width(), 500);
    } else {
        resize(width(), 26);
        if (history_.Active())
            CloseHistory();
    }
}

void Tmain::btfecharClick() {
    if (history_.Active())
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
    if (history_.Up())
        lista->selectRow(history_.CurrentRow());
}

void Tmain::btdownClick() {
    if (history_.Down())
        lista->selectRow(history_.CurrentRow());
}

void Tmain::btprintClick() {
    // A reprint waits for no cycle: while one runs (or after an error stopped polling) the
    // click is refused with a beep, so the window never blocks on it.
    if (!core_.Polling()) {
        QApplication::beep();
        return;
    }
    core_.Reprint(history_.CurrentText());
}

void Tmain::btcloseClick() {
    showMinimized();
}

bool Tmain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lista && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) {
            reports_.Run([this] {
                if (history_.CurrentRow() < 0)
                    return;
                if (!reports_.Confirm(this, QStringLiteral("Delete record?")))
                    return;
                history_.DeleteCurrent();
                ShowHistory();
            });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
