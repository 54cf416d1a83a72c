#include "StartEntries.h"

#include <QCoreApplication>
#include <QStandardPaths>

QString SpoolerProgram(bool* found) {
    // findExecutable adds the system's program suffixes (.exe) and wants the file executable.
    const QString name = QStringLiteral("plinova");
    QString program =
        QStandardPaths::findExecutable(name, {QCoreApplication::applicationDirPath()});
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(name);
    *found = !program.isEmpty();
    return *found ? program : name;
}

std::optional<QString> OtherStationStarted(const QString& folder) {
    const StartEntryFiles files = StartEntryPaths();
    for (const QString& path : {files.autostart, files.menu}) {
        const std::optional<StartEntry> entry = ReadStartEntry(path);
        if (entry && !SameFolder(entry->folder, folder))
            return entry->folder;
    }
    return std::nullopt;
}

void WriteStartEntries(const QString& folder, qint32 station, const QString& program) {
    const StartEntryFiles files = StartEntryPaths();
    WriteStartEntry(files.autostart, folder, station, program);
    WriteStartEntry(files.menu, folder, station, program);
}
