#include "CloseOnSignal.h"

#include "win/ConsoleStop.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QWidget>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The console's control events (when started from a command prompt), the session ending (a
// station switched off at night) and a close message from another program (taskkill without
// /F).
class CloseOnSignal::Source : public QAbstractNativeEventFilter {
public:
    explicit Source(CloseOnSignal* owner)
        : owner_(owner), console_([owner] {
              // On the system's handler thread: the window is closed on its own.
              QMetaObject::invokeMethod(
                  owner, [owner] { owner->Close(); }, Qt::QueuedConnection);
          }) {
        // A windowed program has no console of its own: started from a command prompt it
        // takes that prompt's, so that Ctrl+C there, or closing it, stops it politely.
        AttachConsole(ATTACH_PARENT_PROCESS);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~Source() override { QCoreApplication::instance()->removeNativeEventFilter(this); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override {
        if (eventType != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->hwnd == nullptr || msg->hwnd != HWND(owner_->window_->internalWinId()))
            return false;
        // A posted message (taskkill's WM_CLOSE) is filtered by the event loop before it is
        // dispatched, with no result to give: `result` is null then.
        qintptr ignored = 0;
        if (result == nullptr)
            result = &ignored;
        switch (msg->message) {
        case WM_CLOSE:
            owner_->Close();
            *result = 0;
            return true;
        case WM_QUERYENDSESSION:
            // The session may end: the window closes as soon as the event loop runs again.
            QMetaObject::invokeMethod(
                owner_, [owner = owner_] { owner->Close(); }, Qt::QueuedConnection);
            *result = TRUE;
            return true;
        case WM_ENDSESSION:
            // The process may be ended once this message returns: the close runs now. A card
            // in progress ends first, as the close command's rules say, if the session leaves
            // the time.
            if (msg->wParam)
                owner_->Close();
            *result = 0;
            return true;
        default:
            return false;
        }
    }

private:
    CloseOnSignal* owner_;
    ConsoleStop console_;
};

CloseOnSignal::CloseOnSignal(QWidget* window)
    : QObject(window), window_(window), source_(std::make_unique<Source>(this)) {}

CloseOnSignal::~CloseOnSignal() = default;
