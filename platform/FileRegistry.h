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
    bool DeleteValue(const std::string& name) override;

protected:
    bool Get(const std::string& name, Value& value) const override;
    bool Put(const std::string& name, const Value& value) override;

private:
    using Key = std::map<std::string, Value>;

    void Load();
    bool Save() const;
    const Value* Find(const std::string& name) const;

    std::string storeFile_;
    std::map<std::string, Key> keys_;
    std::string currentPath_;
    bool hasCurrentKey_ = false;
};

} // namespace platform
