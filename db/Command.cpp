#include "db/Command.h"

#include "db/Connection.h"

#include <QSqlQuery>

namespace db {

void TDbCommand::Execute() {
    cn_->Acquire();
    try {
        QSqlQuery query(cn_->Database());
        Run(query);
    } catch (...) {
        cn_->Release();
        throw;
    }
    cn_->Release();
}

} // namespace db
