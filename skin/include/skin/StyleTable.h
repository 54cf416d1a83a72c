#pragma once

#include "skin/UIStyle.h"

#include <cstdint>
#include <string>

// What an entry of the theme table holds; the key's ending tells the same.
enum class ThemeEntryKind : std::uint8_t {
    Integer = 0,
    Color = 1,
    Image = 2,
    Boolean = 3,
};

// Element indices run from 1 to kThemeEntryCount.
constexpr int kThemeEntryCount = 48;

// The two elements the push button reads.
constexpr int kButtonImageElement = 1;
constexpr int kButtonTransparentElement = 2;

struct StyleEntryValue {
    std::int32_t value;
    ThemeEntryKind kind;
};

// Raw lookup. The style byte is masked to its low 7 bits; a style other than the
// five built-in ones, or an element outside 1..48, yields value -1 of kind Integer.
// An image value is an index into the resource name table (see StyleImageName).
StyleEntryValue StyleEntry(TsuiUIStyle style, int element);

// The value when the entry has the asked-for kind, else a neutral answer:
// false, colour 0, integer -1.
bool StyleBool(TsuiUIStyle style, int element);
std::uint32_t StyleColor(TsuiUIStyle style, int element); // 0xBBGGRR, red in the low byte
std::int32_t StyleInt(TsuiUIStyle style, int element);

// Resource name of an image entry; empty when the entry is not an image or
// names no bitmap.
std::string StyleImageName(TsuiUIStyle style, int element);

// Key name and kind of an element, as an external theme stores it. Outside
// 1..48 the key is empty and the kind Integer.
const char* ThemeEntryKey(int element);
ThemeEntryKind ThemeEntryKindOf(int element);
