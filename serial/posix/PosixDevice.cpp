#include "serial/posix/PosixDevice.h"

#include "serial/posix/PosixErrors.h"
#include "serial/posix/PosixLineSettings.h"
#include "serial/ComErrorCodes.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace serial {

namespace {

constexpr std::uint32_t maxQueueSize = 64u * 1024u * 1024u;

// TIOCMIWAIT cannot be woken by any descriptor; a signal without a restart flag ends it.
int ModemWakeSignal() {
    return SIGRTMIN + 4;
}

void InstallModemWakeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(ModemWakeSignal(), &action, nullptr);
    });
}

std::uint32_t ModemEvents(int before, int after) {
    const int changed = before ^ after;
    std::uint32_t events = 0;
    if (changed & TIOCM_CTS)
        events |= EV_CTS;
    if (changed & TIOCM_DSR)
        events |= EV_DSR;
    if (changed & TIOCM_CD)
        events |= EV_RLSD;
    if (changed & TIOCM_RNG)
        events |= EV_RING;
    return events;
}

std::chrono::milliseconds Ms(std::uint64_t ms) {
    return std::chrono::milliseconds(ms);
}

} // namespace

TPosixDevice::TPosixDevice(int fd, TStarter markPending, TCompleter complete)
    : fd_(fd), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      helperWakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), markPending_(std::move(markPending)),
      complete_(std::move(complete)) {
    int bits = 0;
    hasModemLines_ = ioctl(fd_, TIOCMGET, &bits) == 0;
    modemBits_ = hasModemLines_ ? bits : 0;
    serial_icounter_struct counters{};
    hasErrorCounters_ = ioctl(fd_, TIOCGICOUNT, &counters) == 0;
    if (hasErrorCounters_)
        counters_ = {counters.frame, counters.overrun, counters.parity, counters.brk,
                     counters.buf_overrun};
    service_ = std::thread([this] { ServiceLoop(); });
    if (hasModemLines_) {
        InstallModemWakeHandler();
        modem_ = std::thread([this] { ModemLoop(); });
    }
}

TPosixDevice::~TPosixDevice() {
    Shutdown();
    service_.join();
    if (modem_.joinable()) {
        modemStop_ = true;
        // Repeat the signal until the thread leaves: it may be between two waits.
        const auto handle = modem_.native_handle();
        while (!modemEnded_) {
            pthread_kill(handle, ModemWakeSignal());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        modem_.join();
    }
    close(helperWakeFd_);
    close(wakeFd_);
    close(fd_);
}

void TPosixDevice::Shutdown() {
    std::vector<Completion> done;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (const ReadRequest& r : reads_)
            done.push_back({r.ov, ERROR_OPERATION_ABORTED, r.got});
        for (const WriteRequest& w : writes_)
            done.push_back({w.ov, ERROR_OPERATION_ABORTED, w.sent});
        reads_.clear();
        writes_.clear();
        if (waitOv_ != nullptr)
            done.push_back({std::exchange(waitOv_, nullptr), ERROR_OPERATION_ABORTED, 0});
    }
    Finish(done);
    Wake();
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(helperWakeFd_, &one, sizeof one);
}

void TPosixDevice::KickService() {
    bool stale = false;
    {
        std::lock_guard lock(mutex_);
        stale = serviceStale_;
    }
    if (stale)
        Wake();
}

void TPosixDevice::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
}

void TPosixDevice::Finish(std::vector<Completion>& done) {
    for (const Completion& c : done)
        complete_(c.ov, c.status, c.bytes);
    if (!done.empty() && helping_) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(helperWakeFd_, &one, sizeof one);
    }
    done.clear();
}

bool TPosixDevice::HelpRead(TOverlapped* ov, std::uint32_t milliseconds, bool& timedOut) {
    timedOut = false;
    const bool limited = milliseconds != INFINITE;
    const auto waitEnd = TClock::now() + Ms(limited ? milliseconds : 0);
    std::unique_lock lock(mutex_);
    auto pending = [&] {
        return std::any_of(reads_.begin(), reads_.end(),
                           [ov](const ReadRequest& r) { return r.ov == ov; });
    };
    if (helping_ || stopping_ || !pending())
        return false;
    helping_ = true;
    // The read found nothing when it started; the wait below returns at once if bytes came
    // since, so the first pass need not ask the driver.
    bool firstPass = true;
    for (;;) {
        std::vector<Completion> done;
        const auto now = TClock::now();
        if (!firstPass)
            ServeReadsLocked(now, done);
        firstPass = false;
        const bool ended = !pending() || stopping_;
        if (!ended && limited && now >= waitEnd)
            timedOut = true;
        TClock::time_point deadline = limited ? waitEnd : TClock::time_point::max();
        if (!ended && !timedOut) {
            const ReadRequest& head = reads_.front();
            if (head.hasTotal)
                deadline = std::min(deadline, head.totalDeadline);
            if (head.interval != 0 && head.got > 0)
                deadline = std::min(deadline, head.lastByte + Ms(head.interval));
        }
        const bool canRead = !gone_ && rx_.size() < rxLimit_;
        bool kick = false;
        if (ended || timedOut) {
            helping_ = false;
            // Reads still queued behind this one need the service thread's clock.
            kick = serviceStale_ && !reads_.empty();
            if (reads_.empty())
                serviceStale_ = false;
        }
        lock.unlock();
        Finish(done);
        if (kick)
            Wake();
        if (ended || timedOut)
            return true;
        pollfd fds[2] = {{helperWakeFd_, POLLIN, 0}, {canRead ? fd_ : -1, POLLIN, 0}};
        timespec limit{};
        if (deadline != TClock::time_point::max()) {
            const auto left = std::max(deadline - TClock::now(), TClock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            limit.tv_sec = static_cast<time_t>(ns / 1000000000);
            limit.tv_nsec = static_cast<long>(ns % 1000000000);
        }
        ppoll(fds, 2, deadline != TClock::time_point::max() ? &limit : nullptr, nullptr);
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] ssize_t n = read(helperWakeFd_, &count, sizeof count);
        }
        lock.lock();
    }
}

std::uint32_t TPosixDevice::KernelInQueue() const {
    int count = 0;
    return ioctl(fd_, TIOCINQ, &count) == 0 && count > 0 ? static_cast<std::uint32_t>(count) : 0;
}

std::uint32_t TPosixDevice::KernelOutQueue() const {
    int count = 0;
    return ioctl(fd_, TIOCOUTQ, &count) == 0 && count > 0 ? static_cast<std::uint32_t>(count) : 0;
}

std::uint32_t TPosixDevice::OutputPendingLocked() const {
    std::uint32_t pending = 0;
    for (const WriteRequest& w : writes_)
        pending += static_cast<std::uint32_t>(w.data.size()) - w.sent;
    return pending + (gone_ ? 0 : KernelOutQueue());
}

void TPosixDevice::RaiseLocked(std::uint32_t events, std::vector<Completion>& done) {
    history_ |= events & commMask_;
    if (waitOv_ != nullptr && history_ != 0) {
        *waitMask_ = history_;
        history_ = 0;
        done.push_back({std::exchange(waitOv_, nullptr), ERROR_SUCCESS, 0});
        waitMask_ = nullptr;
    }
}

void TPosixDevice::CountLineErrorsLocked() {
    serial_icounter_struct c{};
    if (!hasErrorCounters_ || ioctl(fd_, TIOCGICOUNT, &c) != 0)
        return;
    if (c.frame != counters_.frame)
        errors_ |= CE_FRAME;
    if (c.parity != counters_.parity)
        errors_ |= CE_RXPARITY;
    if (c.overrun != counters_.overrun)
        errors_ |= CE_OVERRUN;
    if (c.brk != counters_.brk)
        errors_ |= CE_BREAK;
    if (c.buf_overrun != counters_.bufOverrun)
        errors_ |= CE_RXOVER;
    counters_ = {c.frame, c.overrun, c.parity, c.brk, c.buf_overrun};
}

void TPosixDevice::PullInputLocked(std::vector<Completion>& done) {
    std::uint32_t events = 0;
    char chunk[4096];
    while (!gone_ && rx_.size() < rxLimit_) {
        const std::size_t want = std::min<std::size_t>(sizeof chunk, rxLimit_ - rx_.size());
        const ssize_t n = read(fd_, chunk, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        if (n <= 0) {
            HangUpLocked(done);
            break;
        }
        TPosixRxDecoder::Result got = decoder_.Decode(chunk, static_cast<std::size_t>(n));
        const bool dsrLow = dcb_.fDsrSensitivity && hasModemLines_ && !(modemBits_ & TIOCM_DSR);
        if (!dsrLow)
            rx_ += got.data;
        else
            got.events &= ~(EV_RXCHAR | EV_RXFLAG);
        if (got.errors != 0 && hasErrorCounters_) {
            const std::uint32_t before = errors_;
            CountLineErrorsLocked();
            if (errors_ == before)
                errors_ |= got.errors;
        } else {
            errors_ |= got.errors;
        }
        events |= got.events;
        if (static_cast<std::size_t>(n) < want)
            break;
    }
    const bool above = rx_.size() * 10 >= static_cast<std::size_t>(rxLimit_) * 8;
    if (above && !above80_)
        events |= EV_RX80FULL;
    above80_ = above;
    if (events != 0)
        RaiseLocked(events, done);
}

void TPosixDevice::ServeReadsLocked(TClock::time_point now, std::vector<Completion>& done) {
    for (;;) {
        PullInputLocked(done);
        if (reads_.empty())
            return;
        ReadRequest& r = reads_.front();
        const std::size_t n = std::min<std::size_t>(r.count - r.got, rx_.size());
        if (n > 0) {
            std::memcpy(r.buffer + r.got, rx_.data(), n);
            rx_.erase(0, n);
            r.got += static_cast<std::uint32_t>(n);
            r.lastByte = now;
        }
        const bool ends = r.got == r.count || (r.firstByteEnds && r.got > 0) ||
                          (r.hasTotal && now >= r.totalDeadline) ||
                          (r.interval != 0 && r.got > 0 && now - r.lastByte >= Ms(r.interval)) ||
                          (gone_ && rx_.empty());
        if (!ends)
            return;
        const bool failed = gone_ && r.got == 0;
        done.push_back({r.ov, failed ? ERROR_DEVICE_NOT_CONNECTED : ERROR_SUCCESS, r.got});
        reads_.pop_front();
    }
}

void TPosixDevice::ServeWritesLocked(TClock::time_point now, std::vector<Completion>& done) {
    outputBlocked_ = false;
    while (!writes_.empty()) {
        WriteRequest& w = writes_.front();
        while (!gone_ && w.sent < w.data.size()) {
            const ssize_t n = write(fd_, w.data.data() + w.sent, w.data.size() - w.sent);
            if (n > 0) {
                w.sent += static_cast<std::uint32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN) {
                outputBlocked_ = true;
                break;
            }
            HangUpLocked(done);
            return;
        }
        if (w.sent == w.data.size()) {
            done.push_back({w.ov, ERROR_SUCCESS, w.sent});
        } else if (w.hasDeadline && now >= w.deadline) {
            // The line did not take the bytes in time: the write ends short, not failed.
            done.push_back({w.ov, ERROR_SUCCESS, w.sent});
        } else {
            return;
        }
        writes_.pop_front();
        drainWatch_ = (commMask_ & EV_TXEMPTY) != 0;
        drainCheck_ = now;
    }
}

void TPosixDevice::CheckDrainedLocked(TClock::time_point now, std::vector<Completion>& done) {
    if (!drainWatch_ || !writes_.empty() || now < drainCheck_)
        return;
    const std::uint32_t queued = gone_ ? 0 : KernelOutQueue();
    if (queued == 0) {
        drainWatch_ = false;
        RaiseLocked(EV_TXEMPTY, done);
        return;
    }
    // Look again about when the queued bytes should have left the line (ten bits a byte).
    const std::uint64_t rate = dcb_.BaudRate != 0 ? dcb_.BaudRate : 9600;
    drainCheck_ = now + std::chrono::microseconds(queued * 10ull * 1000000ull / rate + 1000);
}

void TPosixDevice::HangUpLocked(std::vector<Completion>& done) {
    if (gone_)
        return;
    gone_ = true;
    errors_ |= CE_IOE;
    for (const WriteRequest& w : writes_)
        done.push_back({w.ov, ERROR_DEVICE_NOT_CONNECTED, w.sent});
    writes_.clear();
    RaiseLocked(EV_ERR, done);
}

void TPosixDevice::UpdateModemLocked(std::vector<Completion>& done) {
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) != 0)
        return;
    const std::uint32_t events = ModemEvents(modemBits_, bits);
    modemBits_ = bits;
    if (events != 0)
        RaiseLocked(events, done);
}

void TPosixDevice::ServiceLoop() {
    for (;;) {
        std::vector<Completion> done;
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd_, 0, 0}};
        bool hasDeadline = false;
        TClock::time_point deadline = TClock::time_point::max();
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            serviceStale_ = false;
            const auto now = TClock::now();
            ServeReadsLocked(now, done);
            ServeWritesLocked(now, done);
            ServeReadsLocked(now, done);
            CheckDrainedLocked(now, done);
            auto consider = [&](TClock::time_point t) {
                hasDeadline = true;
                deadline = std::min(deadline, t);
            };
            if (!reads_.empty()) {
                const ReadRequest& r = reads_.front();
                if (r.hasTotal)
                    consider(r.totalDeadline);
                if (r.interval != 0 && r.got > 0)
                    consider(r.lastByte + Ms(r.interval));
            }
            if (!writes_.empty() && writes_.front().hasDeadline)
                consider(writes_.front().deadline);
            if (drainWatch_ && writes_.empty())
                consider(drainCheck_);
            if (gone_)
                fds[1].fd = -1;
            else
                fds[1].events = static_cast<short>((WantsInputLocked() ? POLLIN : 0) |
                                                   (outputBlocked_ ? POLLOUT : 0));
        }
        Finish(done);
        timespec limit{};
        if (hasDeadline) {
            const auto left = std::max(deadline - TClock::now(), TClock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            limit.tv_sec = static_cast<time_t>(ns / 1000000000);
            limit.tv_nsec = static_cast<long>(ns % 1000000000);
        }
        const int ready = ppoll(fds, 2, hasDeadline ? &limit : nullptr, nullptr);
        if (ready <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] ssize_t n = read(wakeFd_, &count, sizeof count);
        }
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            std::lock_guard lock(mutex_);
            PullInputLocked(done);
            HangUpLocked(done);
        }
        Finish(done);
    }
}

void TPosixDevice::ModemLoop() {
    while (!modemStop_) {
        const int r = ioctl(fd_, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG);
        if (modemStop_)
            break;
        if (r != 0 && errno == EINTR)
            continue;
        std::vector<Completion> done;
        {
            std::lock_guard lock(mutex_);
            UpdateModemLocked(done);
        }
        Finish(done);
        // A driver without line-change waits, or a device that went away, ends the watch.
        if (r != 0)
            break;
    }
    modemEnded_ = true;
}

std::uint32_t TPosixDevice::SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) {
    if (inQueue == 0 || inQueue > maxQueueSize || outQueue > maxQueueSize)
        return ERROR_INVALID_PARAMETER;
    {
        std::lock_guard lock(mutex_);
        if (gone_)
            return ERROR_DEVICE_NOT_CONNECTED;
        rxLimit_ = inQueue;
    }
    Wake();
    return ERROR_SUCCESS;
}

std::uint32_t TPosixDevice::SetCommState(const TDCB& dcb) {
    std::lock_guard lock(mutex_);
    if (gone_)
        return ERROR_DEVICE_NOT_CONNECTED;
    const std::uint32_t error = ApplyDeviceControlBlock(fd_, dcb, hasModemLines_);
    if (error != ERROR_SUCCESS)
        return error;
    dcb_ = dcb;
    TPosixRxDecoder::Settings settings;
    settings.discardNull = dcb.fNull != 0;
    settings.replaceErrors = dcb.fErrorChar != 0;
    settings.errorChar = dcb.ErrorChar;
    settings.eventChar = dcb.EvtChar;
    decoder_.SetSettings(settings);
    return ERROR_SUCCESS;
}

std::uint32_t TPosixDevice::SetCommTimeouts(const TCommTimeouts& timeouts) {
    if (timeouts.ReadIntervalTimeout == MAXDWORD &&
        timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
        timeouts.ReadTotalTimeoutConstant == MAXDWORD)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(mutex_);
    if (gone_)
        return ERROR_DEVICE_NOT_CONNECTED;
    timeouts_ = timeouts;
    return ERROR_SUCCESS;
}

std::uint32_t TPosixDevice::Read(char* buffer, std::uint32_t count, std::uint32_t& doneBytes,
                                 TOverlapped* ov) {
    markPending_(ov);
    std::vector<Completion> done;
    std::uint32_t result = ERROR_IO_PENDING;
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            done.push_back({ov, ERROR_OPERATION_ABORTED, 0});
            result = ERROR_OPERATION_ABORTED;
        }
        const auto now = TClock::now();
        const bool wasFull = rx_.size() >= rxLimit_;
        const TCommTimeouts& t = timeouts_;
        ReadRequest r{buffer, count, 0, ov, now, false, 0, false, now};
        const bool returnAtOnce = t.ReadIntervalTimeout == MAXDWORD &&
                                  t.ReadTotalTimeoutMultiplier == 0 &&
                                  t.ReadTotalTimeoutConstant == 0;
        r.firstByteEnds = t.ReadIntervalTimeout == MAXDWORD &&
                          t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                          t.ReadTotalTimeoutConstant != 0;
        if (r.firstByteEnds) {
            r.hasTotal = true;
            r.totalDeadline = now + Ms(t.ReadTotalTimeoutConstant);
        } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
            r.hasTotal = true;
            r.totalDeadline = now + Ms(std::uint64_t{t.ReadTotalTimeoutMultiplier} * count +
                                       t.ReadTotalTimeoutConstant);
        }
        if (t.ReadIntervalTimeout != MAXDWORD)
            r.interval = t.ReadIntervalTimeout;
        if (result == ERROR_IO_PENDING && reads_.empty()) {
            // Bytes still in the terminal driver belong to the queue too: take them as the
            // receive queue makes room.
            for (;;) {
                const std::size_t n = std::min<std::size_t>(count - r.got, rx_.size());
                std::memcpy(buffer + r.got, rx_.data(), n);
                rx_.erase(0, n);
                r.got += static_cast<std::uint32_t>(n);
                if (r.got == count)
                    break;
                PullInputLocked(done);
                if (rx_.empty())
                    break;
            }
            const bool ends = r.got == count || returnAtOnce || (r.firstByteEnds && r.got > 0);
            if (gone_ && r.got == 0 && count > 0) {
                // Everything received before the line went away has been read.
                result = ERROR_DEVICE_NOT_CONNECTED;
                done.push_back({ov, result, 0});
            } else if (ends || gone_) {
                result = ERROR_SUCCESS;
                doneBytes = r.got;
                done.push_back({ov, ERROR_SUCCESS, r.got});
            }
        }
        if (result == ERROR_IO_PENDING)
            reads_.push_back(r);
        // A full queue had stopped the service thread reading the device; it may go on.
        // A new deadline is left to the thread that waits for the read; the service thread
        // learns of it when nobody does (see KickService).
        wake = wasFull && rx_.size() < rxLimit_;
        if (result == ERROR_IO_PENDING)
            serviceStale_ = true;
    }
    Finish(done);
    if (wake)
        Wake();
    return result;
}

std::uint32_t TPosixDevice::Write(const char* buffer, std::uint32_t count, std::uint32_t& doneBytes,
                                  TOverlapped* ov) {
    markPending_(ov);
    std::vector<Completion> done;
    std::uint32_t result = ERROR_IO_PENDING;
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || gone_) {
            result = stopping_ ? ERROR_OPERATION_ABORTED : ERROR_DEVICE_NOT_CONNECTED;
            done.push_back({ov, result, 0});
        } else {
            const auto now = TClock::now();
            std::uint32_t sent = 0;
            if (writes_.empty()) {
                while (sent < count) {
                    const ssize_t n = write(fd_, buffer + sent, count - sent);
                    if (n > 0)
                        sent += static_cast<std::uint32_t>(n);
                    else if (!(n < 0 && errno == EINTR))
                        break;
                }
            }
            if (sent == count) {
                result = ERROR_SUCCESS;
                doneBytes = count;
                done.push_back({ov, ERROR_SUCCESS, count});
                // Watching the output drain costs a query of the driver: only for a listener.
                drainWatch_ = (commMask_ & EV_TXEMPTY) != 0;
                drainCheck_ = now;
                CheckDrainedLocked(now, done);
                wake = drainWatch_;
            } else if (errno != EAGAIN && errno != EINTR && writes_.empty()) {
                result = ErrnoToSystemError(errno);
                if (result == ERROR_DEVICE_NOT_CONNECTED)
                    HangUpLocked(done);
                done.push_back({ov, result, sent});
            } else {
                const TCommTimeouts& t = timeouts_;
                // The bytes already taken count for this request when it ends.
                WriteRequest w{std::string(buffer, count), sent, ov, now, false};
                const std::uint64_t total = std::uint64_t{t.WriteTotalTimeoutMultiplier} * count +
                                            t.WriteTotalTimeoutConstant;
                if (total != 0) {
                    w.hasDeadline = true;
                    w.deadline = now + Ms(total);
                }
                writes_.push_back(std::move(w));
                wake = true;
            }
        }
    }
    Finish(done);
    if (wake)
        Wake();
    return result;
}

std::uint32_t TPosixDevice::Purge(std::uint32_t flags) {
    std::vector<Completion> done;
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (flags & PURGE_TXABORT) {
            for (const WriteRequest& w : writes_)
                done.push_back({w.ov, ERROR_OPERATION_ABORTED, w.sent});
            writes_.clear();
        }
        if (flags & PURGE_RXABORT) {
            for (const ReadRequest& r : reads_)
                done.push_back({r.ov, ERROR_OPERATION_ABORTED, r.got});
            reads_.clear();
        }
        if ((flags & PURGE_TXCLEAR) && !gone_)
            tcflush(fd_, TCOFLUSH);
        if (flags & PURGE_RXCLEAR) {
            wake = rx_.size() >= rxLimit_;
            rx_.clear();
            above80_ = false;
            if (!gone_)
                tcflush(fd_, TCIFLUSH);
        }
    }
    Finish(done);
    if (wake)
        Wake();
    return ERROR_SUCCESS;
}

std::uint32_t TPosixDevice::ClearError(std::uint32_t& errors, TComStat& stat) {
    std::vector<Completion> done;
    {
        std::lock_guard lock(mutex_);
        PullInputLocked(done);
        // A device that went away stays in error: no later call can clear that.
        errors = errors_ | (gone_ ? CE_IOE : 0);
        errors_ = 0;
        stat.cbInQue = static_cast<std::uint32_t>(rx_.size());
        if (!gone_ && rx_.size() >= rxLimit_)
            stat.cbInQue += KernelInQueue();
        stat.cbOutQue = OutputPendingLocked();
    }
    Finish(done);
    return ERROR_SUCCESS;
}

std::uint32_t TPosixDevice::ModemStatus(std::uint32_t& status) {
    status = 0;
    std::lock_guard lock(mutex_);
    int bits = 0;
    // Without modem lines (a pseudo-terminal), or once the device is gone, all are off.
    if (!hasModemLines_ || gone_ || ioctl(fd_, TIOCMGET, &bits) != 0)
        return ERROR_SUCCESS;
    if (bits & TIOCM_CTS)
        status |= MS_CTS_ON;
    if (bits & TIOCM_DSR)
        status |= MS_DSR_ON;
    if (bits & TIOCM_RNG)
        status |= MS_RING_ON;
    if (bits & TIOCM_CD)
        status |= MS_RLSD_ON;
    return ERROR_SUCCESS;
}

std::uint32_t TPosixDevice::SetMask(std::uint32_t mask) {
    TOverlapped* ended = nullptr;
    {
        std::lock_guard lock(mutex_);
        commMask_ = mask;
        history_ = 0;
        if (waitOv_ != nullptr) {
            *waitMask_ = 0;
            ended = std::exchange(waitOv_, nullptr);
            waitMask_ = nullptr;
        }
    }
    if (ended != nullptr)
        complete_(ended, ERROR_SUCCESS, 0);
    return ERROR_SUCCESS;
}

std::uint32_t TPosixDevice::WaitEvent(std::uint32_t* mask, TOverlapped* ov) {
    std::vector<Completion> done;
    std::uint32_t result = ERROR_IO_PENDING;
    {
        std::lock_guard lock(mutex_);
        if (waitOv_ != nullptr || stopping_)
            return stopping_ ? ERROR_OPERATION_ABORTED : ERROR_INVALID_PARAMETER;
        markPending_(ov);
        waitMask_ = mask;
        waitOv_ = ov;
        // Bytes that came while nobody waited raise their events now.
        PullInputLocked(done);
        RaiseLocked(0, done);
        if (!done.empty())
            result = ERROR_SUCCESS;
    }
    Finish(done);
    // The service thread watches the input again now that someone waits for its events.
    if (result == ERROR_IO_PENDING)
        Wake();
    return result;
}

bool TPosixDevice::WantsInputLocked() const {
    if (gone_ || rx_.size() >= rxLimit_)
        return false;
    // Input events are raised by whoever takes the bytes from the driver; the service
    // thread has to watch for them only while a thread waits for such an event, or for a
    // read that no waiting thread serves.
    constexpr std::uint32_t inputEvents = EV_RXCHAR | EV_RXFLAG | EV_RX80FULL | EV_ERR | EV_BREAK;
    const bool eventWait = waitOv_ != nullptr && (commMask_ & inputEvents) != 0;
    return eventWait || (!reads_.empty() && !helping_);
}

} // namespace serial
