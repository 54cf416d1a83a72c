#pragma once

#include "platform/Registry.h"

#include <map>

namespace platform {

// The key store kept in one file that holds every key, written again after each change; the
// registry of a system that has none, and a store a program may carry along on any system.
class FileRegistry : public Registry {
public:
    explicit FileRegistry(std::string storeFile);

    bool OpenKey(const std::string& key, bool canCreate) override;
    void CloseKey() override;
    bool KeyExists(const std::string& key) const override;
    const std::string& CurrentPath() const override { return currentPath_; }

    bool ValueExists(const std::string& name) const override;
    RegDataType GetDataType(const std::string& name) const override;
    bool DeleteValue(const std::string& name) override;

    std::string ReadString(const std::string& name) const override;
    std::int32_t ReadInteger(const std::string& name) const override;
    std::string ReadBinary(const std::string& name) const override;
    void WriteString(const std::string& name, const std::string& value) override;
    void WriteInteger(const std::string& name, std::int32_t value) override;
    void WriteBinary(const std::string& name, const std::string& value) override;

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

    std::string storeFile_;
    std::map<std::string, Key> keys_;
    std::string currentPath_;
    bool hasCurrentKey_ = false;
};

} // namespace platform
