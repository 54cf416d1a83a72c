#include "ParameterScan.h"

namespace db {

namespace {

bool IsQuote(QChar c) {
    return c == u'\'' || c == u'"' || c == u'`';
}

bool EndsName(QChar c) {
    return c == u' ' || c == u',' || c == u';' || c == u')' || c == u'\r' || c == u'\n';
}

bool At(const QString& sql, qsizetype i, char16_t a, char16_t b) {
    return i + 1 < sql.size() && sql.at(i) == a && sql.at(i + 1) == b;
}

// The end of the comment starting at `i` ("--" or "/*"): past its line end or its closing
// "*/" (block comments nest), or the end of the text.
qsizetype CommentEnd(const QString& sql, qsizetype i) {
    const qsizetype n = sql.size();
    if (sql.at(i) == u'-') {
        while (i < n && sql.at(i) != u'\n')
            ++i;
        return i;
    }
    int depth = 0;
    while (i < n) {
        if (At(sql, i, u'/', u'*')) {
            ++depth;
            i += 2;
        } else if (At(sql, i, u'*', u'/')) {
            i += 2;
            if (--depth == 0)
                return i;
        } else {
            ++i;
        }
    }
    return n;
}

} // namespace

ScannedSql ScanParameters(const QString& sql) {
    ScannedSql out;
    out.text.reserve(sql.size());
    const qsizetype n = sql.size();
    QChar literal; // the quote that opened the current literal, or null outside one
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql.at(i);
        if (!literal.isNull()) {
            if (c == literal)
                literal = QChar();
            out.text += c;
            ++i;
            continue;
        }
        if (IsQuote(c)) {
            literal = c;
            out.text += c;
            ++i;
            continue;
        }
        if (At(sql, i, u'-', u'-') || At(sql, i, u'/', u'*')) {
            const qsizetype end = CommentEnd(sql, i);
            out.text += QStringView(sql).sliced(i, end - i);
            i = end;
            continue;
        }
        if (c != u':') {
            out.text += c;
            ++i;
            continue;
        }
        if (i + 1 < n && sql.at(i + 1) == u':') {
            out.text += u':';
            i += 2;
            continue;
        }
        // A marker: collect its name, honouring quotes inside it.
        qsizetype j = i + 1;
        QChar nameQuote;
        while (j < n) {
            const QChar d = sql.at(j);
            if (!nameQuote.isNull()) {
                if (d == nameQuote)
                    nameQuote = QChar();
            } else if (IsQuote(d)) {
                nameQuote = d;
            } else if (EndsName(d)) {
                break;
            }
            ++j;
        }
        QString name = sql.mid(i + 1, j - i - 1);
        if (name.isEmpty()) {
            out.text += c;
            ++i;
            continue;
        }
        if (IsQuote(name.front())) {
            const QChar q = name.front();
            name.remove(0, 1);
            if (!name.isEmpty() && name.back() == q)
                name.chop(1);
        }
        out.markers.append(name);
        out.markerAt.append(out.text.size());
        out.text += u'?';
        i = j;
    }
    return out;
}

} // namespace db
