#include "OdbcDrivers.h"

#include "OdbcHeaders.h"

#include <QString>

namespace db {

std::vector<std::string> InstalledOdbcDrivers() {
    std::vector<std::string> drivers;
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return drivers;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    constexpr SQLSMALLINT kNameChars = 256;
    constexpr SQLSMALLINT kAttributeChars = 1024;
    SQLWCHAR name[kNameChars];
    SQLWCHAR attributes[kAttributeChars];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    // A name longer than the buffer comes back cut: no driver the mapping looks for is that
    // long, so it is skipped.
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;
         SQL_SUCCEEDED(SQLDriversW(env, direction, name, kNameChars, &nameLength, attributes,
                                   kAttributeChars, &attributesLength));
         direction = SQL_FETCH_NEXT) {
        if (nameLength >= 0 && nameLength < kNameChars)
            drivers.push_back(
                QString::fromUtf16(reinterpret_cast<const char16_t*>(name), nameLength)
                    .toStdString());
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return drivers;
}

OdbcHost ThisOdbcHost() {
    return OdbcHost{kThisOdbcSystem, &InstalledOdbcDrivers};
}

} // namespace db
