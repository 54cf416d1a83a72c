// POSIX has no profile-file service: the program's own implementation is the system's.
#include "PortableProfile.h"

namespace platform {

std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& def,
                              std::size_t bufferSize) {
    return portable::ReadProfileString(fileName, section, key, def, bufferSize);
}

void WriteProfileString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value) {
    portable::WriteProfileString(fileName, section, key, value);
}

} // namespace platform
