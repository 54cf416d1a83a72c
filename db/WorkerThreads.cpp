#include "db/WorkerThreads.h"

#include <QByteArray>
#include <QtGlobal>

namespace db {

void PrepareWorkerThreads() {
#ifdef __MINGW32__
    // Qt reads this once, at the first regular expression it compiles; whoever set it chose.
    if (!qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT"))
        qputenv("QT_ENABLE_REGEXP_JIT", QByteArray("0"));
#endif
}

} // namespace db
