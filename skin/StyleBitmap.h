#pragma once

#include "skin/UIStyle.h"

#include <QImage>

// Puts frame `frameIndex` (1 = leftmost) of a strip of `frameCount` equal frames into
// `target`. The frame width is the source width divided by the count, remainder
// dropped, so surplus columns at the right never belong to a frame. Throws
// std::invalid_argument when the count is below 1 or the index outside 1..count.
void CutFrame(const QImage& source, QImage& target, int frameCount, int frameIndex);

// Fills `target` from the image entry `element` of a built-in style: the whole
// bitmap when `frameCount` is 0, else the frame cut as above. Leaves the target
// unchanged when there is none, or when the entry is not an image of a built-in
// style. Throws EResNotFound when the entry names a bitmap the program lacks.
void LoadStyleBitmap(TsuiUIStyle style, int element, QImage* target, int frameIndex,
                     int frameCount);
