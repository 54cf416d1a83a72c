#pragma once

#include <atomic>
#include <functional>

// Takes the console's control events (Ctrl+C, Ctrl+Break, the console window closed, log-off,
// shut-down) as one request to stop the program. Without Qt, so that it can be tested alone.
//
// The first event calls `stop` once, on the thread the system runs console handlers on; later
// events are taken without calling it again. For the console closed, log-off and shut-down, the
// system ends the process as soon as the handler returns, so the handler returns only once this
// object is destroyed (the program has done its close) or the process has ended.
//
// One instance at a time: the system's handler is the whole process's, so a second one while
// the first lives raises std::logic_error rather than taking the events from it.
class ConsoleStop {
public:
    explicit ConsoleStop(std::function<void()> stop);
    ~ConsoleStop();
    ConsoleStop(const ConsoleStop&) = delete;
    ConsoleStop& operator=(const ConsoleStop&) = delete;

    // What the system's handler does with one control event (CTRL_C_EVENT ...): true when the
    // event is taken, false for one it does not know or when no instance is listening.
    static bool Deliver(unsigned long event);

private:
    std::function<void()> stop_;
    std::atomic<bool> requested_{false};
    void* finished_ = nullptr;    // an event handle, set when the close is done
    std::atomic<int> waiting_{0}; // handlers waiting on it
};
