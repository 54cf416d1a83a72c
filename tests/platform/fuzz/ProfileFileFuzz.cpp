// libFuzzer entry for profile files. The input is "section\0key\0value\0file bytes"; the
// parts that are missing take fixed names. It checks that reading any file gives a value no
// longer than the buffer allows, and that a write followed by a read gives the value written
// while every other key of the file keeps its value and the rest of the file its bytes.
#include "PortableProfile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

const std::string& ScratchFile() {
    static const std::string path =
        "/tmp/plinova-fuzz-profile-" + std::to_string(getpid()) + ".ini";
    return path;
}

void Store(const std::string& bytes) {
    std::ofstream out(ScratchFile(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Load() {
    std::ifstream in(ScratchFile(), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Takes the text up to the next NUL, or returns `fallback` when there is none.
std::string Next(const std::string& input, std::size_t& at, const char* fallback) {
    const std::size_t nul = input.find('\0', at);
    if (nul == std::string::npos)
        return fallback;
    std::string part = input.substr(at, nul - at);
    at = nul + 1;
    return part;
}

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

// Names and values that a profile file line can carry unchanged: no line break, no blank at
// either end, nothing the reader takes for a section header, a "=" or enclosing quotes.
bool Storable(const std::string& s, const char* forbidden) {
    if (s.find_first_of(forbidden) != std::string::npos || s.find('\0') != std::string::npos)
        return false;
    return s.empty() || (!Blank(s.front()) && !Blank(s.back()));
}

bool Quoted(const std::string& v) {
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    const std::string section = Next(input, at, "OPCOES");
    const std::string key = Next(input, at, "Posto");
    const std::string value = Next(input, at, "12");
    const std::string file = input.substr(at);
    Store(file);

    const std::size_t buffer = size % 300;
    if (platform::portable::ReadProfileString(ScratchFile(), section, key, "default", buffer)
            .size() >= std::max<std::size_t>(buffer, 1)) {
        std::abort();
    }

    if (!Storable(section, "]\r\n") || !Storable(key, "=\r\n") || !Storable(value, "\r\n") ||
        Quoted(value) || key.starts_with('[') || section.starts_with('[') || section.empty()) {
        return 0;
    }
    // A key that a line of the file already names in another spelling, or another key of the
    // section to watch: its value must survive the write.
    const std::string other = key == "Posto" ? "Porta" : "Posto";
    const std::string otherBefore =
        platform::portable::ReadProfileString(ScratchFile(), section, other, "<none>", 4096);

    platform::portable::WriteProfileString(ScratchFile(), section, key, value);
    const std::string written = Load();
    if (platform::portable::ReadProfileString(ScratchFile(), section, key, "<none>", 1 << 20) !=
        value)
        std::abort();
    if (Lower(other) != Lower(key) &&
        platform::portable::ReadProfileString(ScratchFile(), section, other, "<none>", 4096) !=
            otherBefore) {
        std::abort();
    }
    // Writing the same value again changes nothing.
    platform::portable::WriteProfileString(ScratchFile(), section, key, value);
    if (Load() != written)
        std::abort();
    return 0;
}
