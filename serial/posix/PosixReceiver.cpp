#include "posix/PosixReceiver.h"

#include "ComErrorCodes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace serial {

PosixReceiver::PosixReceiver(PosixLine& line, PosixLineEvents& events,
                             PosixTransmitter& transmitter)
    : line_(line), events_(events), transmitter_(transmitter),
      helperWakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

PosixReceiver::~PosixReceiver() {
    close(helperWakeFd_);
}

std::uint32_t PosixReceiver::KernelInQueue() const {
    int count = 0;
    return line_.sys.InputCount(line_.fd, count) == 0 && count > 0
               ? static_cast<std::uint32_t>(count)
               : 0;
}

void PosixReceiver::CompleteLocked(TOverlapped* ov, std::uint32_t status, std::uint32_t bytes) {
    line_.complete(ov, status, bytes);
    // The helping thread learns of reads it ends itself without a wake-up, which would only
    // cut its next wait short.
    if (helping_ && std::this_thread::get_id() != helper_)
        SignalEventFd(helperWakeFd_);
}

bool PosixReceiver::PendingLocked(TOverlapped* ov) const {
    return std::any_of(reads_.begin(), reads_.end(),
                       [ov](const ReadRequest& r) { return r.ov == ov; });
}

void PosixReceiver::TakeLocked(std::size_t count) {
    rx_.erase(0, count);
    if (rx_.empty())
        events_.QueueEmptied();
}

void PosixReceiver::HangUpLocked() {
    if (line_.gone.exchange(true))
        return;
    transmitter_.LineGone();
    events_.HangUp();
}

void PosixReceiver::PullInputLocked() {
    std::uint32_t events = 0;
    std::uint32_t errors = 0;
    char chunk[4096];
    bool pulled = false;
    while (!line_.gone && rx_.size() < rxLimit_) {
        const std::size_t want = std::min<std::size_t>(sizeof chunk, rxLimit_ - rx_.size());
        const ssize_t n = line_.sys.Read(line_.fd, chunk, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        if (n <= 0) {
            HangUpLocked();
            break;
        }
        pulled = true;
        PosixRxDecoder::Result got = decoder_.Decode(chunk, static_cast<std::size_t>(n));
        if (!events_.DsrLow())
            rx_ += got.data;
        else
            got.events &= ~(EV_RXCHAR | EV_RXFLAG);
        errors |= got.errors;
        events |= got.events;
        if (static_cast<std::size_t>(n) < want)
            break;
    }
    const bool above = rx_.size() * 10 >= static_cast<std::size_t>(rxLimit_) * 8;
    if (above && !above80_)
        events |= EV_RX80FULL;
    above80_ = above;
    if (pulled || events != 0)
        events_.Received(events, errors, pulled);
}

void PosixReceiver::ServeReadsLocked(Clock::time_point now) {
    for (;;) {
        PullInputLocked();
        const bool full = rx_.size() >= rxLimit_;
        if (reads_.empty())
            return;
        ReadRequest& r = reads_.front();
        const std::uint32_t got = r.timeout.Got();
        const std::size_t n = std::min<std::size_t>(r.count - got, rx_.size());
        if (n > 0) {
            std::memcpy(r.buffer + got, rx_.data(), n);
            TakeLocked(n);
            r.timeout.BytesCame(got + static_cast<std::uint32_t>(n), now);
        }
        const bool gone = line_.gone;
        if (!r.timeout.Ends(now) && !(gone && rx_.empty()))
            return;
        const bool failed = gone && r.timeout.Got() == 0 && r.count > 0;
        CompleteLocked(r.ov, failed ? ERROR_DEVICE_NOT_CONNECTED : ERROR_SUCCESS, r.timeout.Got());
        reads_.pop_front();
        if (reads_.empty()) {
            // Bytes that come later are taken by whoever looks next; those a full queue left
            // in the driver are taken now that reading made room.
            if (full)
                PullInputLocked();
            return;
        }
        // The next read's time-out starts now that its turn has come.
        reads_.front().timeout = ReadTimeout(reads_.front().timeouts, reads_.front().count, now);
    }
}

bool PosixReceiver::WantsInputLocked() {
    if (line_.gone || rx_.size() >= rxLimit_)
        return false;
    // Input events are raised by whoever takes the bytes from the driver; the service
    // thread has to watch for them only while a thread waits for such an event, or for a
    // read that no waiting thread serves.
    constexpr std::uint32_t inputEvents = EV_RXCHAR | EV_RXFLAG | EV_RX80FULL | EV_ERR | EV_BREAK;
    return (!reads_.empty() && !helping_) || events_.WaitsFor(inputEvents);
}

void PosixReceiver::Serve(Clock::time_point now, Clock::time_point& deadline, bool& wantsInput) {
    std::lock_guard lock(mutex_);
    serviceStale_ = false;
    ServeReadsLocked(now);
    if (!reads_.empty())
        deadline = std::min(deadline, reads_.front().timeout.Deadline());
    wantsInput = WantsInputLocked();
}

bool PosixReceiver::ServiceStale() {
    std::lock_guard lock(mutex_);
    return serviceStale_;
}

bool PosixReceiver::HelpRead(TOverlapped* ov, std::uint32_t milliseconds, bool& timedOut) {
    timedOut = false;
    const bool limited = milliseconds != INFINITE;
    const auto waitEnd = Clock::now() + std::chrono::milliseconds(limited ? milliseconds : 0);
    std::unique_lock lock(mutex_);
    if (helping_ || line_.stopping || !PendingLocked(ov))
        return false;
    helping_ = true;
    helper_ = std::this_thread::get_id();
    // The read found nothing in the queue when it started and left the driver alone; the
    // wait below returns at once if the driver has bytes, so the first pass need not ask it.
    bool firstPass = true;
    for (;;) {
        const auto now = Clock::now();
        if (!firstPass)
            ServeReadsLocked(now);
        firstPass = false;
        // Ended means completed: whoever takes a read off the queue completes it first. A
        // shutting-down device aborts it and wakes this thread.
        const bool ended = !PendingLocked(ov);
        if (!ended && limited && now >= waitEnd)
            timedOut = true;
        Clock::time_point deadline = limited ? waitEnd : Clock::time_point::max();
        if (!ended && !timedOut)
            deadline = std::min(deadline, reads_.front().timeout.Deadline());
        const bool canRead = !line_.gone && rx_.size() < rxLimit_;
        bool kick = false;
        if (ended || timedOut) {
            helping_ = false;
            // Reads still queued behind this one need the service thread's clock.
            kick = serviceStale_ && !reads_.empty();
            if (reads_.empty())
                serviceStale_ = false;
        }
        lock.unlock();
        if (kick)
            line_.Wake();
        if (ended || timedOut)
            return true;
        pollfd fds[2] = {{helperWakeFd_, POLLIN, 0}, {canRead ? line_.fd : -1, POLLIN, 0}};
        const timespec limit = TimeLeft(deadline - Clock::now());
        line_.sys.Poll(fds, 2, deadline != Clock::time_point::max() ? &limit : nullptr);
        if (fds[0].revents & POLLIN)
            DrainEventFd(helperWakeFd_);
        lock.lock();
    }
}

std::uint32_t PosixReceiver::Read(char* buffer, std::uint32_t count, std::uint32_t& doneBytes,
                                  TOverlapped* ov) {
    line_.markPending(ov);
    std::uint32_t result = ERROR_IO_PENDING;
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (line_.stopping) {
            CompleteLocked(ov, ERROR_OPERATION_ABORTED, 0);
            return ERROR_OPERATION_ABORTED;
        }
        const auto now = Clock::now();
        const bool wasFull = rx_.size() >= rxLimit_;
        ReadRequest r{buffer, count, ov, timeouts_, ReadTimeout(timeouts_, count, now)};
        if (reads_.empty()) {
            // Bytes still in the terminal driver belong to the queue too: take them as the
            // receive queue makes room.
            std::uint32_t got = 0;
            for (;;) {
                const std::size_t n = std::min<std::size_t>(count - got, rx_.size());
                if (n > 0) {
                    std::memcpy(buffer + got, rx_.data(), n);
                    TakeLocked(n);
                    got += static_cast<std::uint32_t>(n);
                }
                if (got == count)
                    break;
                // A read that waits for its first byte anyway leaves the driver to the
                // thread that waits for it, whose first look takes what is there: a reply
                // asked for just before is not there yet, and the call would find nothing.
                if (got == 0 && !r.timeout.Ends(now))
                    break;
                PullInputLocked();
                if (rx_.empty())
                    break;
            }
            r.timeout.BytesCame(got, now);
            if (line_.gone && got == 0 && count > 0) {
                // Everything received before the line went away has been read.
                result = ERROR_DEVICE_NOT_CONNECTED;
                CompleteLocked(ov, result, 0);
            } else if (r.timeout.Ends(now) || line_.gone) {
                result = ERROR_SUCCESS;
                doneBytes = got;
                CompleteLocked(ov, ERROR_SUCCESS, got);
            }
        }
        // A new deadline is left to the thread that waits for the read; the service thread
        // learns of it when nobody does (see ServiceStale).
        if (result == ERROR_IO_PENDING) {
            reads_.push_back(r);
            serviceStale_ = true;
        }
        // A full queue had stopped the service thread reading the device; it may go on.
        wake = wasFull && rx_.size() < rxLimit_;
    }
    if (wake)
        line_.Wake();
    return result;
}

void PosixReceiver::Purge(std::uint32_t flags) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (flags & PURGE_RXABORT) {
            for (const ReadRequest& r : reads_)
                CompleteLocked(r.ov, ERROR_OPERATION_ABORTED, r.timeout.Got());
            reads_.clear();
        }
        if (flags & PURGE_RXCLEAR) {
            wake = rx_.size() >= rxLimit_;
            TakeLocked(rx_.size());
            above80_ = false;
            if (!line_.gone)
                line_.sys.Flush(line_.fd, TCIFLUSH);
        }
    }
    if (wake)
        line_.Wake();
}

std::uint32_t PosixReceiver::InQueue() {
    std::lock_guard lock(mutex_);
    // Bytes taken from the driver here go to a read that waits for them first.
    ServeReadsLocked(Clock::now());
    std::uint32_t queued = static_cast<std::uint32_t>(rx_.size());
    if (!line_.gone && rx_.size() >= rxLimit_)
        queued += KernelInQueue();
    return queued;
}

void PosixReceiver::Pull() {
    std::lock_guard lock(mutex_);
    ServeReadsLocked(Clock::now());
}

std::uint32_t PosixReceiver::SetupComm(std::uint32_t inQueue) {
    {
        std::lock_guard lock(mutex_);
        if (line_.gone)
            return ERROR_DEVICE_NOT_CONNECTED;
        rxLimit_ = inQueue;
    }
    line_.Wake();
    return ERROR_SUCCESS;
}

void PosixReceiver::SetDecoding(const PosixRxDecoder::Settings& settings) {
    std::lock_guard lock(mutex_);
    decoder_.SetSettings(settings);
}

void PosixReceiver::SetTimeouts(const TCommTimeouts& timeouts) {
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
}

void PosixReceiver::HangUpSeen() {
    std::lock_guard lock(mutex_);
    PullInputLocked();
    HangUpLocked();
}

void PosixReceiver::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        for (const ReadRequest& r : reads_)
            CompleteLocked(r.ov, ERROR_OPERATION_ABORTED, r.timeout.Got());
        reads_.clear();
    }
    SignalEventFd(helperWakeFd_);
}

} // namespace serial
