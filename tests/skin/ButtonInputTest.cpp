#include "skin/TsuiButton.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {

void SendMouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &event);
}

void Press(QWidget& widget, QPoint at = {10, 10}, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(widget, QEvent::MouseButtonPress, at, button, button);
}
void Move(QWidget& widget, QPoint at) {
    SendMouse(widget, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
}
void Release(QWidget& widget, QPoint at = {10, 10}) {
    SendMouse(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}
void Enter(QWidget& widget) {
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), widget.mapToGlobal(QPointF(1, 1)));
    QCoreApplication::sendEvent(&widget, &event);
}
void Leave(QWidget& widget) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&widget, &event);
}
void Key(QWidget& target, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers = {},
         const QString& text = {}, bool autoRepeat = false) {
    QKeyEvent event(type, key, modifiers, text, autoRepeat);
    QCoreApplication::sendEvent(&target, &event);
}
void KeyPress(QWidget& target, int key, Qt::KeyboardModifiers modifiers = {},
              const QString& text = {}) {
    Key(target, QEvent::KeyPress, key, modifiers, text);
}

// A shown, active window with skinned buttons in a row, counting their clicks.
class ButtonWindow {
public:
    explicit ButtonWindow(int buttons) {
        window_.resize(400, 100);
        for (int i = 0; i < buttons; ++i) {
            auto* button = new TsuiButton(&window_);
            button->setGeometry(i * 90, 0, 80, 30);
            button->SetUIStyle(TsuiUIStyle::BlueGlass);
            clicks_.push_back(0);
            button->OnClick = [this, i](QObject*) { ++clicks_[i]; };
            buttons_.push_back(button);
        }
        window_.show();
        QApplication::setActiveWindow(&window_);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window_));
    }
    QWidget& Window() { return window_; }
    TsuiButton& Button(int i) { return *buttons_[i]; }
    int Clicks(int i) const { return clicks_[i]; }

private:
    QWidget window_;
    std::vector<TsuiButton*> buttons_;
    std::vector<int> clicks_;
};

// What the pointer has made of a button: the pressed look, the repeat timer, the pointer inside.
struct PointerState {
    bool pressed;
    bool repeating;
    bool inside;
    bool operator==(const PointerState&) const = default;
};
void PrintTo(const PointerState& state, std::ostream* out) {
    *out << std::boolalpha << "{pressed " << state.pressed << ", repeating " << state.repeating
         << ", inside " << state.inside << "}";
}
PointerState StateOf(const TsuiButton& button) {
    return {button.Pressed(), button.HasRepeatTimer(), button.MouseInside()};
}

// One button in its window, for the mouse's cases.
class ButtonMouse : public ::testing::Test {
protected:
    // The pointer comes in and presses the left button.
    void PressInside() {
        Enter(button);
        Press(button);
    }

    ButtonWindow w{1};
    TsuiButton& button = w.Button(0);
};

TEST_F(ButtonMouse, PressAndReleaseInsideClicksOnce) {
    int signalled = 0;
    QObject::connect(&button, &TsuiButton::clicked, [&] { ++signalled; });
    Enter(button);
    EXPECT_TRUE(button.MouseInside());
    Press(button);
    EXPECT_TRUE(button.Pressed());
    EXPECT_TRUE(button.HasRepeatTimer());
    EXPECT_TRUE(button.hasFocus());
    Release(button);
    EXPECT_EQ(w.Clicks(0), 1);
    EXPECT_EQ(signalled, 1);
    EXPECT_EQ(StateOf(button),
              (PointerState{.pressed = false, .repeating = false, .inside = true}));
}

TEST_F(ButtonMouse, PressedLookEndsOnePixelBeyondTheRightEdge) {
    PressInside();
    Move(button, {button.width(), 10});
    EXPECT_TRUE(button.Pressed());
    EXPECT_TRUE(button.MouseInside());
    Move(button, {button.width() + 1, 10});
    EXPECT_EQ(StateOf(button),
              (PointerState{.pressed = false, .repeating = true, .inside = false}));
}

TEST_F(ButtonMouse, ReleasingOutsideGivesNoClickAndTheTimerRunsUntilLeave) {
    PressInside();
    Move(button, {-5, 10});
    Release(button, {-5, 10});
    EXPECT_EQ(w.Clicks(0), 0);
    EXPECT_TRUE(button.HasRepeatTimer());
    Leave(button);
    EXPECT_FALSE(button.HasRepeatTimer());
    EXPECT_FALSE(button.MouseInside());
}

TEST_F(ButtonMouse, MovingOutAndBackThenReleasingClicksButKeepsTheTimer) {
    PressInside();
    Move(button, {10, -1});
    Move(button, {10, 10});
    EXPECT_FALSE(button.Pressed()); // coming back does not press again
    Release(button);
    EXPECT_EQ(w.Clicks(0), 1);
    EXPECT_TRUE(button.HasRepeatTimer());
    Leave(button);
    EXPECT_FALSE(button.HasRepeatTimer());
}

TEST_F(ButtonMouse, OtherButtonsChangeNothingButStillReport) {
    int downs = 0;
    button.OnMouseDown = [&](QObject*, const QMouseEvent& event) {
        EXPECT_EQ(event.button(), Qt::RightButton);
        ++downs;
    };
    Press(button, {10, 10}, Qt::RightButton);
    EXPECT_EQ(downs, 1);
    EXPECT_FALSE(button.Pressed());
    EXPECT_FALSE(button.HasRepeatTimer());
    SendMouse(button, QEvent::MouseButtonRelease, {10, 10}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(w.Clicks(0), 0);
}

TEST_F(ButtonMouse, EnterAndLeaveRaiseTheirEvents) {
    std::vector<std::string> seen;
    button.OnMouseEnter = [&](QObject* sender) {
        EXPECT_EQ(sender, &button);
        seen.push_back("enter");
    };
    button.OnMouseExit = [&](QObject*) { seen.push_back("exit"); };
    PressInside();
    Leave(button);
    EXPECT_FALSE(button.Pressed());
    EXPECT_EQ(seen, (std::vector<std::string>{"enter", "exit"}));
}

// Waits several repeat intervals and expects the tick count not to move in them.
void ExpectNoMoreTicks(const int& ticks) {
    const int before = ticks;
    QTest::qWait(60);
    EXPECT_EQ(ticks, before);
}

TEST(ButtonRepeat, TicksWhileHeldAndStopWhenThePointerLeaves) {
    ButtonWindow w(1);
    TsuiButton& button = w.Button(0);
    button.SetMouseContinuouslyDownInterval(10);
    int ticks = 0;
    button.OnMouseContinuouslyDown = [&](QObject*) { ++ticks; };
    Enter(button);
    Press(button);
    EXPECT_EQ(ticks, 0); // the first tick comes one interval after the press
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, 2000);
    Leave(button);
    ExpectNoMoreTicks(ticks);
}

TEST(ButtonRepeat, AClickEndsTheTicks) {
    ButtonWindow w(1);
    TsuiButton& button = w.Button(0);
    button.SetMouseContinuouslyDownInterval(10);
    int ticks = 0;
    QObject::connect(&button, &TsuiButton::mouseContinuouslyDown, [&] { ++ticks; });
    Press(button);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 1, 2000);
    Release(button);
    ExpectNoMoreTicks(ticks);
}

TEST(ButtonRepeat, ZeroOrNegativeIntervalGivesNoTicks) {
    for (int interval : {0, -50}) {
        ButtonWindow w(1);
        TsuiButton& button = w.Button(0);
        button.SetMouseContinuouslyDownInterval(interval);
        int ticks = 0;
        button.OnMouseContinuouslyDown = [&](QObject*) { ++ticks; };
        Press(button);
        EXPECT_TRUE(button.HasRepeatTimer());
        QTest::qWait(50);
        EXPECT_EQ(ticks, 0) << interval;
    }
}

TEST(ButtonKeyboard, SpacePressesAndItsReleaseClicks) {
    ButtonWindow w(1);
    TsuiButton& button = w.Button(0);
    button.setFocus();
    ASSERT_TRUE(button.hasFocus());
    KeyPress(button, Qt::Key_Space, {}, QStringLiteral(" "));
    EXPECT_TRUE(button.Pressed());
    // A held key repeats as release-press pairs; they do not click.
    Key(button, QEvent::KeyRelease, Qt::Key_Space, {}, QStringLiteral(" "), true);
    EXPECT_EQ(w.Clicks(0), 0);
    Key(button, QEvent::KeyRelease, Qt::Key_Space, {}, QStringLiteral(" "));
    EXPECT_FALSE(button.Pressed());
    EXPECT_EQ(w.Clicks(0), 1);
    // A release without a press, or on a disabled button, does nothing.
    Key(button, QEvent::KeyRelease, Qt::Key_Space);
    button.setEnabled(false);
    KeyPress(button, Qt::Key_Space);
    EXPECT_FALSE(button.Pressed());
    EXPECT_EQ(w.Clicks(0), 1);
}

TEST(ButtonKeyboard, EnterOnAFocusedSkinnedButtonClicksThatButton) {
    ButtonWindow w(2);
    w.Button(1).SetDefault(true);
    w.Button(0).setFocus();
    EXPECT_TRUE(w.Button(0).ActiveDefault());
    EXPECT_FALSE(w.Button(1).ActiveDefault());
    KeyPress(w.Button(0), Qt::Key_Return);
    EXPECT_EQ(w.Clicks(0), 1);
    EXPECT_EQ(w.Clicks(1), 0);
    // With Ctrl held Enter is no dialog key: it presses, and the release clicks.
    KeyPress(w.Button(0), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(w.Button(0).Pressed());
    Key(w.Button(0), QEvent::KeyRelease, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(w.Clicks(0), 2);
}

TEST(ButtonKeyboard, EnterElsewhereClicksTheDefaultAndEscapeTheCancelButton) {
    ButtonWindow w(3);
    auto* edit = new QLineEdit(&w.Window());
    edit->setGeometry(0, 50, 100, 20);
    edit->show();
    w.Button(1).SetDefault(true);
    w.Button(2).SetCancel(true);
    edit->setFocus();
    ASSERT_TRUE(edit->hasFocus());
    EXPECT_TRUE(w.Button(1).ActiveDefault());
    KeyPress(*edit, Qt::Key_Return);
    EXPECT_EQ(w.Clicks(1), 1);
    KeyPress(*edit, Qt::Key_Escape);
    EXPECT_EQ(w.Clicks(2), 1);
    // Modifiers make them ordinary keys.
    KeyPress(*edit, Qt::Key_Return, Qt::ShiftModifier);
    KeyPress(*edit, Qt::Key_Escape, Qt::AltModifier);
    EXPECT_EQ(w.Clicks(1), 1);
    EXPECT_EQ(w.Clicks(2), 1);
    // A hidden default button cannot take the focus, so Enter is left alone.
    w.Button(1).hide();
    KeyPress(*edit, Qt::Key_Return);
    EXPECT_EQ(w.Clicks(1), 1);
    EXPECT_EQ(w.Clicks(0), 0);
}

TEST(ButtonKeyboard, EscapeOnAFocusedButtonReachesTheCancelButton) {
    ButtonWindow w(2);
    w.Button(1).SetCancel(true);
    w.Button(0).setFocus();
    KeyPress(w.Button(0), Qt::Key_Escape);
    EXPECT_EQ(w.Clicks(0), 0);
    EXPECT_EQ(w.Clicks(1), 1);
}

TEST(ButtonKeyboard, TheAcceleratorLetterClicksAnEnabledButton) {
    ButtonWindow w(2);
    w.Button(1).SetCaption(QStringLiteral("&Imprimir"));
    w.Button(0).SetCaption(QStringLiteral("Fish && &Chips"));
    w.Button(0).setFocus();
    KeyPress(w.Button(0), Qt::Key_I, {}, QStringLiteral("i"));
    EXPECT_EQ(w.Clicks(1), 1);
    KeyPress(w.Button(0), Qt::Key_I, Qt::AltModifier, QStringLiteral("i"));
    EXPECT_EQ(w.Clicks(1), 2);
    KeyPress(w.Button(0), Qt::Key_C, {}, QStringLiteral("c"));
    EXPECT_EQ(w.Clicks(0), 1);
    KeyPress(w.Button(0), Qt::Key_Ampersand, {}, QStringLiteral("&"));
    KeyPress(w.Button(0), Qt::Key_I, Qt::ControlModifier, QStringLiteral("\x09"));
    w.Button(1).setEnabled(false);
    KeyPress(w.Button(0), Qt::Key_I, {}, QStringLiteral("i"));
    EXPECT_EQ(w.Clicks(1), 2);
    EXPECT_EQ(w.Clicks(0), 1);
}

TEST(ButtonModalResult, ClosesAModalDialogWithTheButtonsResult) {
    QDialog dialog;
    auto* ok = new TsuiButton(&dialog);
    auto* stay = new TsuiButton(&dialog);
    ok->SetModalResult(QDialog::Accepted + 4);
    dialog.setModal(true);
    dialog.show();
    stay->Click();
    EXPECT_TRUE(dialog.isVisible());
    ok->Click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted + 4);
    // A button outside any window hands nothing on and still clicks.
    TsuiButton loose;
    int clicks = 0;
    loose.OnClick = [&](QObject*) { ++clicks; };
    loose.SetModalResult(3);
    loose.Click();
    EXPECT_EQ(clicks, 1);
}

TEST(ButtonAction, TakesTheActionsTextAndTriggersItWithoutOnClick) {
    QWidget window;
    QAction action(QStringLiteral("&Reprint"));
    auto* button = new TsuiButton(&window);
    int triggered = 0;
    QObject::connect(&action, &QAction::triggered, [&] { ++triggered; });
    button->SetAction(&action);
    EXPECT_EQ(button->Caption(), QStringLiteral("&Reprint"));
    action.setEnabled(false);
    EXPECT_FALSE(button->isEnabled());
    action.setEnabled(true);
    button->Click();
    EXPECT_EQ(triggered, 1);
    int clicks = 0;
    button->OnClick = [&](QObject*) { ++clicks; };
    button->Click();
    EXPECT_EQ(triggered, 1);
    EXPECT_EQ(clicks, 1);
}

} // namespace
