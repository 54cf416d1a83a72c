// One open terminal device with the behaviour of a Windows serial driver on top: a receive
// queue of the size SetupComm gives, overlapped reads and writes bounded by the Windows
// timeout rules, purge, error word, modem status and line events. Every call on the
// device goes through a PosixSys: the kernel, or a simulation in tests.
//
// It is made of three parts, each with its own lock and the rules of what it guards written
// where the lock is: the receiver (receive queue, waiting reads, their time-outs), the
// transmitter (writes and their drain) and the line events (mask, event wait, error word,
// modem lines). Locks are only ever taken in that order: receiver, transmitter, line events.
// Every request is completed under the lock of the part that holds it, before that lock is
// let go, and never touched by the device afterwards.
//
// Nothing here polls while nobody listens. A service thread sleeps in ppoll() on the device
// and an eventfd that wakes it when a request arrives; it only sets a time limit when a
// request, the output drain or a modem-line check has a deadline.
#pragma once

#include "posix/PosixLine.h"
#include "posix/PosixLineEvents.h"
#include "posix/PosixReceiver.h"
#include "posix/PosixTransmitter.h"

#include <mutex>
#include <thread>

namespace serial {

class PosixDevice {
public:
    using Clock = PosixLine::Clock;
    using Completer = PosixLine::Completer;
    using Starter = PosixLine::Starter;

    // Takes over an open, non-blocking terminal descriptor. `serialDriver`: a real serial
    // driver (one that reports a port type), whose output leaves at the baud rate; a write
    // then ends when its bytes have left, not when the kernel has taken them.
    PosixDevice(PosixSys& sys, int fd, bool serialDriver, Starter markPending, Completer complete);
    // Ends every pending request as aborted and stops serving; threads that still hold the
    // device return from their calls.
    void Shutdown();
    // Shuts down, stops the threads and closes the descriptor.
    ~PosixDevice();
    PosixDevice(const PosixDevice&) = delete;
    PosixDevice& operator=(const PosixDevice&) = delete;

    // Each returns 0 or the error code of the failure; ERROR_IO_PENDING means the request
    // was queued and ends through its overlapped block.
    std::uint32_t SetupComm(std::uint32_t inQueue, std::uint32_t outQueue);
    std::uint32_t SetCommState(const TDCB& dcb);
    std::uint32_t SetCommTimeouts(const TCommTimeouts& timeouts);
    std::uint32_t Read(char* buffer, std::uint32_t count, std::uint32_t& done, TOverlapped* ov);
    std::uint32_t Write(const char* buffer, std::uint32_t count, std::uint32_t& done,
                        TOverlapped* ov);
    std::uint32_t Purge(std::uint32_t flags);
    std::uint32_t ClearError(std::uint32_t& errors, TComStat& stat);
    std::uint32_t ModemStatus(std::uint32_t& status);
    std::uint32_t SetMask(std::uint32_t mask);
    std::uint32_t WaitEvent(std::uint32_t* mask, TOverlapped* ov);

    // See PosixReceiver::HelpRead.
    bool HelpRead(TOverlapped* ov, std::uint32_t milliseconds, bool& timedOut);
    // Hands the service thread the deadlines of reads that went pending since it last
    // looked; for waits that do not help a read along.
    void KickService();

private:
    void ServiceLoop();

    PosixLine line_;
    PosixLineEvents events_;
    PosixTransmitter transmitter_;
    PosixReceiver receiver_;
    // Keeps two SetCommState calls from interleaving on the line.
    std::mutex settingsMutex_;
    std::thread service_;
};

} // namespace serial
