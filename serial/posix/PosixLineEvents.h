// The line events of an open device and what raises them: the event mask, events that came
// while nobody waited, the one pending event wait, the error word, and the modem lines with
// the driver's interrupt counters. Modem line changes come from a thread blocked in
// TIOCMIWAIT, started only for devices with modem lines; where the driver lacks that wait,
// the service thread reads the lines at a short interval, only while someone listens.
#pragma once

#include "posix/PosixLine.h"

#include <mutex>
#include <thread>

namespace serial {

class PosixLineEvents {
public:
    using Clock = PosixLine::Clock;

    explicit PosixLineEvents(PosixLine& line);
    PosixLineEvents(const PosixLineEvents&) = delete;
    PosixLineEvents& operator=(const PosixLineEvents&) = delete;

    bool HasModemLines() const { return hasModemLines_; }
    // The modem watch thread: started by the device once it is complete, stopped before the
    // descriptor closes.
    void StartModemWatch();
    void StopModemWatch();

    std::uint32_t SetMask(std::uint32_t mask);
    std::uint32_t Wait(std::uint32_t* mask, TOverlapped* ov);
    std::uint32_t ModemStatus(std::uint32_t& status);
    // Aborts the pending wait.
    void Shutdown();

    // Events and errors of bytes taken from the driver; `pulled`: bytes were taken, so the
    // driver's error counters are looked at too.
    void Received(std::uint32_t events, std::uint32_t errors, bool pulled);
    void Raise(std::uint32_t events);
    // The receive queue ran empty: no byte in it waits for its event any more.
    void QueueEmptied();
    // The device went away: EV_ERR, and CE_IOE for good.
    void HangUp();
    // The error word since the last call; CE_IOE stays once the device is gone.
    std::uint32_t TakeErrors();
    // Bytes received now are dropped (DSR sensitivity with DSR low).
    bool DsrLow();
    void SetDsrSensitivity(bool on);
    bool ListensFor(std::uint32_t events);
    bool WaitsFor(std::uint32_t events);
    // Service thread: reads the lines where the driver cannot wait for a change, while
    // someone listens; lowers `deadline` to the next look.
    void PollModem(Clock::time_point now, Clock::time_point& deadline);

private:
    struct Counters {
        int cts = 0, dsr = 0, dcd = 0, rng = 0;
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    };

    void ModemLoop();
    void RaiseLocked(std::uint32_t events);
    void UpdateModemLocked();
    // Reads the lines; the events of their changes since the last reading.
    std::uint32_t LinesLocked();
    // Line errors and line changes the driver counted since the last look; returns their
    // events and adds the errors to the error word.
    std::uint32_t CountersLocked();

    PosixLine& line_;
    bool hasModemLines_ = false;
    bool hasCounters_ = false;

    // Guards what follows. A wait is pending while waitOv_ is set; it is completed (the
    // mask written, its block marked done) before the lock is let go, by whoever ends it,
    // and never touched after. Events in the mask that come while no wait is pending are
    // kept in history_ for the next wait. Bytes whose EV_RXCHAR the mask dropped (they came
    // before the mask was set, or the mask changed) are remembered in rxUnreported_ while
    // they stay queued: the next wait for EV_RXCHAR reports them at once.
    std::mutex mutex_;
    std::uint32_t commMask_ = 0;
    std::uint32_t history_ = 0;
    std::uint32_t* waitMask_ = nullptr;
    TOverlapped* waitOv_ = nullptr;
    bool rxUnreported_ = false;
    std::uint32_t errors_ = 0;
    int modemBits_ = 0;
    bool dsrSensitive_ = false;
    // The driver has no TIOCMIWAIT: the lines are read at intervals instead.
    bool modemPolled_ = false;
    // The next look at the lines by the service thread: the next interval's where they are
    // read at intervals, otherwise the next of the looks after the modem watch thread went
    // to wait (recheck_ counts those done).
    Clock::time_point modemCheck_;
    std::size_t recheck_ = 0;
    Counters counters_;

    std::atomic<bool> modemStop_{false};
    std::atomic<bool> modemEnded_{false};
    std::thread modem_;
};

} // namespace serial
