// Statements on PostgreSQL through the connection handle Qt's QPSQL driver opened. Each runs
// in one protocol exchange on the unnamed statement, its values bound as parameters: nothing
// is prepared under a name, so a pooler that hands each transaction another server
// connection serves it as well.
#include "SocketReadable.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/ValueForms.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTime>
#include <algorithm>
#include <libpq-fe.h>

namespace db {

namespace {

// The server's type identifiers of the values bound and the columns read.
constexpr Oid kUnknown = 0;
constexpr Oid kBool = 16;
constexpr Oid kBytea = 17;
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;
constexpr Oid kOid = 26;
constexpr Oid kFloat4 = 700;
constexpr Oid kFloat8 = 701;
constexpr Oid kDate = 1082;
constexpr Oid kTime = 1083;
constexpr Oid kTimestamp = 1114;
constexpr Oid kTimestampTz = 1184;
constexpr Oid kNumeric = 1700;

// Frees a result however the run ends.
struct ClearResult {
    PGresult* result = nullptr;
    ~ClearResult() { PQclear(result); }
};

QString ErrorText(PGconn* conn, const PGresult* result) {
    const char* text = result != nullptr ? PQresultErrorMessage(result) : "";
    if (text == nullptr || *text == '\0')
        text = PQerrorMessage(conn);
    const QString message = QString::fromUtf8(text).trimmed();
    return message.isEmpty() ? QStringLiteral("Unknown PostgreSQL error") : message;
}

// The text with each marker's "?" written as "$n". A "$n" right after a name would join it
// ("d$1" is one identifier), so a space goes between them.
QByteArray NumberedText(const BoundStatement& s) {
    QString text;
    text.reserve(s.text.size() + s.markerAt.size() * 3);
    qsizetype from = 0;
    for (qsizetype k = 0; k < s.markerAt.size(); ++k) {
        const qsizetype at = s.markerAt[k];
        text += QStringView(s.text).sliced(from, at - from);
        if (at > 0) {
            const QChar before = s.text.at(at - 1);
            if (before.isLetterOrNumber() || before == u'_' || before == u'$')
                text += u' ';
        }
        text += u'$' + QString::number(k + 1);
        from = at + 1;
    }
    text += QStringView(s.text).sliced(from);
    return text.toUtf8();
}

// One value as PostgreSQL takes it: its type (unknown for text, so that the server reads it
// as the column or operator it meets needs, as it reads a quoted literal) and its text form,
// or binary for bytes.
struct PgValue {
    Oid type = kUnknown;
    QByteArray data;
    bool null = false;
    bool binary = false;
};

// The kinds of value sent with a type of their own; the others go as unknown text.
struct PgKind {
    ValueKind kind;
    Oid type;
    bool binary;
};

constexpr PgKind kPgKinds[] = {
    {ValueKind::Int32, kInt4, false}, {ValueKind::Int64, kInt8, false},
    {ValueKind::Bool, kBool, false},  {ValueKind::Double, kFloat8, false},
    {ValueKind::Bytes, kBytea, true},
};

PgValue ToPg(const QVariant& v) {
    PgValue out;
    const ValueKind kind = KindOf(v);
    out.null = !v.isValid() || v.isNull();
    for (const PgKind& row : kPgKinds) {
        if (row.kind == kind) {
            out.type = row.type;
            out.binary = row.binary;
        }
    }
    if (out.null)
        return out;
    switch (kind) {
    case ValueKind::Bool:
        out.data = v.toBool() ? "t" : "f";
        break;
    case ValueKind::Double:
        out.data = QByteArray::number(v.toDouble(), 'g', 17);
        break;
    case ValueKind::Bytes:
        out.data = v.toByteArray();
        break;
    case ValueKind::DateTime:
        out.data = v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
        break;
    case ValueKind::Date:
        out.data = v.toDate().toString(Qt::ISODate).toUtf8();
        break;
    case ValueKind::Time:
        out.data = v.toTime().toString(QStringLiteral("HH:mm:ss.zzz")).toUtf8();
        break;
    case ValueKind::Int32:
    case ValueKind::Int64:
    case ValueKind::Text:
        out.data = v.toString().toUtf8();
        break;
    }
    return out;
}

// "2026-03-10 12:34:56.789123", with a zone ("+01", "-03:30") for TIMESTAMP WITH TIME ZONE,
// which is then shown in local time.
QDateTime DateTimeFromText(const QString& text) {
    QString iso = text;
    iso.replace(u' ', u'T');
    const qsizetype zone = std::max(iso.lastIndexOf(u'+'), iso.lastIndexOf(u'-'));
    if (zone > 10 && iso.size() - zone == 3)
        iso += QStringLiteral(":00");
    const QDateTime dt = QDateTime::fromString(iso, Qt::ISODateWithMs);
    return dt.timeSpec() == Qt::LocalTime ? dt : dt.toLocalTime();
}

// A value of a column of the server type `type` from its text form, or a bytea's from its
// escaped bytes.
QVariant FromText(Oid type, const char* data, int length) {
    switch (type) {
    case kBool:
        return QVariant(data[0] == 't');
    case kInt2:
    case kInt4:
        return QVariant(QByteArray::fromRawData(data, length).toInt());
    case kInt8:
    case kOid:
        return QVariant(QByteArray::fromRawData(data, length).toLongLong());
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return QVariant(QByteArray::fromRawData(data, length).toDouble());
    case kDate:
        return QVariant(QDate::fromString(QString::fromLatin1(data, length), Qt::ISODate));
    case kTime:
        return QVariant(QTime::fromString(QString::fromLatin1(data, length), Qt::ISODateWithMs));
    case kTimestamp:
    case kTimestampTz:
        return QVariant(DateTimeFromText(QString::fromLatin1(data, length)));
    case kBytea: {
        size_t size = 0;
        unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(data), &size);
        QByteArray out(reinterpret_cast<const char*>(bytes), qsizetype(size));
        PQfreemem(bytes);
        return QVariant(out);
    }
    default:
        return QVariant(QString::fromUtf8(data, length));
    }
}

// A null comes as an empty text, and is read as a null of the type the column's values have.
QVariant Value(const PGresult* result, int row, int col) {
    const QVariant value =
        FromText(PQftype(result, col), PQgetvalue(result, row, col), PQgetlength(result, row, col));
    return PQgetisnull(result, row, col) ? QVariant(value.metaType()) : value;
}

class PgEngine final : public Engine {
public:
    explicit PgEngine(PGconn* conn) : conn_(conn) {}

    StatementResult Run(const BoundStatement& statement) override {
        ClearResult r;
        if (statement.values.empty()) {
            // No values: the simple protocol, which also takes several statements in one text.
            r.result = PQexec(conn_, statement.text.toUtf8().constData());
        } else {
            const QByteArray text = NumberedText(statement);
            const int n = int(statement.values.size());
            std::vector<PgValue> values;
            values.reserve(size_t(n));
            std::vector<Oid> types;
            std::vector<const char*> data;
            std::vector<int> lengths;
            std::vector<int> formats;
            for (const QVariant& v : statement.values) {
                values.push_back(ToPg(v));
                const PgValue& p = values.back();
                types.push_back(p.type);
                data.push_back(p.null ? nullptr : p.data.constData());
                lengths.push_back(int(p.data.size()));
                formats.push_back(p.binary ? 1 : 0);
            }
            r.result = PQexecParams(conn_, text.constData(), n, types.data(), data.data(),
                                    lengths.data(), formats.data(), 0);
        }
        const ExecStatusType status = r.result ? PQresultStatus(r.result) : PGRES_FATAL_ERROR;
        StatementResult result;
        if (status == PGRES_COMMAND_OK || status == PGRES_EMPTY_QUERY) {
            const char* changed = PQcmdTuples(r.result);
            if (changed != nullptr && *changed != '\0')
                result.rowsAffected = QByteArray(changed).toLongLong();
            return result;
        }
        if (status != PGRES_TUPLES_OK)
            throw DbError(ErrorText(conn_, r.result));
        const int columns = PQnfields(r.result);
        for (int c = 0; c < columns; ++c)
            result.fields << QString::fromUtf8(PQfname(r.result, c));
        const int rows = PQntuples(r.result);
        result.rows.reserve(size_t(rows));
        for (int row = 0; row < rows; ++row) {
            std::vector<QVariant> values;
            values.reserve(size_t(columns));
            for (int c = 0; c < columns; ++c)
                values.push_back(Value(r.result, row, c));
            result.rows.push_back(std::move(values));
        }
        return result;
    }

    // An idle connection has nothing to say: a server that ends it (an administrator's
    // command, a shut-down, a pooler going away) says so and closes the socket. So a socket
    // with nothing to read is a live connection, and one with something to read is consumed,
    // which lets the client library notice an end, and is not used again either way.
    bool Alive() override {
        if (PQstatus(conn_) != CONNECTION_OK)
            return false;
        if (!SocketReadable(PQsocket(conn_)))
            return true;
        for (int i = 0; i < 4 && SocketReadable(PQsocket(conn_)); ++i) {
            if (!PQconsumeInput(conn_))
                break;
        }
        return false;
    }

    bool Reusable() override {
        return PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE;
    }

private:
    PGconn* conn_;
};

} // namespace

std::unique_ptr<Engine> MakePgEngine(const QSqlDatabase& database) {
    const QVariant handle = database.driver()->handle();
    // Qt names the handle's type by the structure behind the typedef.
    const bool isConn = handle.isValid() && (qstrcmp(handle.typeName(), "PGconn*") == 0 ||
                                             qstrcmp(handle.typeName(), "pg_conn*") == 0);
    PGconn* conn = isConn ? *static_cast<PGconn* const*>(handle.constData()) : nullptr;
    if (conn == nullptr)
        throw DbError(QStringLiteral("The PostgreSQL driver gave no connection handle"));
    return std::make_unique<PgEngine>(conn);
}

} // namespace db
