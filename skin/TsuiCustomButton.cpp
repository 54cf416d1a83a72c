#include "skin/TsuiCustomButton.h"

#include "StyleSource.h"
#include "skin/SkinResources.h"
#include "skin/TsuiFileTheme.h"

#include <QAction>
#include <QApplication>

TsuiCustomButton::TsuiCustomButton(QWidget* parent)
    : QWidget(parent), repeat_([this] { RaiseMouseContinuouslyDown(); }) {
    // A window that builds skinned buttons can then load the button pictures directly.
    InitSkinResources();
    setBackgroundRole(QPalette::Button);
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true);
    uiStyle_ = OwnerStyle(parent != nullptr ? parent->window() : nullptr);
    ApplyStyle();
    WatchWindow();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now != nullptr && now->window() == window()) {
            UpdateActiveDefault(now);
        }
    });
}

TsuiCustomButton::~TsuiCustomButton() = default;

void TsuiCustomButton::SetFileTheme(TsuiFileTheme* theme) {
    disconnect(fileThemeGone_);
    fileTheme_ = theme;
    if (theme != nullptr) {
        fileThemeGone_ = connect(theme, &QObject::destroyed, this, [this] {
            fileTheme_ = nullptr;
            SetUIStyle(TsuiUIStyle::DeepBlue);
        });
    }
    SetUIStyle(uiStyle_);
}

void TsuiCustomButton::SetUIStyle(TsuiUIStyle style) {
    uiStyle_ = style;
    ApplyStyle();
    update();
}

void TsuiCustomButton::SetDefault(bool isDefault) {
    default_ = isDefault;
    QWidget* form = window();
    if (form == this) {
        activeDefault_ = default_;
        return;
    }
    for (TsuiCustomButton* button : form->findChildren<TsuiCustomButton*>()) {
        button->UpdateActiveDefault(form->focusWidget());
    }
}

void TsuiCustomButton::SetAction(QAction* action) {
    disconnect(actionChanged_);
    action_ = action;
    if (action != nullptr) {
        actionChanged_ = connect(action, &QAction::changed, this, [this] { ActionChanged(); });
        ActionChanged();
    }
}

void TsuiCustomButton::ActionChanged() {
    if (action_ == nullptr) {
        return;
    }
    SetCaption(action_->text());
    setEnabled(action_->isEnabled());
    if (parentWidget() != nullptr) {
        setVisible(action_->isVisible());
    }
}

void TsuiCustomButton::SetCaption(const QString& caption) {
    caption_ = caption;
    setAccessibleName(caption);
    AfterCaptionSet();
    update();
}

void TsuiCustomButton::SetTransparent(bool transparent) {
    transparent_ = transparent;
    // An opaque button paints every pixel, so Qt need not paint the parent below it.
    setAttribute(Qt::WA_OpaquePaintEvent, !transparent);
    ApplyTransparency();
    update();
}

void TsuiCustomButton::ApplyTransparency() {
    maskedFrame_ = transparent_;
    update();
}

void TsuiCustomButton::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    RecomputeAutoSize();
    update();
}

void TsuiCustomButton::SetFocusedRectMargin(int margin) {
    focusedRectMargin_ = margin;
    update();
}

void TsuiCustomButton::SetTabStop(bool tabStop) {
    tabStop_ = tabStop;
    // The button moves the focus itself on a left press, so Qt only handles Tab.
    setFocusPolicy(tabStop ? Qt::TabFocus : Qt::NoFocus);
}

void TsuiCustomButton::AfterFontChange() {
    update();
}

void TsuiCustomButton::changeEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::EnabledChange:
        AfterEnabledSet();
        update();
        break;
    case QEvent::FontChange:
        AfterFontChange();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}
