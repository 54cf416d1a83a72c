#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform {

// Raised by Registry reads and writes; the text names the value concerned.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class RegDataType { None, String, Integer, Binary };

// A typed key store with the value kinds of the system registry: keys named by paths with
// backslashes ("Software\Plinova\Port"; forward slashes and doubled or surrounding
// separators are read as single backslashes), each holding named values that are strings,
// 32-bit integers or byte blocks. Reads and writes go to the current key, which OpenKey
// sets. Implementations: FileRegistry (one file holding every key, on any system) and, on
// Windows, SystemRegistry (the system registry).
class Registry {
public:
    virtual ~Registry() = default;

    // Makes a key current; creates it when asked to. Returns false when it is missing and
    // may not be created, or cannot be.
    virtual bool OpenKey(const std::string& key, bool canCreate) = 0;
    virtual void CloseKey() = 0;
    virtual bool KeyExists(const std::string& key) const = 0;
    virtual const std::string& CurrentPath() const = 0;

    virtual bool ValueExists(const std::string& name) const = 0;
    virtual RegDataType GetDataType(const std::string& name) const = 0;
    virtual bool DeleteValue(const std::string& name) = 0;

    // A missing value reads as empty text; a value of another kind raises
    // "Invalid data type for '<name>'".
    virtual std::string ReadString(const std::string& name) const = 0;
    // Missing: "Failed to get data for '<name>'"; another kind: "Invalid data type for '<name>'".
    virtual std::int32_t ReadInteger(const std::string& name) const = 0;
    virtual std::string ReadBinary(const std::string& name) const = 0;
    // Without an open key, or when the store cannot be written:
    // "Failed to set data for '<name>'".
    virtual void WriteString(const std::string& name, const std::string& value) = 0;
    virtual void WriteInteger(const std::string& name, std::int32_t value) = 0;
    virtual void WriteBinary(const std::string& name, const std::string& value) = 0;

protected:
    // The form every implementation names a key by: backslashes, none doubled, none at
    // either end.
    static std::string NormalizeKeyPath(const std::string& key);
    static std::string Quote(const std::string& name) { return "'" + name + "'"; }
};

} // namespace platform
