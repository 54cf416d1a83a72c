#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace platform {

// Raised when a profile file cannot be written.
class ProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Profile (INI) files as the station's other programs write them: single-byte text,
// CR LF or LF line ends, "[section]" headers and "key=value" lines. Section and key
// names compare without regard to ASCII case; values are trimmed of surrounding blanks.
// On Windows these are the system's own profile functions; elsewhere this program's own
// implementation (PortableProfile.h), which reads files as the system's functions do.
//
// A name beginning with ".\" or "./" is resolved against the working directory, as is
// any other relative name; backslashes are taken as path separators.

// Reads a value. Returns at most bufferSize - 1 characters; the default (cut the same
// way) when the file, the section or the key is missing. A bufferSize of 0 gives "".
std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& def,
                              std::size_t bufferSize);

// Writes a value, creating the file, the section and the key as needed and keeping
// every other line of the file (comments and blank lines too) as it was.
// Throws ProfileError when the file cannot be read or written.
void WriteProfileString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value);

// An open profile file, for code that reads and writes many keys of one file.
class ProfileFile {
public:
    explicit ProfileFile(std::string fileName) : fileName_(std::move(fileName)) {}

    // Reads with a 2048-character buffer, enough for any value a person writes by hand.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
};

} // namespace platform
