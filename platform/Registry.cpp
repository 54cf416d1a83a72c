#include "platform/Registry.h"

#include <charconv>

namespace platform {

std::string Registry::NormalizeKeyPath(const std::string& key) {
    std::string out;
    for (char c : key) {
        if (c == '/')
            c = '\\';
        if (c == '\\' && (out.empty() || out.back() == '\\'))
            continue;
        out += c;
    }
    while (!out.empty() && out.back() == '\\')
        out.pop_back();
    return out;
}

bool Registry::ValueExists(const std::string& name) const {
    Value value;
    return Get(name, value);
}

RegDataType Registry::GetDataType(const std::string& name) const {
    Value value;
    return Get(name, value) ? value.type : RegDataType::None;
}

std::string Registry::ReadString(const std::string& name) const {
    return ReadData(name, RegDataType::String);
}

std::int32_t Registry::ReadInteger(const std::string& name) const {
    Value value;
    if (!Get(name, value))
        throw RegistryError("Failed to get data for " + Quote(name));
    if (value.type != RegDataType::Integer)
        throw RegistryError("Invalid data type for " + Quote(name));
    // Only what a 32-bit value can hold; anything else is not this kind's data.
    std::int32_t number = 0;
    const char* end = value.data.data() + value.data.size();
    const auto [at, error] = std::from_chars(value.data.data(), end, number);
    if (error != std::errc() || at != end || value.data.empty())
        throw RegistryError("Failed to get data for " + Quote(name));
    return number;
}

std::string Registry::ReadBinary(const std::string& name) const {
    return ReadData(name, RegDataType::Binary);
}

std::string Registry::ReadData(const std::string& name, RegDataType type) const {
    Value value;
    if (!Get(name, value))
        return {};
    if (value.type != type)
        throw RegistryError("Invalid data type for " + Quote(name));
    return value.data;
}

void Registry::Store(const std::string& name, const Value& value) {
    if (!Put(name, value))
        throw RegistryError("Failed to set data for " + Quote(name));
}

void Registry::WriteString(const std::string& name, const std::string& value) {
    Store(name, {RegDataType::String, value});
}

void Registry::WriteInteger(const std::string& name, std::int32_t value) {
    Store(name, {RegDataType::Integer, std::to_string(value)});
}

void Registry::WriteBinary(const std::string& name, const std::string& value) {
    Store(name, {RegDataType::Binary, value});
}

} // namespace platform
