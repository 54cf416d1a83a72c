#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The data link providers that are reached through ODBC, and the ODBC connection string each
// becomes on each system. Free of Qt, so that the same mapping builds and is tested wherever the
// database layer's system-specific code is.
namespace db {

// The properties of an initialisation string, in order, names as written, values in UTF-8.
using LinkProperties = std::vector<std::pair<std::string, std::string>>;

enum class OdbcSystem { Posix, Windows };

#ifdef _WIN32
inline constexpr OdbcSystem kThisOdbcSystem = OdbcSystem::Windows;
#else
inline constexpr OdbcSystem kThisOdbcSystem = OdbcSystem::Posix;
#endif

// What a link is resolved against: the system and, asked for only when a link leaves the choice
// of driver open, the names of the ODBC drivers installed there.
struct OdbcHost {
    OdbcSystem system = kThisOdbcSystem;
    std::function<std::vector<std::string>()> installedDrivers;
};

// Which kind of database an ODBC provider reaches.
enum class OdbcRoad { SqlServer, Access, Odbc };

struct OdbcLink {
    OdbcRoad road = OdbcRoad::Odbc;
    std::string connectionString;       // ends with ";"
    std::string password;               // the login's password as the link gives it
    std::vector<std::string> passwords; // every password the link holds, for masking
};

// A link that cannot be mapped: what is wrong with it, never a password.
class OdbcLinkError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A provider's name without its version, in capitals: "SQLOLEDB.1" -> "SQLOLEDB",
// "SQLNCLI11" -> "SQLNCLI". `version` receives the digits that followed the name ("11"), 0 when
// none did.
std::string ProviderStem(std::string_view provider, int* version = nullptr);

// The road a provider ("SQLOLEDB.1", "Microsoft.ACE.OLEDB.12.0", "MSDASQL" ...) takes, or none
// when it is not reached through ODBC.
std::optional<OdbcRoad> OdbcRoadOf(std::string_view provider);

// The ODBC connection string for the link's properties on `host`. `linkFolder` anchors a
// relative Access file name. Throws OdbcLinkError.
OdbcLink MapToOdbc(const LinkProperties& properties, const std::string& linkFolder,
                   const OdbcHost& host);

} // namespace db
