#include "app/core/DataLinkLocation.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kDataLinkName = QStringLiteral("Molvar.udl");

QString InFolder(const QString& folder) {
    return QDir::toNativeSeparators(QDir(folder).absoluteFilePath(kDataLinkName));
}

} // namespace

QString DataLinkPath(const QString& programFolder, const QString& stationFolder) {
    // A file that exists but cannot be read still counts, so that its error names it.
    const QString beside = InFolder(programFolder);
    if (QFileInfo::exists(beside))
        return beside;
    return InFolder(stationFolder);
}
