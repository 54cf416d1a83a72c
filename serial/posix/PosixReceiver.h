// The receiving side of an open device: a receive queue of the size SetupComm gives, fed
// from the driver, and the reads that wait for it, each ended by the time-out rules of the
// line. Whoever takes bytes from the driver (a read, a queue count, the service thread, a
// thread that waits for its own read) raises their events.
#pragma once

#include "posix/PosixLine.h"
#include "posix/PosixLineEvents.h"
#include "posix/PosixRxDecoder.h"
#include "posix/PosixTransmitter.h"
#include "posix/ReadTimeout.h"

#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace serial {

class PosixReceiver {
public:
    using Clock = PosixLine::Clock;

    PosixReceiver(PosixLine& line, PosixLineEvents& events, PosixTransmitter& transmitter);
    ~PosixReceiver();
    PosixReceiver(const PosixReceiver&) = delete;
    PosixReceiver& operator=(const PosixReceiver&) = delete;

    // 0, an error code, or ERROR_IO_PENDING when the read ends later through its block.
    std::uint32_t Read(char* buffer, std::uint32_t count, std::uint32_t& done, TOverlapped* ov);
    // The thread that waits for a pending read serves the device itself until the read
    // ends or `milliseconds` pass, so that a reply reaches it without a hand-over from the
    // service thread. Returns false when the read is not pending (or another thread already
    // helps): the caller then waits on the request's event as usual.
    bool HelpRead(TOverlapped* ov, std::uint32_t milliseconds, bool& timedOut);
    // True when reads went pending that the service thread has not seen: it must look.
    bool ServiceStale();
    // PURGE_RXABORT ends the reads, PURGE_RXCLEAR empties the queue and the driver's.
    void Purge(std::uint32_t flags);
    // Takes what the driver has (serving a waiting read first) and counts the queue, the
    // bytes beyond its size still in the driver included.
    std::uint32_t InQueue();
    // Takes what the driver has, raising its events.
    void Pull();
    std::uint32_t SetupComm(std::uint32_t inQueue);
    void SetDecoding(const PosixRxDecoder::Settings& settings);
    void SetTimeouts(const TCommTimeouts& timeouts);
    // The device reported a hang-up: what it still had is taken, then it is gone.
    void HangUpSeen();
    // Ends every read as aborted and wakes a thread inside HelpRead.
    void Shutdown();
    // Service thread: takes bytes, ends reads whose rule says so; lowers `deadline` to the
    // first read's end and says whether the device must be watched for input.
    void Serve(Clock::time_point now, Clock::time_point& deadline, bool& wantsInput);

private:
    struct ReadRequest {
        char* buffer;
        std::uint32_t count;
        TOverlapped* ov;
        // The settings when the read was asked for; its rule starts when its turn comes.
        TCommTimeouts timeouts;
        ReadTimeout timeout;
    };

    void PullInputLocked();
    void ServeReadsLocked(Clock::time_point now);
    // Removes `count` bytes from the front of the queue.
    void TakeLocked(std::size_t count);
    void HangUpLocked();
    void CompleteLocked(TOverlapped* ov, std::uint32_t status, std::uint32_t bytes);
    bool PendingLocked(TOverlapped* ov) const;
    bool WantsInputLocked();
    std::uint32_t KernelInQueue() const;

    PosixLine& line_;
    PosixLineEvents& events_;
    PosixTransmitter& transmitter_;
    // Wakes a thread inside HelpRead when another thread ended a read.
    const int helperWakeFd_;

    // Guards what follows. A read is the device's from Read until it is completed, which
    // happens before the lock is let go by whoever ends it (the reader itself, the thread
    // helping it, the service thread, a queue count, a purge or the shutdown); off reads_ a
    // read is never touched again, so its owner may free it once it sees it gone. Only the
    // first read in reads_ takes bytes, and its time-out runs from when it became first.
    // Bytes come from the driver only while rx_ is below rxLimit_; beyond, the driver keeps
    // them (its flow control takes over) and they count as queued.
    std::mutex mutex_;
    std::string rx_;
    std::uint32_t rxLimit_ = 4096;
    bool above80_ = false;
    PosixRxDecoder decoder_;
    TCommTimeouts timeouts_;
    std::deque<ReadRequest> reads_;
    // A read went pending after the service thread computed its time limit.
    bool serviceStale_ = false;
    // A thread is inside HelpRead; the service thread leaves the device's input to it.
    bool helping_ = false;
    std::thread::id helper_;
};

} // namespace serial
