#include "JobQueue.h"

#include <QStringList>

#include "db/Command.h"
#include "db/Query.h"

namespace dbtest {

void QueueJob(db::TDbConnection& cn, const QueuedJob& job) {
    const std::pair<const char*, const QVariant*> columns[] = {
        {"posto", &job.posto},
        {"gaveta", &job.gaveta},
        {"cartao", &job.cartao},
        {"titulo", &job.titulo},
        {"palavrachave", &job.palavrachave},
        {"dados", &job.dados},
        {"id", &job.id},
    };
    QStringList names;
    QStringList markers;
    for (const auto& [name, value] : columns) {
        if (!value->isValid())
            continue;
        names << QLatin1String(name);
        markers << QLatin1Char(':') + QLatin1String(name);
    }
    db::TDbCommand insert(&cn);
    insert.SetSQL({QStringLiteral("INSERT INTO printer (%1)").arg(names.join(QStringLiteral(", "))),
                   QStringLiteral("VALUES (%1)").arg(markers.join(QStringLiteral(", ")))});
    for (const auto& [name, value] : columns) {
        if (!value->isValid())
            continue;
        db::TDbParameter& parameter = insert.ParamByName(QLatin1String(name));
        // A NULL text is still bound as text, as the front end binds it.
        if (value->metaType().id() == QMetaType::QString)
            parameter.DataType = db::FieldType::ftString;
        parameter.SetValue(*value);
    }
    insert.Execute();
}

int LastJobId(db::TDbConnection& cn) {
    db::TDbQuery last(&cn);
    last.SetSQL({QStringLiteral("SELECT MAX(id) AS id FROM printer")});
    last.Open();
    const int id = last.FieldAsInteger(QStringLiteral("id"));
    last.Close();
    return id;
}

} // namespace dbtest
