#include "DataLinkFile.h"

#include <QFileInfo>

#include "db/Connection.h"
#include "db/DataLink.h"

void UseDataLinkFile(db::TDbConnection& cn, const QString& path) {
    cn.SetConnectionString(db::DataLinkFileConnectionString(QFileInfo(path).absoluteFilePath()));
}
