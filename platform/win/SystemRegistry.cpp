#include "win/SystemRegistry.h"

#include <windows.h>

#include <charconv>
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

bool SystemRegistry::DeleteValue(const std::string& name) {
    return current_ != nullptr && RegDeleteValueA(AsKey(current_), name.c_str()) == ERROR_SUCCESS;
}

bool SystemRegistry::Get(const std::string& name, Value& value) const {
    Data data;
    if (!Query(name, data))
        return false;
    value.data = std::move(data.bytes);
    switch (data.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        value.type = RegDataType::String;
        // Stored with its terminating zero; zero bytes before it are the text's own.
        if (!value.data.empty() && value.data.back() == '\0')
            value.data.pop_back();
        break;
    case REG_DWORD: {
        value.type = RegDataType::Integer;
        // Any other size is not a number; no digits make it fail to read as one.
        std::int32_t number = 0;
        const bool whole = value.data.size() == sizeof number;
        if (whole)
            std::memcpy(&number, value.data.data(), sizeof number);
        value.data = whole ? std::to_string(number) : std::string();
        break;
    }
    case REG_BINARY:
        value.type = RegDataType::Binary;
        break;
    default:
        value.type = RegDataType::None;
        break;
    }
    return true;
}

bool SystemRegistry::Put(const std::string& name, const Value& value) {
    DWORD type = REG_BINARY;
    std::string bytes = value.data;
    switch (value.type) {
    case RegDataType::String:
        type = REG_SZ;
        bytes.push_back('\0');
        break;
    case RegDataType::Integer: {
        type = REG_DWORD;
        std::int32_t number = 0;
        const char* end = value.data.data() + value.data.size();
        if (std::from_chars(value.data.data(), end, number).ec != std::errc())
            return false;
        bytes.assign(sizeof number, '\0');
        std::memcpy(bytes.data(), &number, sizeof number);
        break;
    }
    case RegDataType::Binary:
        break;
    case RegDataType::None:
        return false;
    }
    return current_ != nullptr && RegSetValueExA(AsKey(current_), name.c_str(), 0, type,
                                                 reinterpret_cast<const BYTE*>(bytes.data()),
                                                 static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

} // namespace platform
