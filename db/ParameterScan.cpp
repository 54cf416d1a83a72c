#include "db/ParameterScan.h"

namespace db {

namespace {

bool IsQuote(QChar c) {
    return c == u'\'' || c == u'"' || c == u'`';
}

bool EndsName(QChar c) {
    return c == u' ' || c == u',' || c == u';' || c == u')' || c == u'\r' || c == u'\n';
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
        out.text += u'?';
        i = j;
    }
    return out;
}

} // namespace db
