// The sending side of an open device: writes handed to the kernel in turn, bounded by the
// write time-out, and on a serial driver (whose output leaves at the baud rate) held until
// their bytes have left the line; EV_TXEMPTY when the output has drained.
#pragma once

#include "posix/PosixLine.h"
#include "posix/PosixLineEvents.h"

#include <deque>
#include <mutex>
#include <string>

namespace serial {

class PosixTransmitter {
public:
    using Clock = PosixLine::Clock;

    // `paced`: a serial driver, on which a write ends when its bytes have left the line, not
    // when the kernel has taken them.
    PosixTransmitter(PosixLine& line, PosixLineEvents& events, bool paced);
    PosixTransmitter(const PosixTransmitter&) = delete;
    PosixTransmitter& operator=(const PosixTransmitter&) = delete;

    // 0, an error code, or ERROR_IO_PENDING when the write ends later through its block.
    std::uint32_t Write(const char* buffer, std::uint32_t count, std::uint32_t& done,
                        TOverlapped* ov);
    // PURGE_TXABORT ends the writes (their bytes still queued are discarded), PURGE_TXCLEAR
    // also discards what the kernel holds.
    void Purge(std::uint32_t flags);
    // Bytes not yet sent: those of pending writes and those in the kernel.
    std::uint32_t OutputPending();
    void SetRate(std::uint32_t baudRate);
    void SetTimeouts(const TCommTimeouts& timeouts);
    // The device went away, found by another part: every write ends with 1167.
    void LineGone();
    // Ends every write as aborted.
    void Shutdown();
    // Service thread: hands bytes over, ends writes whose bytes have left or whose time is
    // up, raises EV_TXEMPTY; lowers `deadline` to the next look and says whether the kernel
    // refused bytes (the thread then waits for room).
    void Serve(Clock::time_point now, Clock::time_point& deadline, bool& blocked);

private:
    struct WriteRequest {
        std::string data;
        std::uint32_t sent;
        TOverlapped* ov;
        Clock::time_point deadline;
        bool hasDeadline;
    };
    // A write whose bytes the kernel has taken, waiting for them to leave the line: they are
    // the bytes from `start` to `end` of everything handed to the kernel.
    struct DrainingWrite {
        TOverlapped* ov;
        std::uint64_t start;
        std::uint64_t end;
        Clock::time_point deadline;
        bool hasDeadline;
    };

    // Hands bytes to the kernel; false when the device went away before taking them all, or
    // refused them.
    bool HandOverLocked(WriteRequest& w);
    void HangUpLocked();
    void EndWritesLocked(std::uint32_t status);
    // A write whose bytes the kernel has all taken: ends now, or when they have left.
    void WrittenLocked(TOverlapped* ov, std::uint32_t count, Clock::time_point deadline,
                       bool hasDeadline, Clock::time_point now);
    void ServeWritesLocked(Clock::time_point now);
    void CheckDrainingLocked(Clock::time_point now);
    // Ends every draining write with the bytes of it that have left, with `status`; with
    // `discard` what is still queued is thrown away, as a write that ends must not go on.
    void EndDrainingLocked(std::uint32_t status, bool discard);
    std::uint64_t LeftTheLineLocked() const;
    void CheckDrainedLocked(Clock::time_point now);
    std::uint32_t KernelOutQueue() const;
    Clock::duration ByteTime() const;

    PosixLine& line_;
    PosixLineEvents& events_;
    const bool paced_;

    // Guards what follows. A write is the device's from Write until it is completed, which
    // happens before the lock is let go by whoever ends it: from writes_ (bytes still to
    // hand over, in order; only the first one is being handed over) or from draining_
    // (bytes all handed over, in order of handing). Off both queues, a write is never
    // touched again. handedOver_ counts every byte given to the kernel; the kernel's output
    // count tells how many of them have left.
    std::mutex mutex_;
    std::deque<WriteRequest> writes_;
    std::deque<DrainingWrite> draining_;
    std::uint64_t handedOver_ = 0;
    Clock::time_point drainingCheck_;
    bool outputBlocked_ = false;
    // Someone listens for EV_TXEMPTY: the kernel's queue is looked at again at drainCheck_.
    bool drainWatch_ = false;
    Clock::time_point drainCheck_;
    std::uint32_t baudRate_ = 9600;
    std::uint32_t writeMultiplier_ = 0;
    std::uint32_t writeConstant_ = 0;
};

} // namespace serial
