// One open terminal device with the behaviour of a Windows serial driver on top: a receive
// queue of the size SetupComm gives, overlapped reads and writes bounded by the Windows
// timeout rules, purge, error word, modem status and line events. Every call on the
// device goes through a TPosixSys: the kernel, or a simulation in tests.
//
// Nothing here polls while nobody listens. A service thread sleeps in ppoll() on the
// device and an eventfd that wakes it when a request arrives; it only sets a time limit
// when a request, the output drain or a modem-line check has a deadline. Modem lines are
// watched by a second thread blocked in TIOCMIWAIT, started only for devices that have
// modem lines; where the driver lacks that wait, the service thread reads the lines at a
// short interval, only while someone listens for them.
#pragma once

#include "serial/ComPlatform.h"
#include "serial/posix/PosixRxDecoder.h"
#include "serial/posix/PosixSys.h"
#include "serial/posix/ReadTimeout.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace serial {

class TPosixDevice {
public:
    using TClock = std::chrono::steady_clock;
    // Ends an overlapped request: status 0 or an error code, and the bytes moved.
    using TCompleter = std::function<void(TOverlapped*, std::uint32_t, std::uint32_t)>;
    using TStarter = std::function<void(TOverlapped*)>;

    // Takes over an open, non-blocking terminal descriptor. `serialDriver`: a real serial
    // driver (one that reports a port type), whose output leaves at the baud rate; a write
    // then ends when its bytes have left, not when the kernel has taken them.
    TPosixDevice(TPosixSys& sys, int fd, bool serialDriver, TStarter markPending,
                 TCompleter complete);
    // Ends every pending request as aborted and stops serving; threads that still hold the
    // device return from their calls.
    void Shutdown();
    // Shuts down, stops the threads and closes the descriptor.
    ~TPosixDevice();
    TPosixDevice(const TPosixDevice&) = delete;
    TPosixDevice& operator=(const TPosixDevice&) = delete;

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

    // The thread that waits for a pending read serves the device itself until the read
    // ends or `milliseconds` pass, so that a reply reaches it without a hand-over from the
    // service thread. Returns false when the read is not pending (or another thread already
    // helps): the caller then waits on the request's event as usual.
    bool HelpRead(TOverlapped* ov, std::uint32_t milliseconds, bool& timedOut);
    // Hands the service thread the deadlines of reads that went pending since it last
    // looked; for waits that do not help a read along.
    void KickService();

private:
    struct ReadRequest {
        char* buffer;
        std::uint32_t count;
        TOverlapped* ov;
        // The settings when the read was asked for; its rule starts when its turn comes.
        TCommTimeouts timeouts;
        TReadTimeout timeout;
    };
    struct WriteRequest {
        std::string data;
        std::uint32_t sent;
        TOverlapped* ov;
        TClock::time_point deadline;
        bool hasDeadline;
    };
    // A write whose bytes the kernel has taken, waiting for them to leave the line: they are
    // the bytes from `start` to `end` of everything handed to the kernel.
    struct DrainingWrite {
        TOverlapped* ov;
        std::uint64_t start;
        std::uint64_t end;
        TClock::time_point deadline;
        bool hasDeadline;
    };
    struct Completion {
        TOverlapped* ov;
        std::uint32_t status;
        std::uint32_t bytes;
    };
    struct Counters {
        int cts = 0, dsr = 0, dcd = 0, rng = 0;
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    };

    void ServiceLoop();
    void ModemLoop();
    void Wake();
    // The helpers below run with mutex_ held and collect what ends in `done`, which the
    // caller completes (Finish) before letting go of the lock: a request leaves the device
    // only completed, so whoever finds it gone from the queues may free it.
    void PullInputLocked(std::vector<Completion>& done);
    // Removes `count` bytes from the front of the receive queue.
    void TakeLocked(std::size_t count);
    void RaiseLocked(std::uint32_t events, std::vector<Completion>& done);
    void ServeReadsLocked(TClock::time_point now, std::vector<Completion>& done);
    void ServeWritesLocked(TClock::time_point now, std::vector<Completion>& done);
    // Hands bytes to the kernel; false when the device went away.
    bool HandOverLocked(WriteRequest& w, std::vector<Completion>& done);
    // A write whose bytes the kernel has all taken: ends now, or when they have left.
    void WrittenLocked(TOverlapped* ov, std::uint32_t count, TClock::time_point deadline,
                       bool hasDeadline, TClock::time_point now, std::vector<Completion>& done);
    void CheckDrainingLocked(TClock::time_point now, std::vector<Completion>& done);
    // Ends every draining write with the bytes of it that have left, with `status`; with
    // `discard` what is still queued is thrown away, as a write that ends must not go on.
    void EndDrainingLocked(std::uint32_t status, bool discard, std::vector<Completion>& done);
    std::uint64_t LeftTheLineLocked() const;
    void CheckDrainedLocked(TClock::time_point now, std::vector<Completion>& done);
    void HangUpLocked(std::vector<Completion>& done);
    void UpdateModemLocked(std::vector<Completion>& done);
    bool WantsModemPollLocked() const;
    // Line errors and line changes the driver counted since the last look; returns their
    // events and adds the errors to the error word.
    std::uint32_t CountersLocked();
    void Finish(std::vector<Completion>& done);
    std::uint32_t KernelInQueue() const;
    std::uint32_t KernelOutQueue() const;
    std::uint32_t OutputPendingLocked() const;
    bool WantsInputLocked() const;
    TClock::duration ByteTimeLocked() const;

    TPosixSys& sys_;
    const int fd_;
    const int wakeFd_;
    // Wakes a thread inside HelpRead when another thread ended requests.
    const int helperWakeFd_;
    const bool paced_;
    TStarter markPending_;
    TCompleter complete_;
    bool hasModemLines_ = false;
    bool hasCounters_ = false;

    std::mutex mutex_;
    bool stopping_ = false;
    bool gone_ = false;
    std::string rx_;
    // Bytes in rx_ whose EV_RXCHAR the event mask dropped: a wait for it reports them.
    bool rxUnreported_ = false;
    std::uint32_t rxLimit_ = 4096;
    bool above80_ = false;
    TPosixRxDecoder decoder_;
    TDCB dcb_;
    TCommTimeouts timeouts_;
    std::deque<ReadRequest> reads_;
    std::deque<WriteRequest> writes_;
    std::deque<DrainingWrite> draining_;
    // Every byte handed to the kernel so far.
    std::uint64_t handedOver_ = 0;
    TClock::time_point drainingCheck_;
    bool outputBlocked_ = false;
    // A read went pending after the service thread computed its time limit.
    bool serviceStale_ = false;
    bool drainWatch_ = false;
    TClock::time_point drainCheck_;
    std::uint32_t errors_ = 0;
    std::uint32_t commMask_ = 0;
    std::uint32_t history_ = 0;
    std::uint32_t* waitMask_ = nullptr;
    TOverlapped* waitOv_ = nullptr;
    int modemBits_ = 0;
    // The driver has no TIOCMIWAIT: the lines are read at intervals instead.
    bool modemPolled_ = false;
    TClock::time_point modemCheck_;
    Counters counters_;

    std::atomic<bool> helping_{false};
    std::atomic<bool> modemStop_{false};
    std::atomic<bool> modemEnded_{false};
    std::thread service_;
    std::thread modem_;
};

} // namespace serial
