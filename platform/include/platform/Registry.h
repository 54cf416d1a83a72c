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
// Windows, SystemRegistry (the system registry). They keep the keys and values; the rules of
// the typed reads and writes, and their errors, are the same for both and live here.
class Registry {
public:
    virtual ~Registry() = default;

    // Makes a key current; creates it when asked to. Returns false when it is missing and
    // may not be created, or cannot be.
    virtual bool OpenKey(const std::string& key, bool canCreate) = 0;
    virtual void CloseKey() = 0;
    virtual bool KeyExists(const std::string& key) const = 0;
    virtual const std::string& CurrentPath() const = 0;
    virtual bool DeleteValue(const std::string& name) = 0;

    bool ValueExists(const std::string& name) const;
    // None for a missing value and for one of a kind the store has but this interface does not.
    RegDataType GetDataType(const std::string& name) const;

    // A missing value reads as empty text; a value of another kind raises
    // "Invalid data type for '<name>'".
    std::string ReadString(const std::string& name) const;
    // Missing: "Failed to get data for '<name>'"; another kind: "Invalid data type for '<name>'".
    std::int32_t ReadInteger(const std::string& name) const;
    std::string ReadBinary(const std::string& name) const;
    // Without an open key, or when the store cannot be written:
    // "Failed to set data for '<name>'".
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, std::int32_t value);
    void WriteBinary(const std::string& name, const std::string& value);

protected:
    // A value in the form both stores exchange: the text of a string (without a terminating
    // zero), the decimal digits of an integer, the bytes of a block.
    struct Value {
        RegDataType type = RegDataType::None;
        std::string data;
    };
    // A value of the current key; false without a current key or such a value.
    virtual bool Get(const std::string& name, Value& value) const = 0;
    // Stores a value in the current key; false without one, or when the store refuses it.
    virtual bool Put(const std::string& name, const Value& value) = 0;

    // The form every implementation names a key by: backslashes, none doubled, none at
    // either end.
    static std::string NormalizeKeyPath(const std::string& key);
    static std::string Quote(const std::string& name) { return "'" + name + "'"; }

private:
    // A string or a byte block: missing reads as empty, another kind fails.
    std::string ReadData(const std::string& name, RegDataType type) const;
    void Store(const std::string& name, const Value& value);
};

} // namespace platform
