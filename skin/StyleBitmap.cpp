#include "StyleBitmap.h"

#include "skin/SkinResources.h"
#include "skin/StyleTable.h"

#include <stdexcept>
#include <string>

void CutFrame(const QImage& source, QImage& target, int frameCount, int frameIndex) {
    if (frameCount < 1 || frameIndex < 1 || frameIndex > frameCount) {
        throw std::invalid_argument("Frame " + std::to_string(frameIndex) + " of " +
                                    std::to_string(frameCount) + " does not exist");
    }
    const int width = source.width() / frameCount;
    target = source.copy(width * (frameIndex - 1), 0, width, source.height());
}

void LoadStyleBitmap(TsuiUIStyle style, int element, QImage* target, int frameIndex,
                     int frameCount) {
    if (target == nullptr || StyleEntry(style, element).kind != ThemeEntryKind::Image) {
        return;
    }
    const QImage whole = LoadBitmapResource(StyleImageName(style, element));
    if (frameCount == 0) {
        *target = whole;
    } else {
        CutFrame(whole, *target, frameCount, frameIndex);
    }
}
