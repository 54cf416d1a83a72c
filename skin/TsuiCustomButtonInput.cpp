#include "skin/TsuiCustomButton.h"

#include <QAction>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

bool IsEnterKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool IsPressKey(int key) {
    return key == Qt::Key_Space || IsEnterKey(key);
}

// The letter after a single "&" of a caption, or a null character.
QChar Accelerator(const QString& caption) {
    for (int i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            if (caption[i + 1] != QLatin1Char('&')) {
                return caption[i + 1];
            }
            ++i;
        }
    }
    return {};
}

} // namespace

void TsuiCustomButton::Click() {
    const QPointer<TsuiCustomButton> alive(this);
    if (pressed_) {
        repeat_.Stop();
        pressed_ = false;
        update();
    }
    if (parentWidget() != nullptr) {
        if (auto* dialog = qobject_cast<QDialog*>(window())) {
            dialog->setResult(modalResult_);
            if (modalResult_ != 0 && dialog->isModal() && dialog->isVisible()) {
                dialog->done(modalResult_);
            }
        }
    }
    emit clicked();
    if (alive.isNull()) {
        return;
    }
    if (OnClick) {
        OnClick(this);
    } else if (action_ != nullptr) {
        action_->trigger();
    }
}

void TsuiCustomButton::RaiseMouseContinuouslyDown() {
    const QPointer<TsuiCustomButton> alive(this);
    emit mouseContinuouslyDown();
    if (!alive.isNull() && OnMouseContinuouslyDown) {
        OnMouseContinuouslyDown(this);
    }
}

bool TsuiCustomButton::CanTakeFocus() const {
    return isVisible() && isEnabled();
}

void TsuiCustomButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        leftPressArmed_ = true;
        if (!repeat_.Armed()) {
            repeat_.Start(repeatInterval_);
        }
        if (tabStop_ && CanTakeFocus()) {
            setFocus(Qt::MouseFocusReason);
        }
        update();
    }
    if (OnMouseDown) {
        OnMouseDown(this, *event);
    }
}

void TsuiCustomButton::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove) {
        OnMouseMove(this, *event);
    }
    const QPoint at = event->position().toPoint();
    if (at.x() < 0 || at.y() < 0 || at.x() > width() || at.y() > height()) {
        mouseInside_ = false;
        pressed_ = false;
        update();
    }
}

void TsuiCustomButton::mouseReleaseEvent(QMouseEvent* event) {
    const QPointer<TsuiCustomButton> alive(this);
    if (event->button() == Qt::LeftButton && leftPressArmed_) {
        leftPressArmed_ = false;
        if (rect().contains(event->position().toPoint())) {
            Click();
        }
    }
    if (!alive.isNull() && OnMouseUp) {
        OnMouseUp(this, *event);
    }
}

void TsuiCustomButton::enterEvent(QEnterEvent*) {
    mouseInside_ = true;
    update();
    const QPointer<TsuiCustomButton> alive(this);
    emit mouseEntered();
    if (!alive.isNull() && OnMouseEnter) {
        OnMouseEnter(this);
    }
}

void TsuiCustomButton::leaveEvent(QEvent*) {
    mouseInside_ = false;
    pressed_ = false;
    repeat_.Stop();
    update();
    const QPointer<TsuiCustomButton> alive(this);
    emit mouseExited();
    if (!alive.isNull() && OnMouseExit) {
        OnMouseExit(this);
    }
}

bool TsuiCustomButton::TakeDialogKey(const QKeyEvent& event) {
    const auto held =
        event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (held != Qt::NoModifier) {
        return false;
    }
    const bool wanted =
        (IsEnterKey(event.key()) && activeDefault_) || (event.key() == Qt::Key_Escape && cancel_);
    if (!wanted || !CanTakeFocus()) {
        return false;
    }
    Click();
    return true;
}

bool TsuiCustomButton::TakeDialogChar(const QKeyEvent& event) {
    if (event.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) {
        return false;
    }
    const QChar accelerator = Accelerator(caption_);
    if (accelerator.isNull() || !isEnabled()) {
        return false;
    }
    if (event.key() != accelerator.toUpper().unicode() &&
        event.text().compare(QString(accelerator), Qt::CaseInsensitive) != 0) {
        return false;
    }
    Click();
    return true;
}

void TsuiCustomButton::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape are offered as dialog keys before the button's own handling.
    if (TakeDialogKey(*event)) {
        event->accept();
        return;
    }
    const QPointer<TsuiCustomButton> alive(this);
    if (OnKeyDown) {
        OnKeyDown(this, *event);
        if (alive.isNull()) {
            return;
        }
    }
    if (IsPressKey(event->key()) && isEnabled()) {
        pressed_ = true;
        update();
        event->accept();
        return;
    }
    if (!event->text().isEmpty() && OnKeyPress) {
        OnKeyPress(this, *event);
    }
    // Unhandled keys travel on to the window, where dialog keys and accelerators of
    // the other skinned buttons are looked for.
    event->ignore();
}

void TsuiCustomButton::keyReleaseEvent(QKeyEvent* event) {
    const QPointer<TsuiCustomButton> alive(this);
    if (OnKeyUp) {
        OnKeyUp(this, *event);
        if (alive.isNull()) {
            return;
        }
    }
    // Qt reports a held key as repeated release-press pairs; only the real release
    // ends the press.
    if (event->isAutoRepeat() || !IsPressKey(event->key())) {
        event->ignore();
        return;
    }
    if (hasFocus() && pressed_ && isEnabled()) {
        pressed_ = false;
        update();
        Click();
    }
}

void TsuiCustomButton::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void TsuiCustomButton::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

bool TsuiCustomButton::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show) {
        WatchWindow();
    }
    return QWidget::event(event);
}

void TsuiCustomButton::WatchWindow() {
    QWidget* form = window() == this ? nullptr : window();
    if (watchedWindow_ == form) {
        return;
    }
    if (watchedWindow_ != nullptr) {
        watchedWindow_->removeEventFilter(this);
    }
    watchedWindow_ = form;
    if (form != nullptr) {
        form->installEventFilter(this);
    }
}

bool TsuiCustomButton::eventFilter(QObject* watched, QEvent* event) {
    // Keys nobody took on the way up reach the window: Enter, Escape and accelerator
    // letters are then offered to every skinned button of the window.
    if (watched == watchedWindow_ && event->type() == QEvent::KeyPress) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (TakeDialogKey(key) || TakeDialogChar(key)) {
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TsuiCustomButton::UpdateActiveDefault(QWidget* focused) {
    if (auto* button = qobject_cast<TsuiCustomButton*>(focused)) {
        activeDefault_ = button == this;
    } else {
        activeDefault_ = default_;
    }
    update();
}
