#pragma once

#include <QString>

// Where the spooler finds its data link file "Molvar.udl": beside the executable when it is
// there, otherwise in the station folder (an installed program lies in
// a shared folder such as /usr/bin). When neither holds one, the station folder's is named,
// so that the error shows where an installed station expects the file.
QString DataLinkPath(const QString& programFolder, const QString& stationFolder);

// The file `name` in `folder`, as an absolute path in the system's own spelling (the station's
// profile files and its data link file are found this way).
QString FileInFolder(const QString& folder, const QString& name);
