#include "StationCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "Args.h"
#include "DataLinkFile.h"
#include "DeviceAccess.h"
#include "StartEntries.h"
#include "StationFiles.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Schema.h"
#include "serial/DevicePath.h"

namespace {

const char* const kDefaultInitString = "Provider=SQLite;Data Source=station.db";

StationSettings ReadSettings(Args& args) {
    StationSettings s;
    s.station = args.IntOption(QStringLiteral("--station")).value_or(1);
    const auto device = args.Option(QStringLiteral("--device"));
    const auto port = args.IntOption(QStringLiteral("--port"));
    if (device && port)
        throw UsageError("give the printer's --device or its --port, not both");
    s.device = device.value_or(QString());
    if (device && device->isEmpty())
        throw UsageError("the device path is empty");
    s.port = port.value_or(1);
    s.protocol = args.IntOption(QStringLiteral("--protocol")).value_or(0);
    s.initString =
        args.Option(QStringLiteral("--udl")).value_or(QString::fromLatin1(kDefaultInitString));
    return s;
}

// Refuses a folder the station cannot live in: a file in its place, or one this user cannot
// read or write.
void CheckFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        if (errno == ENOENT)
            return;
        throw std::runtime_error(
            ("cannot reach " + folder + ": " + QString::fromLocal8Bit(std::strerror(errno)))
                .toStdString());
    }
    if (!S_ISDIR(st.st_mode))
        throw std::runtime_error((folder + " is not a folder").toStdString());
    if (::access(path.constData(), R_OK | W_OK | X_OK) != 0)
        throw std::runtime_error(("cannot read and write the folder " + folder + ": " +
                                  QString::fromLocal8Bit(std::strerror(errno)))
                                     .toStdString());
}

void MakeFolder(const QString& folder) {
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error)
        throw std::runtime_error(
            ("cannot create " + folder + ": " + QString::fromStdString(error.message()))
                .toStdString());
}

QStringList ExistingStationFiles(const QString& folder) {
    QStringList existing;
    for (const QString& name : StationFileNames())
        if (QFileInfo(QDir(folder), name).exists() || QFileInfo(QDir(folder), name).isSymLink())
            existing << name;
    return existing;
}

QString PrinterDevice(const StationSettings& s) {
    if (!s.device.isEmpty())
        return s.device;
    return QString::fromStdString(serial::DevicePathFor(s.port));
}

} // namespace

int StationCommand(Args& args) {
    const StationSettings settings = ReadSettings(args);
    const bool force = args.Flag(QStringLiteral("--force"));
    const bool entries = !args.Flag(QStringLiteral("--no-autostart"));
    const QString given = args.TakeFirst(QStringLiteral("the station folder"));
    if (given.isEmpty() || given.startsWith(QLatin1String("--")))
        throw UsageError(("not a station folder: " + given).toStdString());
    args.ExpectEnd();
    const QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(given));
    CheckStationSettings(settings, folder);

    CheckFolder(folder);
    if (!force) {
        const QStringList existing = ExistingStationFiles(folder);
        if (!existing.isEmpty())
            throw std::runtime_error((folder + " already holds a station (" +
                                      existing.join(QStringLiteral(", ")) +
                                      "): give --force to overwrite its files")
                                         .toStdString());
        if (entries) {
            if (const auto other = OtherStationStarted(folder))
                throw std::runtime_error(
                    ("this user's spooler already starts in " +
                     (other->isEmpty() ? QStringLiteral("another folder") : *other) + " (" +
                     StartEntryPaths().autostart +
                     "): give --force to start this station instead, or --no-autostart")
                        .toStdString());
        }
    }

    MakeFolder(folder);
    WriteStationFiles(settings, folder);
    const QString dataLink = QDir(folder).filePath(QStringLiteral("Molvar.udl"));
    try {
        db::TDbConnection cn;
        UseDataLinkFile(cn, dataLink);
        db::CreateTables(cn);
    } catch (const db::DbError& e) {
        throw std::runtime_error(
            (QStringLiteral("the station's files are written in %1, but its tables could not be "
                            "made: %2\nOnce the database can be reached, run this command again "
                            "with --force.")
                 .arg(folder, QString::fromUtf8(e.what())))
                .toStdString());
    }

    QTextStream out(stdout);
    out << "Station " << settings.station << " in " << QDir::toNativeSeparators(folder)
        << ": Plinova.ini, Molvar.ini and Molvar.udl written, tables ready.\n";
    if (entries) {
        bool found = false;
        const QString program = SpoolerProgram(&found);
        WriteStartEntries(folder, settings.station, program);
        out << "It starts at the next login (" << StartEntryPaths().autostart
            << ") and from the menu's Plinova entry; to start it now: "
            << StartNowCommand(folder, program) << "\n";
        out.flush();
        if (!found)
            std::fprintf(stderr,
                         "plinova-queue: warning: the spooler program plinova is not on PATH; "
                         "the entries run it by that name\n");
    }
    out.flush();
    if (const auto note = DeviceAccessNote(PrinterDevice(settings)))
        std::fprintf(stderr, "plinova-queue: note: %s\n", note->toLocal8Bit().constData());
    return 0;
}
