#pragma once

#include <QAbstractTableModel>

namespace db {
class TDbQuery;
}

// The history grid's data source: the three shown columns of the open history query's
// snapshot. Rows exist only while the query is open.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit HistoryModel(db::TDbQuery* query, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Call after the query opened, closed or lost a row.
    void Refresh();

private:
    db::TDbQuery* query_;
    int columns_[3] = {-1, -1, -1};
};
