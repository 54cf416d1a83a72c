#pragma once

#include <QVariant>

namespace db {
class TDbConnection;
}

namespace dbtest {

// A job as the point-of-sale front end queues it in `printer`. A column whose value is left
// invalid (QVariant()) is not written, so it takes the table's default; a null value of a
// type is written as NULL.
struct QueuedJob {
    QVariant posto = {};
    QVariant gaveta = {};
    QVariant cartao = {};
    QVariant titulo = {};
    QVariant palavrachave = {};
    QVariant dados = {};
    // Given only to take an id the database would issue itself.
    QVariant id = {};
};

// Queues a job.
void QueueJob(db::TDbConnection& cn, const QueuedJob& job);
// The last job queued: the greatest id in the queue.
int LastJobId(db::TDbConnection& cn);

} // namespace dbtest
