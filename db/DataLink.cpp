#include "db/DataLink.h"

#include "db/DbError.h"
#include "db/OdbcLink.h"

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

DataLink ResolveThroughOdbc(const InitProperties& props, const QString& baseFolder,
                            const QString& source, const OdbcHost& host) {
    LinkProperties properties;
    for (const auto& [name, value] : props)
        properties.emplace_back(name.toStdString(), value.toStdString());
    OdbcLink odbc;
    try {
        odbc = MapToOdbc(properties, QDir::toNativeSeparators(baseFolder).toStdString(), host);
    } catch (const OdbcLinkError& e) {
        throw LinkError(source, QString::fromStdString(e.what()));
    }
    DataLink link;
    link.kind = odbc.road == OdbcRoad::SqlServer ? DataLinkKind::SqlServer
                : odbc.road == OdbcRoad::Access  ? DataLinkKind::Access
                                                 : DataLinkKind::Odbc;
    link.qtDriver = QStringLiteral("QODBC");
    link.databaseName = QString::fromStdString(odbc.connectionString);
    link.password = QString::fromStdString(odbc.password);
    for (const std::string& password : odbc.passwords)
        link.passwords << QString::fromStdString(password);
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
                           const QString& source, const OdbcHost& host) {
    const InitProperties props = SplitInitString(initString, source);
    const QString provider = PropertyValue(props, QStringLiteral("Provider")).trimmed();
    if (provider.isEmpty())
        throw LinkError(source, QStringLiteral("names no Provider"));
    const std::string stem = ProviderStem(provider.toStdString());
    DataLink link;
    if (stem == "POSTGRESQL")
        link = ResolvePostgreSql(props, source);
    else if (stem == "SQLITE")
        link = ResolveSqlite(props, baseFolder, source);
    else if (OdbcRoadOf(provider.toStdString()))
        link = ResolveThroughOdbc(props, baseFolder, source, host);
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

DataLink ParseDataLink(const QByteArray& bytes, const QString& fileName, const OdbcHost& host) {
    const QString initString = InitStringFromDataLinkBytes(bytes, fileName);
    return ResolveInitString(initString, QFileInfo(fileName).absolutePath(),
                             QStringLiteral("file '%1'").arg(fileName), host);
}

DataLink ReadDataLinkFile(const QString& fileName, const OdbcHost& host) {
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
    return ParseDataLink(bytes, fileName, host);
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
