#pragma once

#include "skin/RepeatTicker.h"
#include "skin/TsuiFileTheme.h"
#include "skin/UIStyle.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QAction;
class QKeyEvent;
class QMouseEvent;

// A push button that paints itself from the three-frame button bitmap of a skin
// style (normal, mouse over, pressed). It tracks the pointer, can be pressed from
// the keyboard, acts as its window's default or cancel button, hands a modal result
// to a dialog, and raises a repeating event while the left mouse button is held.
// TsuiButton adds the glyph and the stretched face; this class draws the bare frame.
class TsuiCustomButton : public QWidget {
    Q_OBJECT

public:
    using NotifyEvent = std::function<void(QObject* sender)>;
    using MouseEvent = std::function<void(QObject* sender, const QMouseEvent& event)>;
    using KeyEvent = std::function<void(QObject* sender, const QKeyEvent& event)>;

    explicit TsuiCustomButton(QWidget* parent = nullptr);
    ~TsuiCustomButton() override;

    // External theme used while UIStyle is FromThemeFile. Not owned: when it is
    // destroyed the button drops it and falls back to DeepBlue.
    TsuiFileTheme* FileTheme() const { return fileTheme_; }
    void SetFileTheme(TsuiFileTheme* theme);

    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle style);

    // Escape clicks this button.
    bool Cancel() const { return cancel_; }
    void SetCancel(bool cancel) { cancel_ = cancel; }

    // Enter clicks this button unless another skinned button has the focus.
    bool Default() const { return default_; }
    void SetDefault(bool isDefault);

    // Linked action: its text, enabled state and icon flow into the button, and a
    // click without an OnClick handler triggers it. Not owned.
    QAction* Action() const { return action_; }
    void SetAction(QAction* action);

    // Caption; "&" marks the accelerator letter, "&&" a literal ampersand.
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);

    // Parent shows through the background and the magenta corners of the frame.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);

    // Handed to the enclosing dialog on click; non-zero closes a modal dialog.
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }

    // Size taken from one frame of the style's button bitmap.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);

    int FocusedRectMargin() const { return focusedRectMargin_; }
    void SetFocusedRectMargin(int margin);

    // Milliseconds between OnMouseContinuouslyDown ticks; 0 or less means none.
    int MouseContinuouslyDownInterval() const { return repeatInterval_; }
    void SetMouseContinuouslyDownInterval(int interval) { repeatInterval_ = interval; }

    // Whether Tab and a mouse press move the keyboard focus to the button.
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool tabStop);

    // Kept for stored window descriptions: always 0, assigning has no effect.
    std::uint32_t ResHandle() const { return 0; }
    void SetResHandle(std::uint32_t) {}

    // Event properties; each is skipped while unassigned. The Qt signals below are
    // raised at the same moments.
    NotifyEvent OnClick;
    NotifyEvent OnMouseEnter;
    NotifyEvent OnMouseExit;
    NotifyEvent OnMouseContinuouslyDown;
    MouseEvent OnMouseDown;
    MouseEvent OnMouseMove;
    MouseEvent OnMouseUp;
    KeyEvent OnKeyDown;
    KeyEvent OnKeyUp;
    KeyEvent OnKeyPress;

    bool Pressed() const { return pressed_; }
    bool MouseInside() const { return mouseInside_; }
    bool ActiveDefault() const { return activeDefault_; }
    bool HasRepeatTimer() const { return repeat_.Armed(); }

    // The click the pointer and keyboard paths end in: ends a press, hands the modal
    // result to the dialog, then raises clicked() and OnClick (or the action).
    void Click();

signals:
    void clicked();
    void mouseEntered();
    void mouseExited();
    void mouseContinuouslyDown();

protected:
    virtual void RecomputeAutoSize();
    virtual void AfterCaptionSet() {}
    virtual void AfterFontChange();
    virtual void ApplyTransparency();
    virtual void AfterEnabledSet() {}
    virtual void ApplyStyle() {}
    virtual void DrawFace(QImage& canvas, const QImage& frame);
    virtual void DrawCaption(QImage& canvas, const QString& text);
    virtual void DrawFocusCue(QImage& canvas);
    virtual void FetchNormalFrame(QImage& frame);
    virtual void FetchHotFrame(QImage& frame);
    virtual void FetchPressedFrame(QImage& frame);
    virtual void FetchDisabledFrame(QImage& frame);
    // Called when the linked action changes; takes over its text and enabled state.
    virtual void ActionChanged();

    // Frame `frameIndex` of 3 of `element`, from the file theme or the built-in style.
    void FetchStyleFrame(QImage& frame, int element, int frameIndex);

    bool MaskedFrame() const { return maskedFrame_; }
    void SetBoldCaptionOnce() { boldCaptionOnce_ = true; }
    // The widget's font as captions are drawn: aliased, like the rest of the face.
    QFont CaptionFont() const;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FetchFrameForState(QImage& frame);
    void UpdateActiveDefault(QWidget* focused);
    void WatchWindow();
    bool TakeDialogKey(const QKeyEvent& event);
    bool TakeDialogChar(const QKeyEvent& event);
    bool CanTakeFocus() const;
    // A tick of the held left button: mouseContinuouslyDown(), then OnMouseContinuouslyDown.
    void RaiseMouseContinuouslyDown();

    QPointer<TsuiFileTheme> fileTheme_;
    QMetaObject::Connection fileThemeGone_;
    QPointer<QAction> action_;
    QMetaObject::Connection actionChanged_;
    QPointer<QWidget> watchedWindow_;
    RepeatTicker repeat_;
    QString caption_;
    TsuiUIStyle uiStyle_ = TsuiUIStyle::DeepBlue;
    int modalResult_ = 0;
    int focusedRectMargin_ = 2;
    int repeatInterval_ = 100;
    bool cancel_ = false;
    bool default_ = false;
    bool transparent_ = false;
    bool autoSize_ = false;
    bool tabStop_ = true;
    bool pressed_ = false;
    bool mouseInside_ = false;
    bool activeDefault_ = false;
    bool boldCaptionOnce_ = false;
    bool maskedFrame_ = false;
    bool leftPressArmed_ = false;
};
