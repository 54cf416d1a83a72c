// Profile files read and written by this program itself, the same way on every system: what
// the program uses where the system has no profile-file service, and what the system's
// service is compared against where it has one.
#pragma once

#include "platform/ProfileFile.h"

namespace platform::portable {

std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& def,
                              std::size_t bufferSize);
void WriteProfileString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value);

// Maps a profile or device name written the Windows way to a local path.
std::string LocalPath(const std::string& fileName);

} // namespace platform::portable
