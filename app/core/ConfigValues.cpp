#include "app/core/ConfigValues.h"

#include "platform/AsciiText.h"

#include <cctype>
#include <limits>

namespace config {
namespace {

bool StartsWithNoCase(const std::string& s, std::size_t at, const char* word) {
    for (std::size_t i = 0; word[i] != '\0'; ++i) {
        if (at + i >= s.size() || std::toupper(static_cast<unsigned char>(s[at + i])) !=
                                      static_cast<unsigned char>(word[i]))
            return false;
    }
    return true;
}

// Reads an unsigned decimal number of at most `maxDigits` digits at `pos`.
bool ReadNumber(const std::string& s, std::size_t& pos, int maxDigits, int& value) {
    std::size_t start = pos;
    value = 0;
    while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])) &&
           static_cast<int>(pos - start) < maxDigits) {
        value = value * 10 + (s[pos] - '0');
        ++pos;
    }
    return pos > start && !(pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])));
}

} // namespace

std::optional<qint32> ParseInteger(const std::string& text) {
    const std::string s = platform::TrimBlanks(text);
    std::size_t pos = 0;
    bool negative = false;
    if (pos < s.size() && (s[pos] == '-' || s[pos] == '+')) {
        negative = s[pos] == '-';
        ++pos;
    }
    int base = 10;
    if (pos < s.size() && s[pos] == '$') {
        base = 16;
        ++pos;
    } else if (pos + 1 < s.size() && s[pos] == '0' && (s[pos + 1] == 'x' || s[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    if (pos >= s.size())
        return std::nullopt;
    long long value = 0;
    for (; pos < s.size(); ++pos) {
        const int d = platform::HexDigitValue(s[pos]);
        if (d < 0 || d >= base)
            return std::nullopt;
        value = value * base + d;
        if (value > static_cast<long long>(std::numeric_limits<quint32>::max()))
            return std::nullopt;
    }
    if (negative)
        value = -value;
    // Hexadecimal text may spell a negative number in two's complement.
    if (base == 16 && value > std::numeric_limits<qint32>::max())
        value -= 0x100000000LL;
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(value);
}

std::optional<QTime> ParseTimeOfDay(const std::string& text) {
    const std::string s = platform::TrimBlanks(text);
    std::size_t pos = 0;
    int ampm = 0; // 1 AM, 2 PM
    auto readMarker = [&]() {
        while (pos < s.size() && platform::IsBlank(s[pos]))
            ++pos;
        if (StartsWithNoCase(s, pos, "AM")) {
            ampm = 1;
            pos += 2;
        } else if (StartsWithNoCase(s, pos, "PM")) {
            ampm = 2;
            pos += 2;
        } else {
            return;
        }
        while (pos < s.size() && platform::IsBlank(s[pos]))
            ++pos;
    };
    readMarker();
    const bool markerBefore = ampm != 0;

    int hour = 0;
    int minute = 0;
    int second = 0;
    int msec = 0;
    if (!ReadNumber(s, pos, 2, hour))
        return std::nullopt;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        if (!ReadNumber(s, pos, 2, minute))
            return std::nullopt;
        if (pos < s.size() && s[pos] == ':') {
            ++pos;
            if (!ReadNumber(s, pos, 2, second))
                return std::nullopt;
            if (pos < s.size() && s[pos] == '.') {
                ++pos;
                const std::size_t start = pos;
                if (!ReadNumber(s, pos, 3, msec))
                    return std::nullopt;
                // A fraction of a second: ".5" is 500 milliseconds.
                for (std::size_t digits = pos - start; digits < 3; ++digits)
                    msec *= 10;
            }
        }
    }
    if (!markerBefore)
        readMarker();
    if (pos != s.size())
        return std::nullopt;
    if (ampm != 0) {
        if (hour > 12)
            return std::nullopt;
        if (ampm == 1 && hour == 12)
            hour = 0;
        else if (ampm == 2 && hour < 12)
            hour += 12;
    }
    if (hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return QTime(hour, minute, second, msec);
}

QDate BusinessDate(const QDateTime& now, const QTime& dayChange) {
    const QDate today = now.date();
    return now.time() <= dayChange ? today.addDays(-1) : today;
}

} // namespace config
