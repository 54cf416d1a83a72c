#include "db/DataLink.h"

#include "db/DbError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>

namespace db {

namespace {

// A data link file is a few hundred bytes; anything this large is not one.
constexpr qint64 kMaxDataLinkBytes = 1024 * 1024;

DbError LinkError(const QString& source, const QString& problem) {
    return DbError(QStringLiteral("Data link %1: %2").arg(source, problem));
}

// Provider name without version suffix: "SQLOLEDB.1" -> "SQLOLEDB", "SQLNCLI11" -> "SQLNCLI".
QString ProviderStem(const QString& provider) {
    QString stem = provider.trimmed().section(u'.', 0, 0).toUpper();
    while (!stem.isEmpty() && stem.back().isDigit())
        stem.chop(1);
    return stem;
}

// Wraps an ODBC attribute value in braces when it holds characters that would end it.
QString OdbcValue(const QString& value) {
    const bool plain = !value.contains(u';') && !value.contains(u'{') && !value.contains(u'}') &&
                       !value.contains(u'=') && value.trimmed() == value;
    if (plain)
        return value;
    QString escaped = value;
    escaped.replace(u'}', QStringLiteral("}}"));
    return u'{' + escaped + u'}';
}

QString StripBraces(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && value.front() == u'{' && value.back() == u'}')
        value = value.mid(1, value.size() - 2);
    return value;
}

// The decoder lets a surrogate half at the very end pass; a text holding one is not UTF-16.
bool HasLoneSurrogate(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

bool IsTrue(const QString& value) {
    const QString v = value.trimmed().toLower();
    return v == u"sspi" || v == u"true" || v == u"yes";
}

// The attributes of an ODBC connection string, in order: "KEY=value;KEY={braced; value}".
// A braced value runs to its closing brace ("}}" inside stands for one "}").
QList<QPair<QString, QString>> OdbcAttributes(const QString& connectionString) {
    QList<QPair<QString, QString>> attributes;
    const qsizetype n = connectionString.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype eq = connectionString.indexOf(u'=', i);
        const qsizetype semi = connectionString.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            i = semi < 0 ? n : semi + 1;
            continue;
        }
        const QString key = connectionString.mid(i, eq - i).trimmed();
        i = eq + 1;
        while (i < n && connectionString.at(i) == u' ')
            ++i;
        QString value;
        if (i < n && connectionString.at(i) == u'{') {
            ++i;
            while (i < n) {
                const QChar c = connectionString.at(i++);
                if (c == u'}') {
                    if (i < n && connectionString.at(i) == u'}') {
                        value += c;
                        ++i;
                        continue;
                    }
                    break;
                }
                value += c;
            }
            const qsizetype end = connectionString.indexOf(u';', i);
            i = end < 0 ? n : end + 1;
        } else {
            const qsizetype end = semi < 0 ? n : semi;
            value = connectionString.mid(i, end - i).trimmed();
            i = end + 1;
        }
        attributes.append({key, value});
    }
    return attributes;
}

bool HasOdbcKey(const QString& connectionString, const QString& key) {
    for (const auto& [name, value] : OdbcAttributes(connectionString)) {
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

DataLink ResolveSqlServer(const InitProperties& props, const QString& source) {
    DataLink link;
    link.kind = DataLinkKind::SqlServer;
    link.qtDriver = QStringLiteral("QODBC");

    const QString driverProp = PropertyValue(props, QStringLiteral("Driver"));
    const QString driver =
        driverProp.trimmed().isEmpty() ? QStringLiteral("FreeTDS") : StripBraces(driverProp);
    const bool freeTds = driver.compare(u"FreeTDS", Qt::CaseInsensitive) == 0;

    QString server = PropertyValue(props, QStringLiteral("Data Source")).trimmed();
    if (server.isEmpty())
        throw LinkError(source, QStringLiteral("names no Data Source (server)"));
    if (server.startsWith(u"tcp:", Qt::CaseInsensitive))
        server = server.mid(4);
    QString port;
    if (server.contains(u',')) {
        port = server.section(u',', 1).trimmed();
        server = server.section(u',', 0, 0).trimmed();
        bool ok = false;
        const int number = port.toInt(&ok);
        if (!ok || number <= 0 || number > 65535)
            throw LinkError(source,
                            QStringLiteral("Data Source has an invalid port '%1'").arg(port));
    }
    if (server == u"." || server.compare(u"(local)", Qt::CaseInsensitive) == 0)
        server = QStringLiteral("localhost");

    QStringList parts;
    parts << QStringLiteral("DRIVER={%1}").arg(driver);
    if (port.isEmpty())
        parts << QStringLiteral("SERVER=") + OdbcValue(server);
    else if (freeTds)
        parts << QStringLiteral("SERVER=") + OdbcValue(server) << QStringLiteral("PORT=") + port;
    else
        parts << QStringLiteral("SERVER=") + OdbcValue(server + u',' + port);
    const QString catalog = PropertyValue(props, QStringLiteral("Initial Catalog"));
    if (!catalog.isEmpty())
        parts << QStringLiteral("DATABASE=") + OdbcValue(catalog);
    if (IsTrue(PropertyValue(props, QStringLiteral("Integrated Security")))) {
        parts << QStringLiteral("Trusted_Connection=Yes");
    } else {
        const QString user = PropertyValue(props, QStringLiteral("User ID"));
        if (!user.isEmpty())
            parts << QStringLiteral("UID=") + OdbcValue(user);
        link.password = PropertyValue(props, QStringLiteral("Password"));
        if (!link.password.isEmpty())
            parts << QStringLiteral("PWD=") + OdbcValue(link.password);
    }
    link.passwords << PropertyValue(props, QStringLiteral("Password"));
    link.databaseName = parts.join(u';') + u';';
    return link;
}

DataLink ResolveOdbc(const InitProperties& props, const QString& source) {
    DataLink link;
    link.kind = DataLinkKind::Odbc;
    link.qtDriver = QStringLiteral("QODBC");
    const QString user = PropertyValue(props, QStringLiteral("User ID"));
    link.password = PropertyValue(props, QStringLiteral("Password"));

    QString odbc = PropertyValue(props, QStringLiteral("Extended Properties")).trimmed();
    if (odbc.isEmpty()) {
        const QString dsn = PropertyValue(props, QStringLiteral("Data Source")).trimmed();
        if (dsn.isEmpty())
            throw LinkError(source,
                            QStringLiteral("names neither Extended Properties nor Data Source"));
        odbc = QStringLiteral("DSN=") + OdbcValue(dsn);
    } else if (!odbc.contains(u'=')) {
        odbc = QStringLiteral("DSN=") + OdbcValue(odbc);
    }
    while (odbc.endsWith(u';'))
        odbc.chop(1);
    if (!user.isEmpty() && !HasOdbcKey(odbc, QStringLiteral("UID")))
        odbc += QStringLiteral(";UID=") + OdbcValue(user);
    if (!link.password.isEmpty() && !HasOdbcKey(odbc, QStringLiteral("PWD")))
        odbc += QStringLiteral(";PWD=") + OdbcValue(link.password);
    link.databaseName = odbc + u';';
    // The password may come in the ODBC string itself, and either may be the one in use.
    link.passwords << link.password;
    for (const auto& [name, value] : OdbcAttributes(odbc)) {
        if (name.compare(u"PWD", Qt::CaseInsensitive) == 0 ||
            name.compare(u"Password", Qt::CaseInsensitive) == 0)
            link.passwords << value;
    }
    return link;
}

DataLink ResolvePostgreSql(const InitProperties& props, const QString& source) {
    DataLink link;
    link.kind = DataLinkKind::PostgreSQL;
    link.qtDriver = QStringLiteral("QPSQL");
    QString host = PropertyValue(props, QStringLiteral("Data Source")).trimmed();
    QString port;
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        if (close < 0)
            throw LinkError(source, QStringLiteral("Data Source '%1' is malformed").arg(host));
        const QString rest = host.mid(close + 1);
        if (rest.startsWith(u':') || rest.startsWith(u','))
            port = rest.mid(1);
        else if (!rest.isEmpty())
            throw LinkError(source, QStringLiteral("Data Source '%1' is malformed").arg(host));
        host = host.mid(1, close - 1);
    } else {
        const qsizetype sep = host.lastIndexOf(QRegularExpression(QStringLiteral("[:,]")));
        if (sep >= 0) {
            port = host.mid(sep + 1);
            host = host.left(sep);
        }
    }
    if (!port.isNull()) {
        bool ok = false;
        link.port = port.trimmed().toInt(&ok);
        if (!ok || link.port <= 0 || link.port > 65535)
            throw LinkError(source,
                            QStringLiteral("Data Source has an invalid port '%1'").arg(port));
    }
    link.hostName = host.trimmed();
    link.databaseName = PropertyValue(props, QStringLiteral("Initial Catalog"));
    link.userName = PropertyValue(props, QStringLiteral("User ID"));
    link.password = PropertyValue(props, QStringLiteral("Password"));
    link.passwords << link.password;
    return link;
}

DataLink ResolveSqlite(const InitProperties& props, const QString& baseFolder,
                       const QString& source) {
    DataLink link;
    link.kind = DataLinkKind::SQLite;
    link.qtDriver = QStringLiteral("QSQLITE");
    const QString file = PropertyValue(props, QStringLiteral("Data Source")).trimmed();
    if (file.isEmpty())
        throw LinkError(source, QStringLiteral("names no Data Source (database file)"));
    link.databaseName = file == u":memory:" ? file : QDir(baseFolder).absoluteFilePath(file);
    return link;
}

} // namespace

InitProperties SplitInitString(const QString& initString, const QString& source) {
    InitProperties props;
    const qsizetype n = initString.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype eq = initString.indexOf(u'=', i);
        const qsizetype semi = initString.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            // A segment without "=": allowed only when blank. Its text is not quoted in the
            // message: it may be the tail of an unquoted password.
            const qsizetype end = semi < 0 ? n : semi;
            if (!initString.mid(i, end - i).trimmed().isEmpty())
                throw LinkError(source,
                                props.isEmpty()
                                    ? QStringLiteral("its first property is not Name=value")
                                    : QStringLiteral("the text after property '%1' is not "
                                                     "Name=value (quote values holding \";\")")
                                          .arg(props.back().first));
            i = end + 1;
            continue;
        }
        const QString name = initString.mid(i, eq - i).trimmed();
        if (name.isEmpty())
            throw LinkError(source, QStringLiteral("a property has no name"));
        i = eq + 1;
        while (i < n && initString.at(i).isSpace() && initString.at(i) != u';')
            ++i;
        QString value;
        if (i < n && (initString.at(i) == u'"' || initString.at(i) == u'\'')) {
            // Quoted: runs to the matching quote; a doubled quote stands for one.
            const QChar quote = initString.at(i++);
            bool closed = false;
            while (i < n) {
                const QChar c = initString.at(i++);
                if (c == quote) {
                    if (i < n && initString.at(i) == quote) {
                        value += quote;
                        ++i;
                        continue;
                    }
                    closed = true;
                    break;
                }
                value += c;
            }
            if (!closed)
                throw LinkError(
                    source, QStringLiteral("the value of '%1' lacks its closing quote").arg(name));
            while (i < n && initString.at(i) != u';') {
                if (!initString.at(i).isSpace())
                    throw LinkError(
                        source, QStringLiteral("text follows the quoted value of '%1'").arg(name));
                ++i;
            }
        } else {
            const qsizetype end = semi < 0 ? n : semi;
            value = initString.mid(i, end - i).trimmed();
            i = end;
        }
        ++i; // past the ";"
        props.append({name, value});
    }
    return props;
}

QString PropertyValue(const InitProperties& properties, const QString& name) {
    // The last occurrence wins, as when a later setting overrides an earlier one.
    for (auto it = properties.crbegin(); it != properties.crend(); ++it) {
        if (it->first.compare(name, Qt::CaseInsensitive) == 0)
            return it->second;
    }
    return QString();
}

DataLink ResolveInitString(const QString& initString, const QString& baseFolder,
                           const QString& source) {
    const InitProperties props = SplitInitString(initString, source);
    const QString provider = PropertyValue(props, QStringLiteral("Provider")).trimmed();
    if (provider.isEmpty())
        throw LinkError(source, QStringLiteral("names no Provider"));
    const QString stem = ProviderStem(provider);
    DataLink link;
    if (stem == u"SQLOLEDB" || stem == u"SQLNCLI" || stem == u"MSOLEDBSQL")
        link = ResolveSqlServer(props, source);
    else if (stem == u"MSDASQL")
        link = ResolveOdbc(props, source);
    else if (stem == u"POSTGRESQL")
        link = ResolvePostgreSql(props, source);
    else if (stem == u"SQLITE")
        link = ResolveSqlite(props, baseFolder, source);
    else
        throw LinkError(source, QStringLiteral("names the unknown provider '%1'").arg(provider));
    link.provider = provider;
    const QString services = PropertyValue(props, QStringLiteral("OLE DB Services")).trimmed();
    if (!services.isEmpty()) {
        bool ok = false;
        const qlonglong value = services.startsWith(u"0x", Qt::CaseInsensitive)
                                    ? services.mid(2).toLongLong(&ok, 16)
                                    : services.toLongLong(&ok, 10);
        if (!ok)
            throw LinkError(source,
                            QStringLiteral("OLE DB Services '%1' is not a number").arg(services));
        link.pooling = (value & 1) != 0;
    }
    link.passwords.removeAll(QString());
    link.passwords.removeDuplicates();
    return link;
}

QString InitStringFromDataLinkBytes(const QByteArray& bytes, const QString& fileName) {
    const QString source = QStringLiteral("file '%1'").arg(fileName);
    QString text;
    auto decode = [&](QStringConverter::Encoding encoding, qsizetype skip) {
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        text = decoder.decode(QByteArrayView(bytes).sliced(skip));
        return !decoder.hasError() && !HasLoneSurrogate(text);
    };
    if (bytes.startsWith("\xFF\xFE")) {
        if (bytes.size() % 2 != 0 || !decode(QStringConverter::Utf16LE, 2))
            throw LinkError(source, QStringLiteral("is not valid UTF-16 text"));
    } else if (bytes.startsWith("\xFE\xFF")) {
        if (bytes.size() % 2 != 0 || !decode(QStringConverter::Utf16BE, 2))
            throw LinkError(source, QStringLiteral("is not valid UTF-16 text"));
    } else if (bytes.contains('\0')) {
        throw LinkError(source, QStringLiteral("is in an unknown encoding (UTF-16 text needs a "
                                               "byte-order mark)"));
    } else if (!decode(QStringConverter::Utf8, bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0)) {
        throw LinkError(source,
                        QStringLiteral("is neither UTF-16 with a byte-order mark nor UTF-8 text"));
    }

    QString initString;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';') ||
            line.compare(u"[oledb]", Qt::CaseInsensitive) == 0)
            continue;
        if (!initString.isEmpty())
            throw LinkError(source, QStringLiteral("holds more than one initialisation line"));
        initString = line;
    }
    if (initString.isEmpty())
        throw LinkError(source, QStringLiteral("holds no initialisation string"));
    return initString;
}

DataLink ParseDataLink(const QByteArray& bytes, const QString& fileName) {
    const QString initString = InitStringFromDataLinkBytes(bytes, fileName);
    return ResolveInitString(initString, QFileInfo(fileName).absolutePath(),
                             QStringLiteral("file '%1'").arg(fileName));
}

DataLink ReadDataLinkFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.exists())
        throw LinkError(QStringLiteral("file '%1'").arg(fileName), QStringLiteral("not found"));
    if (!file.open(QIODevice::ReadOnly))
        throw LinkError(QStringLiteral("file '%1'").arg(fileName),
                        QStringLiteral("cannot be read: %1").arg(file.errorString()));
    if (file.size() > kMaxDataLinkBytes)
        throw LinkError(QStringLiteral("file '%1'").arg(fileName), QStringLiteral("is too large"));
    const QByteArray bytes = file.read(kMaxDataLinkBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw LinkError(QStringLiteral("file '%1'").arg(fileName),
                        QStringLiteral("cannot be read: %1").arg(file.errorString()));
    return ParseDataLink(bytes, fileName);
}

QByteArray DataLinkFileBytes(const QString& initString) {
    const QString text =
        QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n") +
        initString + QStringLiteral("\r\n");
    QStringEncoder encoder(QStringConverter::Utf16LE);
    return QByteArray("\xFF\xFE", 2) + QByteArray(encoder.encode(text));
}

QString DataLinkFileConnectionString(const QString& path) {
    const bool plain = !path.contains(u';') && !path.contains(u'"') && !path.startsWith(u'\'') &&
                       path.trimmed() == path;
    if (plain)
        return QStringLiteral("FILE NAME=") + path;
    QString quoted = path;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return QStringLiteral("FILE NAME=\"") + quoted + u'"';
}

} // namespace db
