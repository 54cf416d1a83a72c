#include "app/HistoryModel.h"

#include <QDateTime>
#include <QLocale>

#include "db/Query.h"

namespace {

const char* const kFields[3] = {"datahora", "cartao", "previsao"};
const char* const kTitles[3] = {"Hora", "Cartão", "Texto"};

} // namespace

HistoryModel::HistoryModel(db::TDbQuery* query, QObject* parent)
    : QAbstractTableModel(parent), query_(query) {}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !query_->Active())
        return 0;
    return query_->RecordCount();
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || !query_->Active() ||
        columns_[index.column()] < 0)
        return {};
    const QVariant value = query_->Value(index.row(), columns_[index.column()]);
    if (value.isNull())
        return {};
    if (index.column() == 0) {
        // No display format of its own: the system's date and time text.
        const QDateTime when = value.toDateTime();
        return QLocale::system().toString(when, QLocale::ShortFormat);
    }
    return value.toString();
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section > 2)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromUtf8(kTitles[section]);
    case Qt::TextAlignmentRole:
        return Qt::AlignCenter;
    default:
        return {};
    }
}

void HistoryModel::Refresh() {
    beginResetModel();
    for (int c = 0; c < 3; ++c) {
        columns_[c] = -1;
        if (!query_->Active())
            continue;
        for (int i = 0; i < query_->FieldCount(); ++i)
            if (query_->FieldName(i).compare(QLatin1String(kFields[c]), Qt::CaseInsensitive) == 0)
                columns_[c] = i;
    }
    endResetModel();
}
