#include "SystemStop.h"

#include <QGuiApplication>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

struct Target {
    DWORD processId;
    SystemStop stop;
};

BOOL CALLBACK PostToWindow(HWND window, LPARAM param) {
    const Target& target = *reinterpret_cast<const Target*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != target.processId)
        return TRUE;
    if (target.stop == SystemStop::Terminate) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    } else {
        // The system sends both and waits for each; posted, they come in the same order.
        PostMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
        PostMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    }
    return TRUE;
}

} // namespace

std::string Name(SystemStop stop) {
    return stop == SystemStop::Terminate ? "CloseMessage" : "SessionEnd";
}

void SendSystemStop(SystemStop stop, std::int64_t processId) {
    Target target{static_cast<DWORD>(processId), stop};
    EnumWindows(PostToWindow, reinterpret_cast<LPARAM>(&target));
}

std::int64_t ThisProcessId() {
    return static_cast<std::int64_t>(GetCurrentProcessId());
}

bool SystemStopReachesThisProcess() {
    return QGuiApplication::platformName() != QStringLiteral("offscreen");
}

QProcessEnvironment StoppableProgramEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return environment;
}
