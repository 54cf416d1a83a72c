#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the station command writes into a station folder, byte for byte as the spooler reads
// it: the two profile files in Windows-1252 with CR LF line ends, and the data link file as
// Windows writes it.
struct StationSettings {
    qint32 station = 1;  // Molvar.ini, Posto
    qint32 port = 1;     // COMn, used when no device is given
    QString device;      // the printer's device path, when given
    qint32 protocol = 0; // 0: writes paced by pauses; other: RTS/CTS flow control
    QString initString;  // the data link's initialisation string
};

// The names of the files a station folder holds.
QStringList StationFileNames();

QByteArray PlinovaIniBytes(const StationSettings& settings);
QByteArray MolvarIniBytes(const StationSettings& settings);

// Throws UsageError when the settings cannot be written so that the spooler reads them back
// unchanged: a number longer than the four characters it reads, a device path it would trim,
// cut or cannot hold in its code page, or an initialisation string it cannot parse.
void CheckStationSettings(const StationSettings& settings, const QString& folder);

// Writes the three files into `folder`, each whole or not at all; the data link file, which
// may hold a password, readable by its owner only. Throws std::runtime_error naming the file.
void WriteStationFiles(const StationSettings& settings, const QString& folder);
