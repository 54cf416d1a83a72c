#include "HistoryModel.h"

#include <QDateTime>
#include <QLocale>

#include "db/Query.h"
#include "db/ValueForms.h"

namespace {

const char* const kFields[3] = {"datahora", "cartao", "previsao"};
const char* const kTitles[3] = {"Hora", "Cartão", "Texto"};

// A cell shows one line, cut at the column's edge: line breaks show as blanks, and a text far
// longer than any column is shortened first so that a huge value costs no more to draw.
constexpr int kMaxCellChars = 256;

QString CellText(const QString& text) {
    QString line = text.left(kMaxCellChars);
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    for (QChar& c : line)
        if (c == u'\r' || c == u'\n' || c == u'\t')
            c = u' ';
    return line;
}

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
    if (!index.isValid() || !query_->Active() || columns_[index.column()] < 0)
        return {};
    if (role == Qt::TextAlignmentRole) {
        // Numbers line up on the right, texts on the left.
        return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                   : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole)
        return {};
    const QVariant value = query_->Value(index.row(), columns_[index.column()]);
    if (value.isNull())
        return {};
    if (index.column() == 0) {
        // No display format of its own: the system's date and time text.
        bool ok = false;
        const QDateTime when = db::DateTimeFromValue(value, &ok);
        return ok ? QLocale::system().toString(when, QLocale::ShortFormat) : value.toString();
    }
    return CellText(value.toString());
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
