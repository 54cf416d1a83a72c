#include "PgCluster.h"

// A server of the test's own is made with the host's PostgreSQL programs (initdb, pg_ctl),
// which a Windows test program under wine does not run: the tests that need one are skipped
// there, with this reason.
std::unique_ptr<PgCluster> PgCluster::Create(QString* why) {
    *why = QStringLiteral("a PostgreSQL server of the test's own needs the host's programs");
    return nullptr;
}

bool PgCluster::Possible() {
    return false;
}

PgCluster::~PgCluster() = default;

bool PgCluster::Stop() {
    return false;
}

bool PgCluster::Start() {
    return false;
}

QString PgCluster::InitString() const {
    return {};
}
