#include "db/Command.h"

#include "db/Connection.h"

namespace db {

void TDbCommand::Execute() {
    cn_->Acquire();
    try {
        Run();
    } catch (...) {
        cn_->Release();
        throw;
    }
    cn_->Release();
}

} // namespace db
