#include "codepage/Win1252.h"

#include <array>

namespace win1252 {
namespace {

// Code points of bytes 0x80 to 0x9F; 0 marks the five bytes the code page leaves undefined,
// which map to the C1 control of the same value, as the system's conversion does.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t CodePoint(unsigned char b) {
    if (b >= 0x80 && b <= 0x9F && kHigh[b - 0x80] != 0)
        return kHigh[b - 0x80];
    return b;
}

} // namespace

std::string FromUnicode(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        char mapped = '?';
        for (int b = 0; b < 32; ++b) {
            if (CodePoint(static_cast<unsigned char>(0x80 + b)) == c) {
                mapped = static_cast<char>(0x80 + b);
                break;
            }
        }
        // A surrogate pair is one character outside the code page: one "?".
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        out.push_back(mapped);
    }
    return out;
}

QString ToUnicode(const std::string& bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (char ch : bytes)
        out.append(QChar(CodePoint(static_cast<unsigned char>(ch))));
    return out;
}

} // namespace win1252
