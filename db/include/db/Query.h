#pragma once

#include "db/Statement.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

namespace db {

// A query whose whole result is fetched at Open into a client-side snapshot, positioned on the
// first row. While it is open it keeps the connection open.
class TDbQuery : public TDbStatement {
public:
    using TDbStatement::TDbStatement;
    ~TDbQuery() override;

    void Open();  // connects on demand; DbError with the driver's message
    void Close(); // releases the connection unless something else keeps it
    bool Active() const { return active_; }
    bool IsEmpty() const { return rows_.empty(); }

    // Bof: at the first row after Open/First or after Prior found no earlier row.
    // Eof: Next found no later row, or after Last, or the snapshot is empty.
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    void First();
    void Last();
    void Next();
    void Prior();

    int RecordCount() const { return int(rows_.size()); }
    int RecNo() const { return recNo_; } // 0-based; -1 when empty
    void SetRecNo(int row);

    int FieldCount() const { return int(fields_.size()); }
    QString FieldName(int i) const;
    int FieldIndex(const QString& name) const; // -1 when there is none
    QVariant Value(int row, int col) const;

    // The current row's fields, found by name without regard to case. NULL reads as 0, as ""
    // and as an invalid date-time. DbError for a closed query, an unknown field or a value
    // that does not convert.
    qint32 FieldAsInteger(const QString& name) const;
    QString FieldAsString(const QString& name) const;
    QDateTime FieldAsDateTime(const QString& name) const;
    bool FieldIsNull(const QString& name) const;
    QVariant FieldValue(const QString& name) const;

    // Deletes the current row from its table: by the table's primary key when it has one and
    // the snapshot holds it, otherwise one row equal in every column. Then removes it from the
    // snapshot. DbError when the snapshot cannot be changed or the row is no longer there.
    void DeleteCurrent();

protected:
    void SqlChanging() override { Close(); }

private:
    void RequireActive() const;
    QString TableName() const;

    bool active_ = false;
    QStringList fields_;
    std::vector<std::vector<QVariant>> rows_;
    int recNo_ = -1;
    bool bof_ = true;
    bool eof_ = true;
};

} // namespace db
