// What the three parts of an open device share (its receiver, its transmitter and its line
// events): the descriptor and the system-call seam it is reached through, the service
// thread's wake-up, how requests start and end, and the two one-way states every part
// reads. Each part keeps the rest of its state under a lock of its own.
#pragma once

#include "ComPlatform.h"
#include "posix/PosixSys.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

namespace serial {

struct PosixLine {
    using Clock = std::chrono::steady_clock;
    // Ends an overlapped request: status 0 or an error code, and the bytes moved.
    using Completer = std::function<void(TOverlapped*, std::uint32_t, std::uint32_t)>;
    using Starter = std::function<void(TOverlapped*)>;

    PosixSys& sys;
    const int fd;
    // Wakes the service thread, which then looks at every part again.
    const int wakeFd;
    Starter markPending;
    Completer complete;
    // Both only ever go from false to true. `stopping`: the device is shutting down, every
    // request is refused or aborted. `gone`: the device went away (hang-up, or an error
    // that says so); no part calls the descriptor for data any more.
    std::atomic<bool> stopping{false};
    std::atomic<bool> gone{false};

    void Wake() const;
};

// Signals and empties an eventfd.
void SignalEventFd(int eventFd);
void DrainEventFd(int eventFd);
// A time left, as ppoll wants it; none left is zero.
timespec TimeLeft(PosixLine::Clock::duration left);

} // namespace serial
