#include "tools/queue/StartEntries.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <stdexcept>

namespace {

const QString kEntryName = QStringLiteral("plinova.desktop");

// A value of type string: backslash, line ends and tabs escaped, a leading blank kept.
QString EscapeString(const QString& value) {
    QString out;
    for (const QChar c : value) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else
            out += c;
    }
    if (out.startsWith(u' '))
        out.replace(0, 1, QStringLiteral("\\s"));
    return out;
}

QString UnescapeString(const QString& value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        if (next == u's')
            out += u' ';
        else if (next == u'n')
            out += u'\n';
        else if (next == u'r')
            out += u'\r';
        else if (next == u't')
            out += u'\t';
        else
            out += next;
    }
    return out;
}

// One argument of an Exec line: quoted when it holds a reserved character, with the four
// characters that stay special inside quotes escaped; "%" doubled, as field codes use it.
QString ExecArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        quote = quote || reserved.contains(c);
    QString out;
    for (const QChar c : argument) {
        if (quote && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            out += u'\\';
        out += c;
        if (c == u'%')
            out += u'%';
    }
    return quote ? u'"' + out + u'"' : out;
}

// The value of a key in an entry's text, unescaped; nothing when it has none.
std::optional<QString> EntryValue(const QString& text, const QString& key) {
    const QString prefix = key + u'=';
    for (const QString& line : text.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(prefix))
            return UnescapeString(trimmed.mid(prefix.size()));
    }
    return std::nullopt;
}

void WriteEntry(const QString& path, const QString& text) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw std::runtime_error(("cannot create the folder of " + path).toStdString());
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(
            ("cannot write " + path + ": " + file.errorString()).toStdString());
}

} // namespace

StartEntryFiles StartEntryPaths() {
    const QDir config(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    const QDir data(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return {config.filePath(QStringLiteral("autostart/") + kEntryName),
            data.filePath(QStringLiteral("applications/") + kEntryName)};
}

QString SpoolerProgram(bool* found) {
    const QFileInfo beside(QDir(QCoreApplication::applicationDirPath()), QStringLiteral("plinova"));
    *found = true;
    if (beside.isFile() && beside.isExecutable())
        return beside.absoluteFilePath();
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("plinova"));
    if (!onPath.isEmpty())
        return onPath;
    *found = false;
    return QStringLiteral("plinova");
}

QString StartEntryText(const QString& folder, qint32 station, const QString& program) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Plinova\n"
                          "Comment=%1\n"
                          "Icon=plinova\n"
                          "Exec=%2\n"
                          "Path=%3\n"
                          "Terminal=false\n"
                          "Categories=Office;\n")
        .arg(EscapeString(QStringLiteral("Print spooler of station %1").arg(station)),
             EscapeString(ExecArgument(program)), EscapeString(folder));
}

std::optional<QString> OtherStationStarted(const QString& folder) {
    const StartEntryFiles files = StartEntryPaths();
    for (const QString& path : {files.autostart, files.menu}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString started =
            EntryValue(QString::fromUtf8(file.readAll()), QStringLiteral("Path"))
                .value_or(QString());
        if (QDir::cleanPath(started) != QDir::cleanPath(folder))
            return started;
    }
    return std::nullopt;
}

void WriteStartEntries(const QString& folder, qint32 station, const QString& program) {
    const StartEntryFiles files = StartEntryPaths();
    const QString text = StartEntryText(folder, station, program);
    WriteEntry(files.autostart, text);
    WriteEntry(files.menu, text);
}
