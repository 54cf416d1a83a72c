#pragma once

#include <QFont>

// The window's fonts, by their design names at 11-pixel character height. Faces missing here
// (Tahoma, Courier New) are drawn with installed faces of nearly the same metrics.
void InstallFontSubstitutes();
QFont UiFont(bool bold); // Tahoma
QFont MemoFont();        // bold Courier New
