#pragma once

#include <string>
#include <vector>

#include "db/OdbcLink.h"

namespace db {

// The names of the ODBC drivers the driver manager knows on this machine, as a connection
// string's DRIVER names them; empty when it cannot tell.
std::vector<std::string> InstalledOdbcDrivers();

// This machine as data links are mapped for it: its system and its installed drivers.
OdbcHost ThisOdbcHost();

} // namespace db
