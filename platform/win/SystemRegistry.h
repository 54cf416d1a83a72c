#pragma once

#include "platform/Registry.h"

namespace platform {

// The Windows registry: keys are opened below a root key (the current user's by default),
// texts are string values with their terminating zero, numbers 32-bit integer values, byte
// blocks binary values.
class SystemRegistry : public Registry {
public:
    enum class Root { CurrentUser, LocalMachine };

    explicit SystemRegistry(Root root = Root::CurrentUser);
    ~SystemRegistry() override;
    SystemRegistry(const SystemRegistry&) = delete;
    SystemRegistry& operator=(const SystemRegistry&) = delete;

    bool OpenKey(const std::string& key, bool canCreate) override;
    void CloseKey() override;
    bool KeyExists(const std::string& key) const override;
    const std::string& CurrentPath() const override { return currentPath_; }
    bool DeleteValue(const std::string& name) override;

    // Removes a key with everything below it; for tests and uninstallers.
    bool DeleteKey(const std::string& key);

protected:
    bool Get(const std::string& name, Value& value) const override;
    bool Put(const std::string& name, const Value& value) override;

private:
    struct Data;
    bool Query(const std::string& name, Data& data) const;

    void* root_;              // HKEY
    void* current_ = nullptr; // HKEY of the current key, or null
    std::string currentPath_;
};

} // namespace platform
