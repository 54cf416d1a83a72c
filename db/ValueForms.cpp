#include "db/ValueForms.h"

#include "db/DbError.h"

#include <QDate>
#include <QMetaType>
#include <limits>

namespace db {

namespace {

const QString kDateTimeForm = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

DbError ParameterError(const TDbParameter& p, const QString& problem) {
    return DbError(QStringLiteral("Parameter '%1': %2").arg(p.Name, problem));
}

} // namespace

QString DateTimeText(const QDateTime& value) {
    return value.toString(kDateTimeForm);
}

QDateTime DateTimeFromValue(const QVariant& value, bool* ok) {
    *ok = true;
    if (!value.isValid() || value.isNull())
        return QDateTime();
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime();
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().startOfDay();
    const QString text = value.toString().trimmed();
    for (const char* form : {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-ddTHH:mm:ss.zzz",
                             "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm"}) {
        const QDateTime dt = QDateTime::fromString(text, QLatin1String(form));
        if (dt.isValid())
            return dt;
    }
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (date.isValid())
        return date.startOfDay();
    *ok = false;
    return QDateTime();
}

ValueKind KindOf(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
        return ValueKind::Int32;
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return ValueKind::Int64;
    case QMetaType::Bool:
        return ValueKind::Bool;
    case QMetaType::Double:
    case QMetaType::Float:
        return ValueKind::Double;
    case QMetaType::QDateTime:
        return ValueKind::DateTime;
    case QMetaType::QDate:
        return ValueKind::Date;
    case QMetaType::QTime:
        return ValueKind::Time;
    case QMetaType::QByteArray:
        return ValueKind::Bytes;
    default:
        return ValueKind::Text;
    }
}

QVariant BindValue(const TDbParameter& p, const QString& qtDriver, const QString& dbms) {
    const QVariant& v = p.Value;
    const bool isNull = !v.isValid() || v.isNull();
    switch (p.DataType) {
    case FieldType::ftInteger: {
        if (isNull)
            return QVariant(QMetaType::fromType<int>());
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
            throw ParameterError(p,
                                 QStringLiteral("'%1' is not a 32-bit integer").arg(v.toString()));
        return QVariant(qint32(n));
    }
    case FieldType::ftDateTime: {
        bool ok = false;
        const QDateTime dt = DateTimeFromValue(v, &ok);
        if (!ok)
            throw ParameterError(p, QStringLiteral("'%1' is not a date-time").arg(v.toString()));
        // SQLite has no date-time type; PostgreSQL gets the local time as text of no declared
        // type, which the server reads as the time stamp column or comparison needs.
        const bool asText = qtDriver == u"QSQLITE" || qtDriver == u"QPSQL";
        if (!dt.isValid())
            return asText ? QVariant(QMetaType::fromType<QString>())
                          : QVariant(QMetaType::fromType<QDateTime>());
        return asText ? QVariant(DateTimeText(dt)) : QVariant(dt);
    }
    case FieldType::ftString: {
        if (isNull)
            return QVariant(QMetaType::fromType<QString>());
        // Qt binds a null QString as SQL NULL; a value that was given is text, if empty.
        QString text = v.toString();
        if (text.isNull())
            text = QStringLiteral("");
        if (dbms == u"postgresql" && text.contains(QChar(0)))
            throw ParameterError(p, QStringLiteral("PostgreSQL text cannot hold a zero character"));
        return QVariant(text);
    }
    case FieldType::ftUnknown:
        break;
    }
    if (!isNull && v.typeId() == QMetaType::QString && dbms == u"postgresql" &&
        v.toString().contains(QChar(0)))
        throw ParameterError(p, QStringLiteral("PostgreSQL text cannot hold a zero character"));
    if (!isNull && (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate)) {
        TDbParameter typed = p;
        typed.DataType = FieldType::ftDateTime;
        return BindValue(typed, qtDriver, dbms);
    }
    return v;
}

} // namespace db
