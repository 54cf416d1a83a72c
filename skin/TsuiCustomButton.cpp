#include "skin/TsuiCustomButton.h"

#include "skin/GlyphDrawing.h"
#include "skin/SkinResources.h"
#include "skin/StyleBitmap.h"
#include "skin/StyleSource.h"
#include "skin/StyleTable.h"
#include "skin/TsuiFileTheme.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace {

// The frame painted when the style's bitmap cannot be had.
constexpr int kBlankFrameWidth = 74;
constexpr int kBlankFrameHeight = 21;
constexpr int kButtonFrameCount = 3;

QImage BlankFrame() {
    QImage frame(kBlankFrameWidth, kBlankFrameHeight, QImage::Format_RGB32);
    frame.fill(Qt::white);
    return frame;
}

// A missing bitmap only costs the look, so painting goes on with the blank frame;
// the developer still hears about each distinct failure once.
void ReportFrameFailure(const char* what) {
    static QSet<QString> reported;
    const QString message = QString::fromUtf8(what);
    if (!reported.contains(message)) {
        reported.insert(message);
        qWarning("Skinned button drawn blank: %s", what);
    }
}

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

// Inverts every other pixel along the outline of (left, top, right, bottom), right and
// bottom exclusive: the classic dotted focus rectangle.
void InvertDottedOutline(QImage& canvas, int left, int top, int right, int bottom) {
    auto flip = [&canvas](int x, int y) {
        if (x < 0 || y < 0 || x >= canvas.width() || y >= canvas.height() || (x + y) % 2 != 0) {
            return;
        }
        const QRgb pixel = qUnpremultiply(canvas.pixel(x, y));
        canvas.setPixel(x, y, qRgb(255 - qRed(pixel), 255 - qGreen(pixel), 255 - qBlue(pixel)));
    };
    if (right <= left || bottom <= top) {
        return;
    }
    for (int x = left; x < right; ++x) {
        flip(x, top);
        if (bottom - 1 != top) {
            flip(x, bottom - 1);
        }
    }
    for (int y = top + 1; y < bottom - 1; ++y) {
        flip(left, y);
        if (right - 1 != left) {
            flip(right - 1, y);
        }
    }
}

} // namespace

TsuiCustomButton::TsuiCustomButton(QWidget* parent) : QWidget(parent) {
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

void TsuiCustomButton::RecomputeAutoSize() {
    if (!autoSize_) {
        return;
    }
    QImage bitmap;
    if (uiStyle_ != TsuiUIStyle::FromThemeFile) {
        try {
            LoadStyleBitmap(uiStyle_, kButtonImageElement, &bitmap, 0, 0);
        } catch (const std::exception& error) {
            ReportFrameFailure(error.what());
        }
    }
    const int height = bitmap.height() == 0 ? kBlankFrameHeight : bitmap.height();
    const int width = bitmap.width() == 0 ? kBlankFrameWidth : bitmap.width();
    resize(width / kButtonFrameCount, height);
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

QFont TsuiCustomButton::CaptionFont() const {
    QFont captionFont = font();
    captionFont.setStyleStrategy(QFont::NoAntialias);
    return captionFont;
}

void TsuiCustomButton::Click() {
    const QPointer<TsuiCustomButton> alive(this);
    if (pressed_) {
        DropRepeatTimer();
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

void TsuiCustomButton::FetchStyleFrame(QImage& frame, int element, int frameIndex) {
    const ThemeSource source = ResolveThemeSource(fileTheme_, uiStyle_);
    if (source.useFileTheme) {
        frame = fileTheme_->GetBitmap(element, frameIndex, kButtonFrameCount);
    } else {
        LoadStyleBitmap(source.style, element, &frame, frameIndex, kButtonFrameCount);
    }
}

void TsuiCustomButton::FetchNormalFrame(QImage& frame) {
    FetchStyleFrame(frame, kButtonImageElement, 1);
}
void TsuiCustomButton::FetchHotFrame(QImage& frame) {
    FetchStyleFrame(frame, kButtonImageElement, 2);
}
void TsuiCustomButton::FetchPressedFrame(QImage& frame) {
    FetchStyleFrame(frame, kButtonImageElement, 3);
}
void TsuiCustomButton::FetchDisabledFrame(QImage& frame) {
    FetchStyleFrame(frame, kButtonImageElement, 1);
}

void TsuiCustomButton::FetchFrameForState(QImage& frame) {
    try {
        if (!isEnabled()) {
            FetchDisabledFrame(frame);
        } else if (pressed_) {
            FetchPressedFrame(frame);
        } else if (mouseInside_) {
            FetchHotFrame(frame);
        } else {
            FetchNormalFrame(frame);
        }
    } catch (const std::exception& error) {
        ReportFrameFailure(error.what());
        frame = BlankFrame();
    }
}

void TsuiCustomButton::DrawFace(QImage& canvas, const QImage& frame) {
    if (frame.isNull()) {
        return;
    }
    QPainter painter(&canvas);
    const std::optional<QRgb> key =
        maskedFrame_ ? std::optional<QRgb>(frame.pixel(0, 0)) : std::nullopt;
    DrawGlyphImage(painter, QPoint(0, 0), frame, key, !isEnabled());
}

void TsuiCustomButton::DrawCaption(QImage& canvas, const QString& text) {
    QPainter painter(&canvas);
    QFont captionFont = CaptionFont();
    if (boldCaptionOnce_) {
        captionFont.setBold(true);
    }
    painter.setFont(captionFont);
    const QFontMetrics metrics(captionFont);
    const QRect client = rect();

    // Measured word-wrapped in the given rectangle, then centred in it and drawn
    // without wrapping.
    auto drawCentred = [&](const QRect& area, const QColor& colour) {
        const int measureFlags = Qt::TextWordWrap | Qt::TextExpandTabs | Qt::TextShowMnemonic;
        QRect measured = metrics.boundingRect(area, measureFlags, text);
        measured.moveTopLeft(area.topLeft());
        measured.translate((area.width() - measured.width()) / 2,
                           (area.height() - measured.height()) / 2);
        painter.setPen(colour);
        painter.drawText(measured,
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextExpandTabs |
                             Qt::TextShowMnemonic | Qt::TextDontClip,
                         text);
    };

    QColor colour = palette().color(foregroundRole());
    if (!isEnabled()) {
        drawCentred(client.translated(1, 1), Qt::white);
        colour = QColor(128, 128, 128);
        drawCentred(client, colour);
    } else {
        drawCentred(pressed_ ? client.translated(1, 1) : client, colour);
    }
    boldCaptionOnce_ = false;
}

void TsuiCustomButton::DrawFocusCue(QImage& canvas) {
    const int margin = focusedRectMargin_;
    InvertDottedOutline(canvas, margin, margin, width() - margin, height() - margin);
}

void TsuiCustomButton::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0) {
        return;
    }
    QImage frame;
    FetchFrameForState(frame);

    // The face is composed off screen and shown in one step, never half drawn.
    QImage canvas(size(), QImage::Format_ARGB32_Premultiplied);
    if (transparent_) {
        // Left see-through: Qt has already painted the parent under this widget.
        canvas.fill(Qt::transparent);
    } else {
        canvas.fill(palette().color(backgroundRole()));
    }
    DrawFace(canvas, frame);
    if (hasFocus() && tabStop_) {
        DrawFocusCue(canvas);
    }
    if (!caption_.trimmed().isEmpty()) {
        DrawCaption(canvas, caption_);
    }
    QPainter painter(this);
    painter.drawImage(0, 0, canvas);
}

bool TsuiCustomButton::CanTakeFocus() const {
    return isVisible() && isEnabled();
}

void TsuiCustomButton::StartRepeatTimer() {
    repeatTimer_ = std::make_unique<QTimer>();
    repeatTimer_->setInterval(std::max(0, repeatInterval_));
    connect(repeatTimer_.get(), &QTimer::timeout, this, [this] {
        const QPointer<TsuiCustomButton> alive(this);
        emit mouseContinuouslyDown();
        if (!alive.isNull() && OnMouseContinuouslyDown) {
            OnMouseContinuouslyDown(this);
        }
    });
    // A zero interval would make Qt fire on every pass of the event loop.
    if (repeatInterval_ > 0) {
        repeatTimer_->start();
    }
}

void TsuiCustomButton::DropRepeatTimer() {
    repeatTimer_.reset();
}

void TsuiCustomButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        leftPressArmed_ = true;
        if (!repeatTimer_) {
            StartRepeatTimer();
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
    DropRepeatTimer();
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
