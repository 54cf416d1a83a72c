#pragma once

#include "db/Statement.h"

namespace db {

// A statement that returns no rows (INSERT, UPDATE, DELETE, DDL), run once per Execute.
class TDbCommand : public TDbStatement {
public:
    using TDbStatement::TDbStatement;

    // Connects on demand, runs the statement once and releases the connection (also on
    // failure). DbError with the driver's message.
    void Execute();
};

} // namespace db
