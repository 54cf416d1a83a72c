#include "PortableProfile.h"

#include "ReplaceFile.h"
#include "platform/AsciiText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace platform::portable {
namespace {

std::string TrimEnd(const std::string& s) {
    std::size_t e = s.size();
    while (e > 0 && IsBlank(s[e - 1]))
        --e;
    return s.substr(0, e);
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

// A line and the line end that followed it in the file: "\r\n", "\n", or for the last line
// "" (none) or "\r" (a CR LF cut short, which no value may take for its own).
struct Line {
    std::string text;
    std::string end;
};

struct Parsed {
    std::vector<Line> lines;
    std::string eol = "\r\n"; // the file's usual line end, used for lines a write adds
};

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

Parsed Split(const std::string& content) {
    Parsed p;
    std::size_t crlfCount = 0;
    std::size_t lfCount = 0;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t nl = content.find('\n', start);
        if (nl == std::string::npos) {
            Line last{content.substr(start), ""};
            if (last.text.back() == '\r') {
                last.text.pop_back();
                last.end.assign(1, '\r');
            }
            p.lines.push_back(std::move(last));
            break;
        }
        const bool crlf = nl > start && content[nl - 1] == '\r';
        (crlf ? crlfCount : lfCount) += 1;
        const std::size_t end = crlf ? nl - 1 : nl;
        p.lines.push_back({content.substr(start, end - start), crlf ? "\r\n" : "\n"});
        start = nl + 1;
    }
    p.eol = crlfCount >= lfCount ? "\r\n" : "\n";
    return p;
}

// "[name]" with blanks allowed around; returns false for other lines.
bool SectionName(const std::string& line, std::string& name) {
    std::string t = TrimBlanks(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    std::size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = TrimBlanks(t.substr(1, close - 1));
    return true;
}

// "key=value"; a line without "=" holds no key.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    key = TrimBlanks(line.substr(0, eq));
    value = TrimBlanks(line.substr(eq + 1));
    return true;
}

std::string Unquote(const std::string& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

std::string Cut(const std::string& v, std::size_t bufferSize) {
    if (bufferSize == 0)
        return {};
    return v.size() < bufferSize ? v : v.substr(0, bufferSize - 1);
}

} // namespace

std::string LocalPath(const std::string& fileName) {
    std::string p = fileName;
    for (char& c : p)
        if (c == '\\')
            c = '/';
    if (p.rfind("./", 0) == 0)
        p.erase(0, 2);
    return p;
}

std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& def,
                              std::size_t bufferSize) {
    // As the system's reader does: the names asked for are trimmed, the default loses its
    // trailing blanks only, and the lines before the first section header form section "".
    const std::string wantedSection = TrimBlanks(section);
    const std::string wantedKey = TrimBlanks(key);
    const std::string fallback = Cut(TrimEnd(def), bufferSize);
    std::string content;
    if (!ReadFile(LocalPath(fileName), content))
        return fallback;
    Parsed p = Split(content);
    bool inSection = wantedSection.empty();
    for (const Line& entry : p.lines) {
        const std::string& line = entry.text;
        std::string name;
        if (SectionName(line, name)) {
            // Only the first section of a name counts.
            if (inSection)
                break;
            inSection = SameName(name, wantedSection);
            continue;
        }
        std::string k;
        std::string v;
        if (inSection && KeyValue(line, k, v) && SameName(k, wantedKey))
            return Cut(Unquote(v), bufferSize);
    }
    return fallback;
}

void WriteProfileString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value) {
    const std::string path = LocalPath(fileName);
    std::string content;
    errno = 0;
    if (!ReadFile(path, content) && errno != ENOENT && errno != 0)
        throw ProfileError("Unable to read " + fileName + ": " + std::strerror(errno));
    Parsed p = Split(content);

    const std::string entry = key + "=" + value;
    long sectionLine = -1;
    long lastKeyLine = -1; // last non-blank line of the section
    bool written = false;
    for (std::size_t i = 0; i < p.lines.size() && !written; ++i) {
        const std::string& line = p.lines[i].text;
        std::string name;
        if (SectionName(line, name)) {
            if (sectionLine >= 0)
                break;
            if (SameName(name, section)) {
                sectionLine = static_cast<long>(i);
                lastKeyLine = sectionLine;
            }
            continue;
        }
        if (sectionLine < 0)
            continue;
        std::string k;
        std::string v;
        if (KeyValue(line, k, v) && SameName(k, key)) {
            p.lines[i].text = entry;
            written = true;
        } else if (!TrimBlanks(line).empty()) {
            lastKeyLine = static_cast<long>(i);
        }
    }
    if (!written) {
        if (sectionLine >= 0) {
            p.lines.insert(p.lines.begin() + lastKeyLine + 1, Line{entry, p.eol});
        } else {
            p.lines.push_back({"[" + section + "]", p.eol});
            p.lines.push_back({entry, p.eol});
        }
    }

    // Every line keeps its own line end; one that was last and now has lines after it gets a
    // whole one.
    std::string out;
    for (std::size_t i = 0; i < p.lines.size(); ++i) {
        Line& line = p.lines[i];
        if (i + 1 < p.lines.size() && line.end.empty())
            line.end = p.eol;
        else if (i + 1 < p.lines.size() && line.end == "\r")
            line.end = "\r\n";
        out += line.text;
        out += line.end;
    }

    const std::string failure = ReplaceFileContents(path, out);
    if (!failure.empty())
        throw ProfileError("Unable to write " + fileName + ": " + failure);
}

} // namespace platform::portable
