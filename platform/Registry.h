#pragma once

#include <cstdint>
#include <map>
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
// backslashes ("Software\Plinova\Port"), each holding named values that are strings,
// 32-bit integers or byte blocks. One implementation per platform: on POSIX the store is a
// file that holds every key, written again after each change.
class Registry {
public:
    explicit Registry(std::string storeFile);

    // Makes a key current; creates it when asked to. Returns false when it is missing and
    // may not be created.
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();
    bool KeyExists(const std::string& key) const;
    const std::string& CurrentPath() const { return currentPath_; }

    bool ValueExists(const std::string& name) const;
    RegDataType GetDataType(const std::string& name) const;
    bool DeleteValue(const std::string& name);

    // A missing value reads as empty text; a value of another kind raises
    // "Invalid data type for '<name>'".
    std::string ReadString(const std::string& name) const;
    // Missing: "Failed to get data for '<name>'"; another kind: "Invalid data type for '<name>'".
    std::int32_t ReadInteger(const std::string& name) const;
    std::string ReadBinary(const std::string& name) const;
    // Without an open key, or when the store cannot be saved:
    // "Failed to set data for '<name>'".
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, std::int32_t value);
    void WriteBinary(const std::string& name, const std::string& value);

private:
    struct Value {
        RegDataType type = RegDataType::None;
        std::string data;
    };
    using Key = std::map<std::string, Value>;

    void Load();
    bool Save() const;
    void Write(const std::string& name, RegDataType type, const std::string& data);
    const Value* Find(const std::string& name) const;
    static std::string Normalize(const std::string& key);

    std::string storeFile_;
    std::map<std::string, Key> keys_;
    std::string currentPath_;
    bool hasCurrentKey_ = false;
};

} // namespace platform
