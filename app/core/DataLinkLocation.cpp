#include "DataLinkLocation.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kDataLinkName = QStringLiteral("Molvar.udl");

} // namespace

QString FileInFolder(const QString& folder, const QString& name) {
    return QDir::toNativeSeparators(QDir(folder).absoluteFilePath(name));
}

QString DataLinkPath(const QString& programFolder, const QString& stationFolder) {
    // A file that exists but cannot be read still counts, so that its error names it.
    const QString beside = FileInFolder(programFolder, kDataLinkName);
    if (QFileInfo::exists(beside))
        return beside;
    return FileInFolder(stationFolder, kDataLinkName);
}
