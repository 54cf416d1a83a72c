// Statements on SQLite through the connection handle Qt's QSQLITE driver opened.
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/ValueForms.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <sqlite3.h>
#include <sys/stat.h>

namespace db {

namespace {

QString Message(sqlite3* db) {
    return QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(db)));
}

// Finalises a statement however the run ends.
struct Finalize {
    sqlite3_stmt* stmt = nullptr;
    ~Finalize() { sqlite3_finalize(stmt); }
};

void Bind(sqlite3_stmt* stmt, int index, const QVariant& v) {
    if (!v.isValid() || v.isNull()) {
        sqlite3_bind_null(stmt, index);
        return;
    }
    switch (KindOf(v)) {
    case ValueKind::Bool:
    case ValueKind::Int32:
    case ValueKind::Int64:
        sqlite3_bind_int64(stmt, index, v.toLongLong());
        return;
    case ValueKind::Double:
        sqlite3_bind_double(stmt, index, v.toDouble());
        return;
    case ValueKind::Bytes: {
        const QByteArray bytes = v.toByteArray();
        sqlite3_bind_blob64(stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()),
                            SQLITE_TRANSIENT);
        return;
    }
    case ValueKind::DateTime:
    case ValueKind::Date:
    case ValueKind::Time:
    case ValueKind::Text: {
        // Text goes with its length, so zero characters inside it are stored, not cut.
        const QString text = v.toString();
        sqlite3_bind_text64(stmt, index, reinterpret_cast<const char*>(text.utf16()),
                            sqlite3_uint64(text.size()) * 2, SQLITE_TRANSIENT, SQLITE_UTF16);
        return;
    }
    }
}

QVariant Column(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, i));
    case SQLITE_BLOB: {
        const void* data = sqlite3_column_blob(stmt, i);
        return QVariant(QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(stmt, i)));
    }
    case SQLITE_TEXT: {
        const void* data = sqlite3_column_text16(stmt, i);
        const int bytes = sqlite3_column_bytes16(stmt, i);
        return QVariant(QString(static_cast<const QChar*>(data), bytes / 2));
    }
    default:
        return QVariant();
    }
}

class SqliteEngine final : public Engine {
public:
    explicit SqliteEngine(sqlite3* db) : db_(db) {
        const char* file = sqlite3_db_filename(db_, "main");
        if (file != nullptr && *file != '\0') {
            file_ = file;
            struct stat st {};
            if (::stat(file, &st) == 0) {
                device_ = st.st_dev;
                inode_ = st.st_ino;
            }
        }
    }

    StatementResult Run(const BoundStatement& statement) override {
        Finalize compiled;
        const void* tail = nullptr;
        const QString& text = statement.text;
        if (sqlite3_prepare16_v2(db_, text.utf16(), int(text.size() * 2), &compiled.stmt, &tail) !=
            SQLITE_OK)
            throw DbError(Message(db_));
        StatementResult result;
        if (compiled.stmt == nullptr)
            return result; // nothing but blanks and comments
        RefuseSecondStatement(text, tail);
        BindAll(compiled.stmt, statement);

        const int columns = sqlite3_column_count(compiled.stmt);
        for (int i = 0; i < columns; ++i)
            result.fields << QString::fromUtf16(
                static_cast<const char16_t*>(sqlite3_column_name16(compiled.stmt, i)));
        for (;;) {
            const int rc = sqlite3_step(compiled.stmt);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW)
                throw DbError(Message(db_));
            std::vector<QVariant> row;
            row.reserve(size_t(columns));
            for (int i = 0; i < columns; ++i)
                row.push_back(Column(compiled.stmt, i));
            result.rows.push_back(std::move(row));
        }
        if (columns == 0)
            result.rowsAffected = sqlite3_changes64(db_);
        return result;
    }

    // The file is opened once and kept: it must still be the file of that name, or a fresh
    // open would reach another database than the kept handle does.
    bool Alive() override {
        if (file_.isEmpty())
            return true;
        struct stat st {};
        return ::stat(file_.constData(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
    }

    bool Reusable() override { return sqlite3_get_autocommit(db_) != 0; }

private:
    // SQLite compiles only the first statement of a text; a second one would silently not run.
    void RefuseSecondStatement(const QString& text, const void* tail) {
        const auto* end = reinterpret_cast<const char16_t*>(text.utf16() + text.size());
        const auto* rest = static_cast<const char16_t*>(tail);
        if (rest == nullptr || rest >= end)
            return;
        Finalize next;
        sqlite3_prepare16_v2(db_, rest, int((end - rest) * 2), &next.stmt, nullptr);
        if (next.stmt != nullptr)
            throw DbError(QStringLiteral("Unable to execute multiple statements at a time"));
    }

    // Markers are SQLite's unnamed parameters, numbered in text order. Named parameters of
    // SQLite's own syntax the text may hold (":x" written as "::x", "@x", "$x") are not
    // markers and stay unbound (NULL).
    static void BindAll(sqlite3_stmt* stmt, const BoundStatement& statement) {
        if (statement.values.empty())
            return;
        const int count = sqlite3_bind_parameter_count(stmt);
        size_t marker = 0;
        for (int i = 1; i <= count; ++i) {
            if (sqlite3_bind_parameter_name(stmt, i) != nullptr)
                continue;
            if (marker == statement.values.size()) {
                marker = statement.values.size() + 1;
                break;
            }
            Bind(stmt, i, statement.values[marker++]);
        }
        if (marker != statement.values.size())
            throw DbError(QStringLiteral("Parameter count mismatch: %1 markers, but the text "
                                         "holds other unnamed parameters (\"?\") as well")
                              .arg(statement.values.size()));
    }

    sqlite3* db_;
    QByteArray file_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

} // namespace

std::unique_ptr<Engine> MakeSqliteEngine(const QSqlDatabase& database) {
    const QVariant handle = database.driver()->handle();
    sqlite3* db = handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
                      ? *static_cast<sqlite3* const*>(handle.constData())
                      : nullptr;
    if (db == nullptr)
        throw DbError(QStringLiteral("The SQLite driver gave no connection handle"));
    return std::make_unique<SqliteEngine>(db);
}

} // namespace db
