// Statements through ODBC on the connection handle Qt's QODBC driver opened: the text goes to
// the driver with its values bound by position (SQLBindParameter), as ODBC defines markers.
#include "OdbcHeaders.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/ValueForms.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTime>

namespace db {

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide characters must be UTF-16");

// Longer texts and byte strings go as long data types (SQL Server: (n)varchar(max)).
constexpr SQLULEN kLongestShortText = 4000;
constexpr SQLULEN kLongestShortBinary = 8000;

// The diagnostics of a handle, joined; whether one of them says the connection is gone.
struct Diagnostics {
    QString text;
    bool connectionLost = false;
};

Diagnostics Diagnose(SQLSMALLINT type, SQLHANDLE handle) {
    Diagnostics d;
    QStringList messages;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR message[1024];
        SQLSMALLINT length = 0;
        const SQLRETURN rc =
            SQLGetDiagRecW(type, handle, i, state, &native, message, 1024, &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        const QString sqlState = QString::fromUtf16(reinterpret_cast<const char16_t*>(state), 5);
        if (sqlState.startsWith(u"08"))
            d.connectionLost = true;
        messages << QString::fromUtf16(reinterpret_cast<const char16_t*>(message),
                                       std::min<qsizetype>(length, 1023))
                        .trimmed();
    }
    d.text = messages.join(QStringLiteral("; "));
    if (d.text.isEmpty())
        d.text = QStringLiteral("Unknown ODBC error");
    return d;
}

// One bound value and the buffers the driver reads it from until the statement has run.
struct OdbcValue {
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN columnSize = 1;
    SQLSMALLINT digits = 0;
    QByteArray buffer;
    SQLLEN indicator = 0;
};

// A value of fixed size, bound from its bytes as `cType` for a parameter of `sqlType`.
template <typename T> OdbcValue Fixed(SQLSMALLINT cType, SQLSMALLINT sqlType, const T& value) {
    OdbcValue out;
    out.cType = cType;
    out.sqlType = sqlType;
    out.buffer = QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
    return out;
}

OdbcValue ToOdbc(const QVariant& v) {
    OdbcValue out;
    const bool null = !v.isValid() || v.isNull();
    const ValueKind kind = KindOf(v);
    switch (kind) {
    case ValueKind::Int32:
        out = Fixed(SQL_C_SLONG, SQL_INTEGER, SQLINTEGER(v.toInt()));
        break;
    case ValueKind::Int64:
        out = Fixed(SQL_C_SBIGINT, SQL_BIGINT, SQLBIGINT(v.toLongLong()));
        break;
    case ValueKind::Bool:
        out = Fixed(SQL_C_BIT, SQL_BIT, SQLCHAR(v.toBool() ? 1 : 0));
        break;
    case ValueKind::Double:
        out = Fixed(SQL_C_DOUBLE, SQL_DOUBLE, SQLDOUBLE(v.toDouble()));
        break;
    case ValueKind::DateTime:
    case ValueKind::Date: {
        const QDateTime dt = kind == ValueKind::Date ? v.toDate().startOfDay() : v.toDateTime();
        SQL_TIMESTAMP_STRUCT ts{};
        ts.year = SQLSMALLINT(dt.date().year());
        ts.month = SQLUSMALLINT(dt.date().month());
        ts.day = SQLUSMALLINT(dt.date().day());
        ts.hour = SQLUSMALLINT(dt.time().hour());
        ts.minute = SQLUSMALLINT(dt.time().minute());
        ts.second = SQLUSMALLINT(dt.time().second());
        ts.fraction = SQLUINTEGER(dt.time().msec()) * 1000000u;
        out = Fixed(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, ts);
        out.columnSize = 23;
        out.digits = 3;
        break;
    }
    case ValueKind::Bytes:
        out.cType = SQL_C_BINARY;
        out.buffer = v.toByteArray();
        out.columnSize = SQLULEN(std::max<qsizetype>(out.buffer.size(), 1));
        out.sqlType = out.columnSize > kLongestShortBinary ? SQL_LONGVARBINARY : SQL_VARBINARY;
        break;
    case ValueKind::Time:
    case ValueKind::Text: {
        const QString text = null ? QString() : v.toString();
        out.cType = SQL_C_WCHAR;
        out.buffer = QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        out.columnSize = SQLULEN(std::max<qsizetype>(text.size(), 1));
        out.sqlType = out.columnSize > kLongestShortText ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
        break;
    }
    }
    out.indicator = null ? SQL_NULL_DATA : SQLLEN(out.buffer.size());
    return out;
}

// Frees a statement handle however the run ends.
struct FreeStatement {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    ~FreeStatement() {
        if (stmt != SQL_NULL_HSTMT)
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }
};

class OdbcEngine final : public Engine {
public:
    explicit OdbcEngine(SQLHDBC dbc) : dbc_(dbc) {}

    StatementResult Run(const BoundStatement& statement) override {
        FreeStatement h;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &h.stmt))) {
            h.stmt = SQL_NULL_HSTMT;
            Fail(SQL_HANDLE_DBC, dbc_);
        }
        std::vector<OdbcValue> values;
        values.reserve(statement.values.size());
        for (const QVariant& v : statement.values)
            values.push_back(ToOdbc(v));
        for (size_t i = 0; i < values.size(); ++i) {
            OdbcValue& p = values[i];
            const SQLRETURN rc = SQLBindParameter(
                h.stmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, p.cType, p.sqlType, p.columnSize,
                p.digits, p.buffer.data(), SQLLEN(p.buffer.size()), &p.indicator);
            if (!SQL_SUCCEEDED(rc))
                Fail(SQL_HANDLE_STMT, h.stmt);
        }
        const QString& text = statement.text;
        SQLRETURN rc =
            SQLExecDirectW(h.stmt, reinterpret_cast<SQLWCHAR*>(const_cast<ushort*>(text.utf16())),
                           SQLINTEGER(text.size()));
        StatementResult result;
        if (rc == SQL_NO_DATA) { // a searched delete or update that matched no row
            result.rowsAffected = 0;
            return result;
        }
        if (!SQL_SUCCEEDED(rc))
            Fail(SQL_HANDLE_STMT, h.stmt);
        SQLLEN changed = -1;
        if (SQL_SUCCEEDED(SQLRowCount(h.stmt, &changed)))
            result.rowsAffected = changed;

        SQLSMALLINT columns = 0;
        SQLNumResultCols(h.stmt, &columns);
        std::vector<SQLSMALLINT> types;
        for (SQLSMALLINT c = 1; c <= columns; ++c) {
            SQLWCHAR name[256];
            SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            if (!SQL_SUCCEEDED(SQLDescribeColW(h.stmt, c, name, 256, &nameLength, &type, &size,
                                               &digits, &nullable)))
                Fail(SQL_HANDLE_STMT, h.stmt);
            result.fields << QString::fromUtf16(reinterpret_cast<const char16_t*>(name),
                                                std::min<SQLSMALLINT>(nameLength, 255));
            types.push_back(type);
        }
        while (columns > 0) {
            rc = SQLFetch(h.stmt);
            if (rc == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(rc))
                Fail(SQL_HANDLE_STMT, h.stmt);
            std::vector<QVariant> row;
            row.reserve(size_t(columns));
            for (SQLSMALLINT c = 1; c <= columns; ++c)
                row.push_back(Column(h.stmt, c, types[size_t(c - 1)]));
            result.rows.push_back(std::move(row));
        }
        // Drivers that stream results want the statement read to its end before the next.
        while (SQL_SUCCEEDED(SQLMoreResults(h.stmt))) {
        }
        return result;
    }

    // ODBC has no way to look at the connection without asking the server, and drivers answer
    // SQL_ATTR_CONNECTION_DEAD from what they last saw; so a kept connection answers a short
    // statement before it is used again.
    bool Alive() override {
        if (!Reusable())
            return false;
        try {
            Run(BoundStatement{QStringLiteral("SELECT 1"), {}, {}});
        } catch (const DbError&) {
            return false;
        }
        return !lost_;
    }

    bool Reusable() override {
        SQLUINTEGER dead = SQL_CD_FALSE;
        const SQLRETURN rc = SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
        return !lost_ && !(SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE);
    }

private:
    [[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle) {
        const Diagnostics d = Diagnose(type, handle);
        if (d.connectionLost)
            lost_ = true;
        throw DbError(d.text);
    }

    // Reads one column of the current row, long values in pieces.
    QVariant Column(SQLHSTMT stmt, SQLUSMALLINT c, SQLSMALLINT type) {
        SQLLEN indicator = 0;
        auto get = [&](SQLSMALLINT cType, void* buffer, SQLLEN size) {
            const SQLRETURN rc = SQLGetData(stmt, c, cType, buffer, size, &indicator);
            if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
                Fail(SQL_HANDLE_STMT, stmt);
            return rc;
        };
        // A value of fixed size, read into `raw` as `cType` and converted; a null keeps the type
        // the conversion gives.
        auto fixed = [&](SQLSMALLINT cType, auto raw, auto convert) {
            get(cType, &raw, sizeof raw);
            using Value = decltype(convert(raw));
            return indicator == SQL_NULL_DATA ? QVariant(QMetaType::fromType<Value>())
                                              : QVariant::fromValue(convert(raw));
        };
        switch (type) {
        case SQL_BIT:
            return fixed(SQL_C_BIT, SQLCHAR(0), [](SQLCHAR v) { return v != 0; });
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
            return fixed(SQL_C_SLONG, SQLINTEGER(0), [](SQLINTEGER v) { return int(v); });
        case SQL_BIGINT:
            return fixed(SQL_C_SBIGINT, SQLBIGINT(0), [](SQLBIGINT v) { return qlonglong(v); });
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            return fixed(SQL_C_DOUBLE, SQLDOUBLE(0), [](SQLDOUBLE v) { return double(v); });
        case SQL_TYPE_DATE:
            return fixed(SQL_C_TYPE_DATE, SQL_DATE_STRUCT{},
                         [](const SQL_DATE_STRUCT& v) { return QDate(v.year, v.month, v.day); });
        case SQL_TYPE_TIME:
            return fixed(SQL_C_TYPE_TIME, SQL_TIME_STRUCT{}, [](const SQL_TIME_STRUCT& v) {
                return QTime(v.hour, v.minute, v.second);
            });
        case SQL_TYPE_TIMESTAMP:
            return fixed(
                SQL_C_TYPE_TIMESTAMP, SQL_TIMESTAMP_STRUCT{}, [](const SQL_TIMESTAMP_STRUCT& v) {
                    return QDateTime(QDate(v.year, v.month, v.day),
                                     QTime(v.hour, v.minute, v.second, int(v.fraction / 1000000)));
                });
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY: {
            QByteArray bytes;
            char chunk[8192];
            for (;;) {
                if (get(SQL_C_BINARY, chunk, sizeof chunk) == SQL_NO_DATA)
                    break;
                if (indicator == SQL_NULL_DATA)
                    return QVariant(QMetaType::fromType<QByteArray>());
                const SQLLEN got = indicator == SQL_NO_TOTAL || indicator > SQLLEN(sizeof chunk)
                                       ? SQLLEN(sizeof chunk)
                                       : indicator;
                bytes.append(chunk, got);
                if (got < SQLLEN(sizeof chunk))
                    break;
            }
            return QVariant(bytes);
        }
        default: {
            // Texts, and whatever else, as Unicode text read whole.
            QString text;
            SQLWCHAR chunk[4096];
            constexpr SQLLEN room = SQLLEN(sizeof chunk) - SQLLEN(sizeof(SQLWCHAR));
            for (;;) {
                if (get(SQL_C_WCHAR, chunk, sizeof chunk) == SQL_NO_DATA)
                    break;
                if (indicator == SQL_NULL_DATA)
                    return QVariant(QMetaType::fromType<QString>());
                const SQLLEN got = indicator == SQL_NO_TOTAL || indicator > room ? room : indicator;
                text.append(QStringView(reinterpret_cast<const char16_t*>(chunk),
                                        qsizetype(got / SQLLEN(sizeof(SQLWCHAR)))));
                if (got < room)
                    break;
            }
            return QVariant(text.isNull() ? QStringLiteral("") : text);
        }
        }
    }

    SQLHDBC dbc_;
    bool lost_ = false;
};

} // namespace

std::unique_ptr<Engine> MakeOdbcEngine(const QSqlDatabase& database) {
    const QVariant handle = database.driver()->handle();
    SQLHDBC dbc = handle.isValid() && handle.metaType().sizeOf() == sizeof(SQLHDBC)
                      ? *static_cast<const SQLHDBC*>(handle.constData())
                      : SQL_NULL_HDBC;
    if (dbc == SQL_NULL_HDBC)
        throw DbError(QStringLiteral("The ODBC driver gave no connection handle"));
    return std::make_unique<OdbcEngine>(dbc);
}

} // namespace db
