#include "platform/ProfileFile.h"

namespace platform {

std::string ProfileFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& def) const {
    return ReadProfileString(fileName_, section, key, def, 2048);
}

void ProfileFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    WriteProfileString(fileName_, section, key, value);
}

} // namespace platform
