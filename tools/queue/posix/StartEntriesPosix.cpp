// Start entries as desktop entries (the freedesktop.org desktop entry format).
#include "StartEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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

// An Exec line split into its first argument, read back as ExecArgument wrote it, and the rest.
StartEntry SplitExec(const QString& exec) {
    StartEntry entry;
    qsizetype i = 0;
    const bool quoted = exec.startsWith(u'"');
    if (quoted)
        ++i;
    for (; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted && c == u'"') {
            ++i;
            break;
        }
        if (!quoted && (c == u' ' || c == u'\t'))
            break;
        if (quoted && c == u'\\' && i + 1 < exec.size())
            entry.program += exec.at(++i);
        else if (c == u'%' && i + 1 < exec.size() && exec.at(i + 1) == u'%')
            entry.program += exec.at(++i);
        else
            entry.program += c;
    }
    entry.arguments = exec.mid(i).trimmed();
    return entry;
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

// A folder or program as a shell command line takes it.
QString ShellWord(const QString& text) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

} // namespace

StartEntryFiles StartEntryPaths() {
    const QDir config(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    const QDir data(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return {config.filePath(QStringLiteral("autostart/") + kEntryName),
            data.filePath(QStringLiteral("applications/") + kEntryName)};
}

void WriteStartEntry(const QString& path, const QString& folder, qint32 station,
                     const QString& program) {
    const QString text =
        QStringLiteral("[Desktop Entry]\n"
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
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw std::runtime_error(("cannot create the folder of " + path).toStdString());
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(
            ("cannot write " + path + ": " + file.errorString()).toStdString());
}

std::optional<StartEntry> ReadStartEntry(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        return StartEntry{};
    const QString text = QString::fromUtf8(file.readAll());
    StartEntry entry = SplitExec(EntryValue(text, QStringLiteral("Exec")).value_or(QString()));
    entry.folder = EntryValue(text, QStringLiteral("Path")).value_or(QString());
    return entry;
}

bool SameFolder(const QString& a, const QString& b) {
    return QDir::cleanPath(a) == QDir::cleanPath(b);
}

QString StartNowCommand(const QString& folder, const QString& program) {
    return QStringLiteral("cd %1 && %2 &").arg(ShellWord(folder), ShellWord(program));
}
