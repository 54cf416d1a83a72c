// Profile files through the system's own profile functions.
#include "platform/ProfileFile.h"
#include "win/SystemErrorText.h"

#include <windows.h>
// The system's name for its write to win.ini; here the name is this layer's own function.
#undef WriteProfileString

namespace platform {

namespace {

// The system looks for a bare file name in the Windows folder; here, as with the other
// relative names, it is the working folder's.
std::string SystemName(const std::string& fileName) {
    if (fileName.find_first_of("\\/:") == std::string::npos)
        return ".\\" + fileName;
    return fileName;
}

} // namespace

std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& def,
                              std::size_t bufferSize) {
    if (bufferSize == 0)
        return {};
    std::string buffer(bufferSize, '\0');
    const DWORD size = bufferSize > MAXDWORD ? MAXDWORD : static_cast<DWORD>(bufferSize);
    const DWORD length =
        GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer.data(), size,
                                 SystemName(fileName).c_str());
    buffer.resize(length);
    return buffer;
}

void WriteProfileString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value) {
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                    SystemName(fileName).c_str()))
        throw ProfileError("Unable to write " + fileName + ": " +
                           win::SystemErrorText(GetLastError()));
}

} // namespace platform
