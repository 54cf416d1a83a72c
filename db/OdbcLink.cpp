#include "db/OdbcLink.h"

#include <algorithm>
#include <charconv>

namespace db {

namespace {

const char* const kSpaces = " \t\r\n\v\f";
const char* const kAccessDriver = "Microsoft Access Driver (*.mdb, *.accdb)";
const char* const kLegacySqlServerDriver = "SQL Server"; // part of every Windows

// Every ASCII white space, as the data link parser's QString::trimmed takes it from the same
// values; the blanks of the profile files (platform/AsciiText.h) are spaces and tabs only.
std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kSpaces);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kSpaces);
    return std::string(text.substr(first, last - first + 1));
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

std::string Upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](char c) { return Upper(c); });
    return result;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Upper(x) == Upper(y); });
}

bool StartsWithName(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

// The value of a property (the last occurrence wins, names compared without regard to case), or
// an empty string.
std::string Property(const LinkProperties& properties, std::string_view name) {
    for (auto it = properties.crbegin(); it != properties.crend(); ++it) {
        if (SameName(it->first, name))
            return it->second;
    }
    return {};
}

bool IsTrue(const std::string& value) {
    const std::string v = Upper(Trim(value));
    return v == "SSPI" || v == "TRUE" || v == "YES";
}

// Wraps an ODBC attribute value in braces when it holds characters that would end or change it.
std::string OdbcValue(const std::string& value) {
    const bool plain =
        value.find_first_of(";{}=") == std::string::npos && Trim(value).size() == value.size();
    if (plain)
        return value;
    std::string braced = "{";
    for (const char c : value) {
        braced += c;
        if (c == '}')
            braced += '}';
    }
    return braced + '}';
}

std::string StripBraces(std::string value) {
    value = Trim(value);
    if (value.size() >= 2 && value.front() == '{' && value.back() == '}')
        value = value.substr(1, value.size() - 2);
    return value;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string joined;
    for (const std::string& part : parts)
        joined += part + ';';
    return joined;
}

// The attributes of an ODBC connection string, in order: "KEY=value;KEY={braced; value}".
// A braced value runs to its closing brace ("}}" inside stands for one "}").
LinkProperties OdbcAttributes(const std::string& text) {
    LinkProperties attributes;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const std::size_t eq = text.find('=', i);
        const std::size_t semi = text.find(';', i);
        if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
            i = semi == std::string::npos ? n : semi + 1;
            continue;
        }
        const std::string key = Trim(text.substr(i, eq - i));
        i = eq + 1;
        while (i < n && text[i] == ' ')
            ++i;
        std::string value;
        if (i < n && text[i] == '{') {
            ++i;
            while (i < n) {
                const char c = text[i++];
                if (c == '}') {
                    if (i < n && text[i] == '}') {
                        value += c;
                        ++i;
                        continue;
                    }
                    break;
                }
                value += c;
            }
            const std::size_t end = text.find(';', i);
            i = end == std::string::npos ? n : end + 1;
        } else {
            const std::size_t end = semi == std::string::npos ? n : semi;
            value = Trim(text.substr(i, end - i));
            i = end + 1;
        }
        attributes.emplace_back(key, value);
    }
    return attributes;
}

bool HasOdbcKey(const std::string& connectionString, std::string_view key) {
    const LinkProperties attributes = OdbcAttributes(connectionString);
    return std::any_of(attributes.begin(), attributes.end(),
                       [&](const auto& attribute) { return SameName(attribute.first, key); });
}

// "Data Source" of a SQL Server link: "host", "host\instance" or "host,port", with an optional
// "tcp:" in front. Returns the server without the prefix and the port apart (empty if none).
std::pair<std::string, std::string> SqlServerAddress(const LinkProperties& properties) {
    std::string server = Trim(Property(properties, "Data Source"));
    if (server.empty())
        throw OdbcLinkError("names no Data Source (server)");
    if (StartsWithName(server, "tcp:"))
        server = server.substr(4);
    std::string port;
    if (const auto comma = server.find(','); comma != std::string::npos) {
        port = Trim(server.substr(comma + 1));
        server = Trim(server.substr(0, comma));
        int number = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (error != std::errc() || end != port.data() + port.size() || number <= 0 ||
            number > 65535)
            throw OdbcLinkError("Data Source has an invalid port '" + port + "'");
    }
    return {server, port};
}

// The newest SQL Server driver installed: the highest "ODBC Driver N for SQL Server", else the
// one every Windows has.
std::string NewestSqlServerDriver(const OdbcHost& host) {
    std::string newest = kLegacySqlServerDriver;
    int newestVersion = 0;
    const std::string prefix = "ODBC Driver ";
    const std::string suffix = " for SQL Server";
    for (const std::string& name :
         host.installedDrivers ? host.installedDrivers() : std::vector<std::string>()) {
        if (name.size() <= prefix.size() + suffix.size() || !StartsWithName(name, prefix) ||
            !SameName(std::string_view(name).substr(name.size() - suffix.size()), suffix))
            continue;
        const char* first = name.data() + prefix.size();
        const char* last = name.data() + name.size() - suffix.size();
        int version = 0;
        const auto [end, error] = std::from_chars(first, last, version);
        if (error == std::errc() && end == last && version > newestVersion) {
            newestVersion = version;
            newest = name;
        }
    }
    return newest;
}

// The driver's version when it is "ODBC Driver N for SQL Server", else 0.
int SqlServerDriverVersion(const std::string& driver) {
    int version = 0;
    if (StartsWithName(driver, "ODBC Driver "))
        std::from_chars(driver.data() + 12, driver.data() + driver.size(), version);
    return version;
}

// The database and the login of a SQL Server link: Windows' own account when the link asks
// for integrated security (`trusted` as the driver spells it), else user and password.
void AddCatalogAndLogin(const LinkProperties& properties, const char* trusted,
                        std::vector<std::string>& parts, OdbcLink& link) {
    if (const std::string catalog = Property(properties, "Initial Catalog"); !catalog.empty())
        parts.push_back("DATABASE=" + OdbcValue(catalog));
    if (IsTrue(Property(properties, "Integrated Security"))) {
        parts.push_back(std::string("Trusted_Connection=") + trusted);
    } else {
        if (const std::string user = Property(properties, "User ID"); !user.empty())
            parts.push_back("UID=" + OdbcValue(user));
        link.password = Property(properties, "Password");
        if (!link.password.empty())
            parts.push_back("PWD=" + OdbcValue(link.password));
    }
}

// SQL Server through FreeTDS (Debian's tdsodbc) unless the link names another driver. FreeTDS
// takes the port apart and knows "(local)" only as localhost.
OdbcLink SqlServerOnPosix(const LinkProperties& properties) {
    OdbcLink link;
    link.road = OdbcRoad::SqlServer;
    const std::string driverProperty = Trim(Property(properties, "Driver"));
    const std::string driver = driverProperty.empty() ? "FreeTDS" : StripBraces(driverProperty);
    const bool freeTds = SameName(driver, "FreeTDS");
    auto [server, port] = SqlServerAddress(properties);
    if (server == "." || SameName(server, "(local)"))
        server = "localhost";

    std::vector<std::string> parts{"DRIVER={" + driver + "}"};
    if (port.empty())
        parts.push_back("SERVER=" + OdbcValue(server));
    else if (freeTds)
        parts.insert(parts.end(), {"SERVER=" + OdbcValue(server), "PORT=" + port});
    else
        parts.push_back("SERVER=" + OdbcValue(server + ',' + port));
    AddCatalogAndLogin(properties, "Yes", parts, link);
    link.passwords.push_back(Property(properties, "Password"));
    link.connectionString = Join(parts);
    return link;
}

// SQL Server through Windows' own drivers, which read "Data Source" as the providers did:
// "(local)", "host\instance", "tcp:host,port" are passed as written.
OdbcLink SqlServerOnWindows(const LinkProperties& properties, const OdbcHost& host) {
    OdbcLink link;
    link.road = OdbcRoad::SqlServer;
    const std::string driverProperty = Trim(Property(properties, "Driver"));
    const std::string driver =
        driverProperty.empty() ? NewestSqlServerDriver(host) : StripBraces(driverProperty);
    SqlServerAddress(properties); // checks the port
    std::vector<std::string> parts{"DRIVER={" + driver + "}",
                                   "SERVER=" +
                                       OdbcValue(Trim(Property(properties, "Data Source")))};
    AddCatalogAndLogin(properties, "yes", parts, link);
    // The older providers encrypt only when asked; ODBC Driver 18 and later encrypt (and check
    // the server's certificate) unless told not to, which a station's server without a trusted
    // certificate would refuse.
    const std::string encryption = Upper(Trim(Property(properties, "Use Encryption for Data")));
    int providerVersion = 0;
    const std::string stem = ProviderStem(Property(properties, "Provider"), &providerVersion);
    const bool providerEncrypts = stem == "MSOLEDBSQL" && providerVersion >= 19;
    if (encryption == "TRUE" || encryption == "YES" || encryption == "MANDATORY")
        parts.push_back("Encrypt=yes");
    else if (encryption == "STRICT")
        parts.push_back("Encrypt=strict");
    else if (encryption == "FALSE" || encryption == "NO" || encryption == "OPTIONAL" ||
             (encryption.empty() && !providerEncrypts && SqlServerDriverVersion(driver) >= 18))
        parts.push_back("Encrypt=no");
    if (IsTrue(Property(properties, "Trust Server Certificate")))
        parts.push_back("TrustServerCertificate=yes");
    if (const std::string app = Property(properties, "Application Name"); !app.empty())
        parts.push_back("APP=" + OdbcValue(app));
    if (const std::string station = Property(properties, "Workstation ID"); !station.empty())
        parts.push_back("WSID=" + OdbcValue(station));
    link.passwords.push_back(Property(properties, "Password"));
    link.connectionString = Join(parts);
    return link;
}

bool IsAbsoluteWindowsPath(const std::string& path) {
    return (!path.empty() && (path[0] == '\\' || path[0] == '/')) ||
           (path.size() >= 2 && path[1] == ':');
}

// An Access database file through the driver Windows has for it.
OdbcLink AccessOnWindows(const LinkProperties& properties, const std::string& linkFolder) {
    OdbcLink link;
    link.road = OdbcRoad::Access;
    std::string file = Trim(Property(properties, "Data Source"));
    if (file.empty())
        throw OdbcLinkError("names no Data Source (Access database file)");
    if (!IsAbsoluteWindowsPath(file) && !linkFolder.empty())
        file = linkFolder + '\\' + file;
    std::replace(file.begin(), file.end(), '/', '\\');
    const std::string driverProperty = Trim(Property(properties, "Driver"));
    std::vector<std::string> parts{
        "DRIVER={" + (driverProperty.empty() ? kAccessDriver : StripBraces(driverProperty)) + "}",
        "DBQ=" + OdbcValue(file)};
    if (const std::string user = Property(properties, "User ID"); !user.empty())
        parts.push_back("UID=" + OdbcValue(user));
    // The database's own password, else the workgroup login's.
    const std::string databasePassword = Property(properties, "Jet OLEDB:Database Password");
    link.password = databasePassword.empty() ? Property(properties, "Password") : databasePassword;
    if (!link.password.empty())
        parts.push_back("PWD=" + OdbcValue(link.password));
    link.passwords = {Property(properties, "Password"), databasePassword};
    link.connectionString = Join(parts);
    return link;
}

// Any ODBC data source: the connection string in "Extended Properties", or a DSN.
OdbcLink AnyOdbc(const LinkProperties& properties) {
    OdbcLink link;
    link.road = OdbcRoad::Odbc;
    const std::string user = Property(properties, "User ID");
    link.password = Property(properties, "Password");
    std::string odbc = Trim(Property(properties, "Extended Properties"));
    if (odbc.empty()) {
        const std::string dsn = Trim(Property(properties, "Data Source"));
        if (dsn.empty())
            throw OdbcLinkError("names neither Extended Properties nor Data Source");
        odbc = "DSN=" + OdbcValue(dsn);
    } else if (odbc.find('=') == std::string::npos) {
        odbc = "DSN=" + OdbcValue(odbc);
    }
    while (!odbc.empty() && odbc.back() == ';')
        odbc.pop_back();
    if (!user.empty() && !HasOdbcKey(odbc, "UID"))
        odbc += ";UID=" + OdbcValue(user);
    if (!link.password.empty() && !HasOdbcKey(odbc, "PWD"))
        odbc += ";PWD=" + OdbcValue(link.password);
    link.connectionString = odbc + ';';
    // The password may come in the ODBC string itself, and either may be the one in use.
    link.passwords.push_back(link.password);
    for (const auto& [name, value] : OdbcAttributes(odbc)) {
        if (SameName(name, "PWD") || SameName(name, "Password"))
            link.passwords.push_back(value);
    }
    return link;
}

} // namespace

std::string ProviderStem(std::string_view provider, int* version) {
    std::string stem = Upper(Trim(provider));
    stem = stem.substr(0, stem.find('.'));
    const auto digits = stem.find_last_not_of("0123456789") + 1;
    if (version) {
        *version = 0;
        std::from_chars(stem.data() + digits, stem.data() + stem.size(), *version);
    }
    stem.resize(digits);
    return stem;
}

std::optional<OdbcRoad> OdbcRoadOf(std::string_view provider) {
    const std::string name = Trim(provider);
    if (StartsWithName(name, "Microsoft.Jet.OLEDB.") ||
        StartsWithName(name, "Microsoft.ACE.OLEDB."))
        return OdbcRoad::Access;
    const std::string stem = ProviderStem(name);
    if (stem == "SQLOLEDB" || stem == "SQLNCLI" || stem == "MSOLEDBSQL")
        return OdbcRoad::SqlServer;
    if (stem == "MSDASQL")
        return OdbcRoad::Odbc;
    return std::nullopt;
}

OdbcLink MapToOdbc(const LinkProperties& properties, const std::string& linkFolder,
                   const OdbcHost& host) {
    const std::string provider = Trim(Property(properties, "Provider"));
    const std::optional<OdbcRoad> road = OdbcRoadOf(provider);
    if (!road)
        throw OdbcLinkError("names the provider '" + provider + "', not one reached through ODBC");
    OdbcLink link;
    switch (*road) {
    case OdbcRoad::SqlServer:
        link = host.system == OdbcSystem::Windows ? SqlServerOnWindows(properties, host)
                                                  : SqlServerOnPosix(properties);
        break;
    case OdbcRoad::Access:
        if (host.system != OdbcSystem::Windows)
            throw OdbcLinkError("names an Access database file (provider '" + provider +
                                "'), which only Windows has a driver to write; on this system "
                                "move the station's database to SQL Server, PostgreSQL or "
                                "SQLite");
        link = AccessOnWindows(properties, linkFolder);
        break;
    case OdbcRoad::Odbc:
        link = AnyOdbc(properties);
        break;
    }
    std::erase(link.passwords, std::string());
    return link;
}

} // namespace db
