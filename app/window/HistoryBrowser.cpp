#include "HistoryBrowser.h"

HistoryBrowser::HistoryBrowser(db::TDbConnection& connection) : q_hist(&connection) {
    q_hist.SetSQL(Sql());
}

QStringList HistoryBrowser::Sql() {
    return {QStringLiteral("SELECT * FROM historico ORDER BY id DESC")};
}

void HistoryBrowser::Open() {
    try {
        q_hist.Open();
    } catch (...) {
        d_hist.Refresh();
        throw;
    }
    d_hist.Refresh();
}

void HistoryBrowser::Close() {
    if (q_hist.Active())
        q_hist.Close();
    d_hist.Refresh();
}

int HistoryBrowser::CurrentRow() const {
    return q_hist.Active() && !q_hist.IsEmpty() ? q_hist.RecNo() : -1;
}

void HistoryBrowser::SetCurrentRow(int row) {
    if (q_hist.Active() && row != q_hist.RecNo())
        q_hist.SetRecNo(row);
}

bool HistoryBrowser::Up() {
    if (CurrentRow() <= 0)
        return false;
    q_hist.Prior();
    return true;
}

bool HistoryBrowser::Down() {
    const int row = CurrentRow();
    if (row < 0 || row >= q_hist.RecordCount() - 1)
        return false;
    q_hist.Next();
    return true;
}

QString HistoryBrowser::CurrentText() const {
    return CurrentRow() < 0 ? QString() : q_hist.FieldAsString(QStringLiteral("dados"));
}

bool HistoryBrowser::DeleteCurrent() {
    const int row = CurrentRow();
    if (row < 0)
        return false;
    q_hist.DeleteCurrent();
    d_hist.Refresh();
    if (!q_hist.IsEmpty())
        q_hist.SetRecNo(qMin(row, q_hist.RecordCount() - 1));
    return true;
}
