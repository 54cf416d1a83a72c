#pragma once

#include <QString>
#include <optional>

// The desktop entries that start a station's spooler in its folder for one user: one in the
// user's autostart folder, run at login, and one in the user's applications folder, which
// takes the place of the package's menu entry of the same name for this user.
struct StartEntryFiles {
    QString autostart; // $XDG_CONFIG_HOME/autostart/plinova.desktop
    QString menu;      // $XDG_DATA_HOME/applications/plinova.desktop
};
StartEntryFiles StartEntryPaths();

// The spooler program the entries run: the one beside this program when there is one, else
// the one found on PATH, else the bare name (a warning is then due).
QString SpoolerProgram(bool* found);

// The text of an entry that runs `program` in `folder`.
QString StartEntryText(const QString& folder, qint32 station, const QString& program);

// The folder an existing entry starts the spooler in, when it is another than `folder` (an
// entry that names no folder counts as another).
std::optional<QString> OtherStationStarted(const QString& folder);

// Writes both entries. Throws std::runtime_error naming the file that could not be written.
void WriteStartEntries(const QString& folder, qint32 station, const QString& program);
