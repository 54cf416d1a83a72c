#include "platform/win/SystemRegistry.h"

#include <windows.h>

#include <cstring>

namespace platform {

namespace {

HKEY AsKey(void* key) {
    return static_cast<HKEY>(key);
}

} // namespace

struct SystemRegistry::Data {
    DWORD type = REG_NONE;
    std::string bytes;
};

SystemRegistry::SystemRegistry(Root root)
    : root_(root == Root::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER) {}

SystemRegistry::~SystemRegistry() {
    CloseKey();
}

bool SystemRegistry::OpenKey(const std::string& key, bool canCreate) {
    const std::string path = NormalizeKeyPath(key);
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExA(AsKey(root_), path.c_str(), 0, KEY_READ | KEY_WRITE, &opened);
    if (status == ERROR_FILE_NOT_FOUND && canCreate)
        status = RegCreateKeyExA(AsKey(root_), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_READ | KEY_WRITE, nullptr, &opened, nullptr);
    if (status != ERROR_SUCCESS)
        return false;
    CloseKey();
    current_ = opened;
    currentPath_ = path;
    return true;
}

void SystemRegistry::CloseKey() {
    if (current_ != nullptr)
        RegCloseKey(AsKey(current_));
    current_ = nullptr;
    currentPath_.clear();
}

bool SystemRegistry::KeyExists(const std::string& key) const {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(AsKey(root_), NormalizeKeyPath(key).c_str(), 0, KEY_READ, &opened) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

bool SystemRegistry::DeleteKey(const std::string& key) {
    return RegDeleteTreeA(AsKey(root_), NormalizeKeyPath(key).c_str()) == ERROR_SUCCESS;
}

bool SystemRegistry::Query(const std::string& name, Data& data) const {
    if (current_ == nullptr)
        return false;
    DWORD size = 0;
    if (RegQueryValueExA(AsKey(current_), name.c_str(), nullptr, &data.type, nullptr, &size) !=
        ERROR_SUCCESS)
        return false;
    data.bytes.assign(size, '\0');
    // The value may change between the two calls; a second size is taken as it comes.
    LONG status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
        size = static_cast<DWORD>(data.bytes.size());
        status = RegQueryValueExA(AsKey(current_), name.c_str(), nullptr, &data.type,
                                  reinterpret_cast<BYTE*>(data.bytes.data()), &size);
        if (status == ERROR_MORE_DATA)
            data.bytes.assign(size, '\0');
    }
    if (status != ERROR_SUCCESS)
        return false;
    data.bytes.resize(size);
    return true;
}

bool SystemRegistry::ValueExists(const std::string& name) const {
    Data data;
    return Query(name, data);
}

RegDataType SystemRegistry::GetDataType(const std::string& name) const {
    Data data;
    if (!Query(name, data))
        return RegDataType::None;
    switch (data.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return RegDataType::String;
    case REG_DWORD:
        return RegDataType::Integer;
    case REG_BINARY:
        return RegDataType::Binary;
    default:
        return RegDataType::None;
    }
}

bool SystemRegistry::DeleteValue(const std::string& name) {
    return current_ != nullptr && RegDeleteValueA(AsKey(current_), name.c_str()) == ERROR_SUCCESS;
}

std::string SystemRegistry::ReadString(const std::string& name) const {
    Data data;
    if (!Query(name, data))
        return {};
    if (data.type != REG_SZ && data.type != REG_EXPAND_SZ)
        throw RegistryError("Invalid data type for " + Quote(name));
    // Stored with its terminating zero; zero bytes before it are the text's own.
    if (!data.bytes.empty() && data.bytes.back() == '\0')
        data.bytes.pop_back();
    return data.bytes;
}

std::int32_t SystemRegistry::ReadInteger(const std::string& name) const {
    Data data;
    if (!Query(name, data))
        throw RegistryError("Failed to get data for " + Quote(name));
    if (data.type != REG_DWORD)
        throw RegistryError("Invalid data type for " + Quote(name));
    if (data.bytes.size() != sizeof(std::int32_t))
        throw RegistryError("Failed to get data for " + Quote(name));
    std::int32_t number = 0;
    std::memcpy(&number, data.bytes.data(), sizeof number);
    return number;
}

std::string SystemRegistry::ReadBinary(const std::string& name) const {
    Data data;
    if (!Query(name, data))
        return {};
    if (data.type != REG_BINARY)
        throw RegistryError("Invalid data type for " + Quote(name));
    return data.bytes;
}

void SystemRegistry::Write(const std::string& name, std::uint32_t type, const std::string& bytes) {
    if (current_ == nullptr || RegSetValueExA(AsKey(current_), name.c_str(), 0, type,
                                              reinterpret_cast<const BYTE*>(bytes.data()),
                                              static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS)
        throw RegistryError("Failed to set data for " + Quote(name));
}

void SystemRegistry::WriteString(const std::string& name, const std::string& value) {
    Write(name, REG_SZ, value + std::string(1, '\0'));
}

void SystemRegistry::WriteInteger(const std::string& name, std::int32_t value) {
    std::string bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    Write(name, REG_DWORD, bytes);
}

void SystemRegistry::WriteBinary(const std::string& name, const std::string& value) {
    Write(name, REG_BINARY, value);
}

} // namespace platform
