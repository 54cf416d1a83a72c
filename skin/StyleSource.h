#pragma once

#include "skin/UIStyle.h"

class QWidget;
class TsuiFileTheme;

// The style a new skinned control starts in: the style of the first TsuiForm among
// the direct children of `owner` when the owner is a window, else DeepBlue.
TsuiUIStyle OwnerStyle(const QWidget* owner);

struct ThemeSource {
    bool useFileTheme; // every entry comes from the file theme
    TsuiUIStyle style; // the built-in style to use otherwise
};

// Chooses between a file theme and the built-in table: a built-in style is used as
// it is; FromThemeFile uses the file theme when one is given and loaded, and falls
// back to DeepBlue otherwise.
ThemeSource ResolveThemeSource(const TsuiFileTheme* fileTheme, TsuiUIStyle style);
