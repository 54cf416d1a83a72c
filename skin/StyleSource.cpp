#include "StyleSource.h"

#include "TsuiForm.h"
#include "skin/TsuiFileTheme.h"

#include <QWidget>

TsuiUIStyle OwnerStyle(const QWidget* owner) {
    if (owner == nullptr || !owner->isWindow()) {
        return TsuiUIStyle::DeepBlue;
    }
    for (const QObject* child : owner->children()) {
        if (const auto* form = dynamic_cast<const TsuiForm*>(child)) {
            return form->UIStyle();
        }
    }
    return TsuiUIStyle::DeepBlue;
}

ThemeSource ResolveThemeSource(const TsuiFileTheme* fileTheme, TsuiUIStyle style) {
    if (style != TsuiUIStyle::FromThemeFile) {
        return {false, style};
    }
    if (fileTheme != nullptr && fileTheme->CanUse()) {
        return {true, TsuiUIStyle::FromThemeFile};
    }
    return {false, TsuiUIStyle::DeepBlue};
}
