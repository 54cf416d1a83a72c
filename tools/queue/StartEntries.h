#pragma once

#include <QString>
#include <optional>

// The entries that start a station's spooler in its folder for one user: one run at log-on and
// one in the user's menu. Each system keeps them its own way (posix/, win/):
// - Linux: desktop entries plinova.desktop in $XDG_CONFIG_HOME/autostart/ and in
//   $XDG_DATA_HOME/applications/, where it takes the place of the package's menu entry of the
//   same name for this user;
// - Windows: shortcuts Plinova.lnk in the user's Startup folder and in the user's Start menu.
struct StartEntryFiles {
    QString autostart; // run at log-on
    QString menu;
};
StartEntryFiles StartEntryPaths();

// The spooler program the entries run: the one beside this program when there is one, else
// the one found on PATH, else the bare name (a warning is then due).
QString SpoolerProgram(bool* found);

// What an entry starts: the program, the rest of its command line, and its working folder.
struct StartEntry {
    QString program;
    QString arguments;
    QString folder;
};

// Writes the entry at `path` that runs `program` in `folder`, replacing the one there at once.
// Throws std::runtime_error naming the file that could not be written.
void WriteStartEntry(const QString& path, const QString& folder, qint32 station,
                     const QString& program);

// The entry at `path`; nothing when there is no file there. A file this system cannot read as
// an entry gives one with empty fields: it starts no folder that can be told.
std::optional<StartEntry> ReadStartEntry(const QString& path);

// Whether two paths name the same folder, as this system's file names compare.
bool SameFolder(const QString& a, const QString& b);

// The command line a person types to start `program` in `folder` now.
QString StartNowCommand(const QString& folder, const QString& program);

// The folder an existing entry starts the spooler in, when it is another than `folder` (an
// entry that names no folder counts as another).
std::optional<QString> OtherStationStarted(const QString& folder);

// Writes both entries. Throws std::runtime_error naming the file that could not be written.
void WriteStartEntries(const QString& folder, qint32 station, const QString& program);
