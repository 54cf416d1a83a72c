#pragma once

#include <cstdint>

// The visual style a skinned control paints itself in. Stored in one byte; the
// built-in styles take their bitmaps from resources named with the style's prefix.
enum class TsuiUIStyle : std::uint8_t {
    FromThemeFile = 0, // entries come from an external theme (TsuiFileTheme)
    MacOS = 1,
    WinXP = 2,
    DeepBlue = 3, // the fallback style
    Protein = 4,
    BlueGlass = 5,
};
