#pragma once

#include "skin/UIStyle.h"

#include <QWidget>

// The skinned-form marker of a window: placed as a direct child of a window, it
// gives the style that skinned controls created on that window start in.
class TsuiForm : public QWidget {
public:
    explicit TsuiForm(QWidget* parent = nullptr, TsuiUIStyle style = TsuiUIStyle::DeepBlue);

    TsuiUIStyle UIStyle() const { return style_; }
    void SetUIStyle(TsuiUIStyle style) { style_ = style; }

private:
    TsuiUIStyle style_;
};
