#pragma once

#include <string>

// Single-byte text as the station's files hold it, read alike by the profile files, the key
// store and the settings' parsers.
namespace platform {

// The blanks around names and values: spaces and tabs, never a line end.
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// `text` without the blanks at its two ends.
std::string TrimBlanks(const std::string& text);

// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);

} // namespace platform
