#include "PasswordMask.h"

#include <QRegularExpression>
#include <algorithm>

namespace db {

QString MaskPasswords(QString message, const QStringList& passwords) {
    static const QRegularExpression keyed(
        QStringLiteral(R"(\b(PWD|Password)(\s*=\s*)(\{(?:[^}]|\}\})*\}?|"(?:[^"]|"")*"?|)"
                       R"('(?:[^']|'')*'?|[^;\s]*))"),
        QRegularExpression::CaseInsensitiveOption);
    message.replace(keyed, QStringLiteral("\\1\\2") + QString::fromUtf16(kMaskedPassword));

    QStringList longestFirst = passwords;
    longestFirst.removeAll(QString());
    std::sort(longestFirst.begin(), longestFirst.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& password : longestFirst) {
        if (password.size() >= 4) {
            message.replace(password, QString::fromUtf16(kMaskedPassword));
            continue;
        }
        const QRegularExpression asValue(QStringLiteral(R"((?<=[='"{])%1(?=[;'"}\s]|$))")
                                             .arg(QRegularExpression::escape(password)));
        message.replace(asValue, QString::fromUtf16(kMaskedPassword));
    }
    return message;
}

} // namespace db
