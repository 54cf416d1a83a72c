#include "CycleStatements.h"

namespace cycle {

QStringList SelectQueue() {
    return {QStringLiteral("SELECT * FROM printer"), QStringLiteral("WHERE posto = :posto")};
}

QStringList InsertHistory() {
    return {QStringLiteral("INSERT INTO historico (datahora, id, titulo, dados, palavrachave, "
                           "cartao, previsao, datavalor)"),
            QStringLiteral("VALUES (:datahora, :id, :titulo, :dados, :palavrachave, :cartao, "
                           ":previsao, :datavalor)")};
}

QStringList DeleteJob() {
    return {QStringLiteral("DELETE FROM printer WHERE id=:id")};
}

} // namespace cycle
