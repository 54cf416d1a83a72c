#pragma once

#include <QString>

namespace db {
class TDbConnection;
}

// Points `cn` at the database that the data link file `path` names (relative to the working
// directory).
void UseDataLinkFile(db::TDbConnection& cn, const QString& path);
