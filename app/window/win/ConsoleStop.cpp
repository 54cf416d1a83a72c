#include "win/ConsoleStop.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>
#include <stdexcept>
#include <system_error>

namespace {

std::mutex g_mutex;
ConsoleStop* g_listening = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    return ConsoleStop::Deliver(event) ? TRUE : FALSE;
}

} // namespace

ConsoleStop::ConsoleStop(std::function<void()> stop) : stop_(std::move(stop)) {
    std::lock_guard lock(g_mutex);
    // The system's handler has no context of its own to reach an instance by.
    if (g_listening != nullptr)
        throw std::logic_error("the console's control events already stop another window");
    finished_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (finished_ == nullptr)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "no event to hold the console's close with");
    if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
        const DWORD error = GetLastError();
        CloseHandle(finished_);
        throw std::system_error(static_cast<int>(error), std::system_category(),
                                "the console's control events cannot be taken");
    }
    g_listening = this;
}

ConsoleStop::~ConsoleStop() {
    {
        std::lock_guard lock(g_mutex);
        SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
        g_listening = nullptr;
    }
    // A handler waiting for the close may now return, and the process then ends.
    SetEvent(finished_);
    while (waiting_.load() > 0)
        Sleep(1);
    CloseHandle(finished_);
}

bool ConsoleStop::Deliver(unsigned long event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return false;
    }
    const bool ending =
        event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    ConsoleStop* listening = nullptr;
    {
        std::lock_guard lock(g_mutex);
        listening = g_listening;
        if (listening == nullptr)
            return false;
        if (!listening->requested_.exchange(true))
            listening->stop_();
        if (!ending)
            return true;
        ++listening->waiting_;
    }
    // The destructor waits for this wait to end before it frees the handle.
    WaitForSingleObject(listening->finished_, INFINITE);
    --listening->waiting_;
    return true;
}
