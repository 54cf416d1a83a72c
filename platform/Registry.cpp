#include "platform/Registry.h"

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

} // namespace platform
