#include "InputDiscard.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

bool IsUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

// Seen by the application before any window or control.
class InputSwallower : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override { return IsUserInput(event->type()); }
};

} // namespace

void DiscardPendingInput() {
    InputSwallower swallower;
    QCoreApplication::instance()->installEventFilter(&swallower);
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(&swallower);
}
