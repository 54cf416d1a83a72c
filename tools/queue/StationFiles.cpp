#include "StationFiles.h"

#include <QDir>
#include <QSaveFile>
#include <stdexcept>
#include <sys/stat.h>

#include "Args.h"
#include "codepage/Win1252.h"
#include "db/DataLink.h"
#include "db/DbError.h"

namespace {

const QString kPlinovaIni = QStringLiteral("Plinova.ini");
const QString kMolvarIni = QStringLiteral("Molvar.ini");
const QString kDataLink = QStringLiteral("Molvar.udl");

// The spooler reads its numbers from the first four characters of a value.
bool FitsFourCharacters(qint32 n) {
    return QString::number(n).size() <= 4;
}

QByteArray Lines(const QStringList& lines) {
    return QByteArray::fromStdString(win1252::FromUnicode(lines.join(QStringLiteral("\r\n")))) +
           "\r\n";
}

void Write(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(
            ("cannot write " + path + ": " + file.errorString()).toStdString());
}

// A file readable by its owner only from its start, not after its contents are in; an
// overwritten file would keep its earlier permissions, so they are set again.
void WritePrivate(const QString& path, const QByteArray& bytes) {
    const mode_t oldMask = ::umask(077);
    try {
        Write(path, bytes);
    } catch (...) {
        ::umask(oldMask);
        throw;
    }
    ::umask(oldMask);
    if (!QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner))
        throw std::runtime_error(("cannot make " + path + " private").toStdString());
}

} // namespace

QStringList StationFileNames() {
    return {kPlinovaIni, kMolvarIni, kDataLink};
}

QByteArray PlinovaIniBytes(const StationSettings& s) {
    QStringList lines{QStringLiteral("[OPCOES]"), QStringLiteral("Certificadora=1")};
    if (s.device.isEmpty())
        lines << QStringLiteral("Porta Certificadora=%1").arg(s.port);
    lines << QStringLiteral("Protocolo Certificadora=%1").arg(s.protocol)
          << QStringLiteral("Hora limite=00:00");
    if (!s.device.isEmpty())
        lines << QStringLiteral("Dispositivo Certificadora=") + s.device;
    return Lines(lines);
}

QByteArray MolvarIniBytes(const StationSettings& s) {
    return Lines({QStringLiteral("[OPCOES]"), QStringLiteral("Posto=%1").arg(s.station)});
}

void CheckStationSettings(const StationSettings& s, const QString& folder) {
    if (s.station < 1 || !FitsFourCharacters(s.station))
        throw UsageError("the station number is 1 to 9999");
    if (s.port < 1 || !FitsFourCharacters(s.port))
        throw UsageError("the port number is 1 to 9999");
    if (s.protocol < 0 || !FitsFourCharacters(s.protocol))
        throw UsageError("the protocol is 0 to 9999 (0: no flow control, other: RTS/CTS)");
    if (!s.device.isEmpty()) {
        const std::string bytes = win1252::FromUnicode(s.device);
        bool control = false;
        for (const QChar c : s.device)
            control = control || c.unicode() < 0x20 || c.unicode() == 0x7F;
        if (!s.device.startsWith(u'/') || s.device.trimmed() != s.device || control ||
            bytes.size() > 255 || win1252::ToUnicode(bytes) != s.device)
            throw UsageError(("the device must be a full path of at most 255 Windows-1252 "
                              "characters, without surrounding blanks: " +
                              s.device)
                                 .toStdString());
    }
    try {
        // Parsed as the spooler will parse the file, so that a string it cannot use is
        // refused here rather than at the station's first start.
        db::ParseDataLink(db::DataLinkFileBytes(s.initString), QDir(folder).filePath(kDataLink));
    } catch (const db::DbError& e) {
        throw UsageError(e.what());
    }
}

void WriteStationFiles(const StationSettings& s, const QString& folder) {
    const QDir dir(folder);
    Write(dir.filePath(kPlinovaIni), PlinovaIniBytes(s));
    Write(dir.filePath(kMolvarIni), MolvarIniBytes(s));
    WritePrivate(dir.filePath(kDataLink), db::DataLinkFileBytes(s.initString));
}
