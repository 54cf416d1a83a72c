// The key store kept in one text file: a "[key]" line opens each key, and each value is a
// line "<kind> <name>=<data>" with the kind S, I or B. Bytes that would break a line are
// written as %XX.
#include "FileRegistry.h"

#include "ReplaceFile.h"
#include "platform/AsciiText.h"

#include <fstream>
#include <sstream>

namespace platform {

namespace {

std::string Escape(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F || c == '%' || c == '=' || c == '[' || c == ']') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
        if (text[i] == '%' && high >= 0 && low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

FileRegistry::FileRegistry(std::string storeFile) : storeFile_(std::move(storeFile)) {
    Load();
}

void FileRegistry::Load() {
    std::ifstream in(storeFile_, std::ios::binary);
    std::string line;
    Key* key = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            key = &keys_[Unescape(line.substr(1, line.size() - 2))];
            continue;
        }
        const auto equals = line.find('=');
        if (key == nullptr || line.size() < 3 || line[1] != ' ' || equals == std::string::npos)
            continue;
        Value value;
        switch (line[0]) {
        case 'S':
            value.type = RegDataType::String;
            break;
        case 'I':
            value.type = RegDataType::Integer;
            break;
        case 'B':
            value.type = RegDataType::Binary;
            break;
        default:
            continue;
        }
        value.data = Unescape(line.substr(equals + 1));
        (*key)[Unescape(line.substr(2, equals - 2))] = value;
    }
}

bool FileRegistry::Save() const {
    std::ostringstream out;
    for (const auto& [path, values] : keys_) {
        out << '[' << Escape(path) << "]\n";
        for (const auto& [name, value] : values) {
            const char kind = value.type == RegDataType::String    ? 'S'
                              : value.type == RegDataType::Integer ? 'I'
                                                                   : 'B';
            out << kind << ' ' << Escape(name) << '=' << Escape(value.data) << '\n';
        }
    }
    // Replacing the file in one step keeps the old store whole if the write fails.
    return ReplaceFileContents(storeFile_, out.str()).empty();
}

bool FileRegistry::OpenKey(const std::string& key, bool canCreate) {
    const std::string path = NormalizeKeyPath(key);
    if (keys_.count(path) == 0) {
        if (!canCreate)
            return false;
        keys_[path];
        if (!Save()) {
            keys_.erase(path);
            return false;
        }
    }
    currentPath_ = path;
    hasCurrentKey_ = true;
    return true;
}

void FileRegistry::CloseKey() {
    currentPath_.clear();
    hasCurrentKey_ = false;
}

bool FileRegistry::KeyExists(const std::string& key) const {
    return keys_.count(NormalizeKeyPath(key)) != 0;
}

const FileRegistry::Value* FileRegistry::Find(const std::string& name) const {
    if (!hasCurrentKey_)
        return nullptr;
    const auto key = keys_.find(currentPath_);
    if (key == keys_.end())
        return nullptr;
    const auto value = key->second.find(name);
    return value == key->second.end() ? nullptr : &value->second;
}

bool FileRegistry::DeleteValue(const std::string& name) {
    if (!hasCurrentKey_ || keys_[currentPath_].erase(name) == 0)
        return false;
    return Save();
}

bool FileRegistry::Get(const std::string& name, Value& value) const {
    const Value* found = Find(name);
    if (found == nullptr)
        return false;
    value = *found;
    return true;
}

bool FileRegistry::Put(const std::string& name, const Value& value) {
    if (!hasCurrentKey_)
        return false;
    Key& key = keys_[currentPath_];
    const auto previous = key.find(name);
    const bool existed = previous != key.end();
    const Value old = existed ? previous->second : Value{};
    key[name] = value;
    if (Save())
        return true;
    if (existed)
        key[name] = old;
    else
        key.erase(name);
    return false;
}

} // namespace platform
