#include "tools/queue/DataLinkFile.h"

#include <QFileInfo>

#include "db/Connection.h"

void UseDataLinkFile(db::TDbConnection& cn, const QString& path) {
    cn.SetConnectionString(QStringLiteral("FILE NAME=") + QFileInfo(path).absoluteFilePath());
}
