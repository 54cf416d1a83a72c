#include "db/Query.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ValueForms.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlIndex>
#include <limits>

namespace db {

TDbQuery::~TDbQuery() {
    Close();
}

void TDbQuery::Open() {
    if (active_)
        return;
    cn_->Acquire();
    try {
        StatementResult result = Run();
        fields_ = std::move(result.fields);
        rows_ = std::move(result.rows);
    } catch (...) {
        cn_->Release();
        throw;
    }
    active_ = true;
    cn_->QueryOpened();
    First();
}

void TDbQuery::Close() {
    if (!active_)
        return;
    active_ = false;
    fields_.clear();
    rows_.clear();
    recNo_ = -1;
    bof_ = eof_ = true;
    cn_->QueryClosed();
}

void TDbQuery::RequireActive() const {
    if (!active_)
        throw DbError(QStringLiteral("The query is not open"));
}

void TDbQuery::First() {
    RequireActive();
    recNo_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
}

void TDbQuery::Last() {
    RequireActive();
    recNo_ = int(rows_.size()) - 1;
    eof_ = true;
    bof_ = rows_.empty();
}

void TDbQuery::Next() {
    RequireActive();
    if (recNo_ + 1 >= int(rows_.size())) {
        eof_ = true;
        return;
    }
    ++recNo_;
    bof_ = false;
}

void TDbQuery::Prior() {
    RequireActive();
    if (recNo_ <= 0) {
        bof_ = true;
        return;
    }
    --recNo_;
    eof_ = false;
}

void TDbQuery::SetRecNo(int row) {
    RequireActive();
    if (row < 0 || row >= int(rows_.size()))
        throw DbError(QStringLiteral("Row %1 is out of range").arg(row));
    recNo_ = row;
    bof_ = eof_ = false;
}

QString TDbQuery::FieldName(int i) const {
    if (i < 0 || i >= fields_.size())
        throw DbError(QStringLiteral("Field index %1 out of range").arg(i));
    return fields_.at(i);
}

int TDbQuery::FieldIndex(const QString& name) const {
    for (int i = 0; i < fields_.size(); ++i) {
        if (fields_.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant TDbQuery::Value(int row, int col) const {
    if (row < 0 || row >= int(rows_.size()) || col < 0 || col >= fields_.size())
        throw DbError(QStringLiteral("Cell (%1, %2) out of range").arg(row).arg(col));
    return rows_[size_t(row)][size_t(col)];
}

QVariant TDbQuery::FieldValue(const QString& name) const {
    RequireActive();
    const int col = FieldIndex(name);
    if (col < 0)
        throw DbError(QStringLiteral("Field '%1' not found").arg(name));
    if (recNo_ < 0)
        return QVariant();
    return rows_[size_t(recNo_)][size_t(col)];
}

bool TDbQuery::FieldIsNull(const QString& name) const {
    const QVariant v = FieldValue(name);
    return !v.isValid() || v.isNull();
}

qint32 TDbQuery::FieldAsInteger(const QString& name) const {
    const QVariant v = FieldValue(name);
    if (!v.isValid() || v.isNull())
        return 0;
    bool ok = false;
    qlonglong n = v.toLongLong(&ok);
    if (!ok) {
        // Text columns may hold a number with blanks around it.
        n = v.toString().trimmed().toLongLong(&ok);
    }
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        throw DbError(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                          .arg(v.toString(), name));
    return qint32(n);
}

QString TDbQuery::FieldAsString(const QString& name) const {
    const QVariant v = FieldValue(name);
    // An empty column reads as the empty text, which binds as text again, not as NULL.
    if (!v.isValid() || v.isNull())
        return QStringLiteral("");
    if (v.typeId() == QMetaType::QDateTime)
        return DateTimeText(v.toDateTime());
    return v.toString();
}

QDateTime TDbQuery::FieldAsDateTime(const QString& name) const {
    const QVariant v = FieldValue(name);
    bool ok = false;
    const QDateTime dt = DateTimeFromValue(v, &ok);
    if (!ok)
        throw DbError(QStringLiteral("'%1' is not a valid date-time value for field '%2'")
                          .arg(v.toString(), name));
    return dt;
}

QString TDbQuery::TableName() const {
    const QString sql = ParsedSQL();
    static const QRegularExpression from(
        QStringLiteral(R"(\bFROM\s+("[^"]+"|\[[^\]]+\]|[A-Za-z_][A-Za-z0-9_.]*))"),
        QRegularExpression::CaseInsensitiveOption);
    // A join, a union or a list of tables: the snapshot's rows belong to no single table.
    static const QRegularExpression combined(
        QStringLiteral(R"(\b(JOIN|UNION|INTERSECT|EXCEPT|GROUP\s+BY|DISTINCT)\b)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tableList(
        QStringLiteral(R"(^\s*(AS\s+)?([A-Za-z_][A-Za-z0-9_]*\s*)?,)"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList tables;
    QString rest;
    for (auto it = from.globalMatch(sql); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        tables << m.captured(1);
        rest = sql.mid(m.capturedEnd(1));
    }
    if (tables.size() != 1 || combined.match(sql).hasMatch() || tableList.match(rest).hasMatch())
        throw DbError(QStringLiteral("The rows of this query cannot be deleted: it does not "
                                     "read a single table"));
    QString table = tables.front();
    if ((table.startsWith(u'"') && table.endsWith(u'"')) ||
        (table.startsWith(u'[') && table.endsWith(u']')))
        table = table.mid(1, table.size() - 2);
    return table;
}

void TDbQuery::DeleteCurrent() {
    RequireActive();
    if (recNo_ < 0)
        throw DbError(QStringLiteral("There is no row to delete"));
    const QString table = TableName();
    const std::vector<QVariant>& row = rows_[size_t(recNo_)];

    cn_->Acquire();
    try {
        QSqlDatabase& database = cn_->Database();
        const QString dbms = cn_->DbmsName();
        QSqlDriver* driver = database.driver();
        auto quoted = [&](const QString& field) {
            return driver->escapeIdentifier(field, QSqlDriver::FieldName);
        };

        // The key columns: the primary key when the snapshot holds all of it, else every column.
        QList<int> columns;
        const QSqlIndex key = database.primaryIndex(table);
        for (int i = 0; i < key.count(); ++i) {
            const int col = FieldIndex(key.fieldName(i));
            if (col < 0) {
                columns.clear();
                break;
            }
            columns << col;
        }
        const bool byKey = !columns.isEmpty();
        if (!byKey) {
            for (int i = 0; i < fields_.size(); ++i)
                columns << i;
        }

        const QString target = driver->escapeIdentifier(table, QSqlDriver::TableName);
        QString prefix;
        QString suffix;
        if (byKey) {
            prefix = QStringLiteral("DELETE FROM %1 WHERE ").arg(target);
        } else if (dbms == u"sqlite") {
            prefix = QStringLiteral("DELETE FROM %1 WHERE rowid IN (SELECT rowid FROM %1 WHERE ")
                         .arg(target);
            suffix = QStringLiteral(" LIMIT 1)");
        } else if (dbms == u"postgresql") {
            prefix = QStringLiteral("DELETE FROM %1 WHERE ctid IN (SELECT ctid FROM %1 WHERE ")
                         .arg(target);
            suffix = QStringLiteral(" LIMIT 1)");
        } else if (dbms == u"sqlserver") {
            prefix = QStringLiteral("DELETE TOP (1) FROM %1 WHERE ").arg(target);
        } else {
            throw DbError(QStringLiteral("The rows of table '%1' cannot be deleted: it has no "
                                         "primary key")
                              .arg(table));
        }

        // Each column equal to the row's value, or NULL; values bound by position.
        BoundStatement statement{prefix, {}, {}};
        for (int col : columns) {
            if (statement.text.size() > prefix.size())
                statement.text += QStringLiteral(" AND ");
            statement.text += quoted(fields_.at(col));
            const QVariant& v = row[size_t(col)];
            if (!v.isValid() || v.isNull()) {
                statement.text += QStringLiteral(" IS NULL");
                continue;
            }
            statement.text += QStringLiteral(" = ");
            statement.markerAt.append(statement.text.size());
            statement.text += u'?';
            TDbParameter p;
            p.Name = fields_.at(col);
            p.SetValue(v);
            statement.values.push_back(BindValue(p, cn_->QtDriver(), dbms));
        }
        statement.text += suffix;
        if (cn_->Run(statement).rowsAffected == 0)
            throw DbError(
                QStringLiteral("The row to delete is no longer in table '%1'").arg(table));
    } catch (...) {
        cn_->Release();
        throw;
    }
    cn_->Release();

    rows_.erase(rows_.begin() + recNo_);
    if (rows_.empty()) {
        recNo_ = -1;
        bof_ = eof_ = true;
    } else if (recNo_ >= int(rows_.size())) {
        recNo_ = int(rows_.size()) - 1;
    }
}

} // namespace db
