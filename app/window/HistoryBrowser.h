#pragma once

#include <QString>
#include <QStringList>

#include "HistoryModel.h"
#include "db/Query.h"

namespace db {
class TDbConnection;
}

// The history page's data: the history query `q_hist`, open exactly while the page is shown,
// its current row, and the grid's data source `d_hist` over it, reset whenever the query
// opens, closes or loses a row.
class HistoryBrowser {
public:
    explicit HistoryBrowser(db::TDbConnection& connection);

    // The history query's text: every entry, newest first.
    static QStringList Sql();

    HistoryModel& Model() { return d_hist; }
    // The open query, for a look at the current row's other fields.
    const db::TDbQuery& Query() const { return q_hist; }

    bool Active() const { return q_hist.Active(); }
    // Opens the history, newest first; the model is reset however it ends.
    void Open();
    // Closes it when open.
    void Close();

    // The current row, -1 when the history is closed or empty.
    int CurrentRow() const;
    void SetCurrentRow(int row);
    // Move the current row by one; false at either end (and when there is no row).
    bool Up();
    bool Down();
    // The current row's text, empty when there is none.
    QString CurrentText() const;
    // Deletes the current row; the row below it, or else the last one, becomes current.
    // False when there is no row.
    bool DeleteCurrent();

private:
    // The query before the model that reads it, so that the model goes first.
    db::TDbQuery q_hist;
    HistoryModel d_hist{&q_hist};
};
