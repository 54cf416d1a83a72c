#pragma once

#include <cstdint>

// Where a button puts its glyph relative to the caption.
enum class TButtonLayout : std::uint8_t {
    blGlyphLeft = 0,
    blGlyphRight = 1,
    blGlyphTop = 2,
    blGlyphBottom = 3,
};
