#include "serial/posix/PosixDevice.h"

#include "serial/ComErrorCodes.h"
#include "serial/posix/PosixErrors.h"
#include "serial/posix/PosixLineSettings.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace serial {
namespace {

constexpr std::uint32_t maxQueueSize = 64u * 1024u * 1024u;
constexpr int modemInputs = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;
constexpr std::uint32_t modemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
// How often the lines are read where the driver cannot wait for a change.
constexpr auto modemPollInterval = std::chrono::milliseconds(10);

std::uint32_t LineEvents(int before, int after) {
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

timespec Timespec(std::chrono::steady_clock::duration left) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::max(left, std::chrono::steady_clock::duration::zero()))
                        .count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

void Signal(int eventFd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(eventFd, &one, sizeof one);
}

void Drain(int eventFd) {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = read(eventFd, &count, sizeof count);
}

} // namespace

TPosixDevice::TPosixDevice(TPosixSys& sys, int fd, bool serialDriver, TStarter markPending,
                           TCompleter complete)
    : sys_(sys), fd_(fd), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      helperWakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), paced_(serialDriver),
      markPending_(std::move(markPending)), complete_(std::move(complete)) {
    int bits = 0;
    hasModemLines_ = sys_.ModemLines(fd_, bits) == 0;
    modemBits_ = hasModemLines_ ? bits : 0;
    serial_icounter_struct c{};
    hasCounters_ = sys_.Counters(fd_, c) == 0;
    if (hasCounters_)
        counters_ = {c.cts,     c.dsr,    c.dcd, c.rng,        c.frame,
                     c.overrun, c.parity, c.brk, c.buf_overrun};
    service_ = std::thread([this] { ServiceLoop(); });
    if (hasModemLines_)
        modem_ = std::thread([this] { ModemLoop(); });
}

TPosixDevice::~TPosixDevice() {
    Shutdown();
    service_.join();
    if (modem_.joinable()) {
        modemStop_ = true;
        // Repeat the wake-up until the thread leaves: it may be between two waits.
        const auto handle = modem_.native_handle();
        while (!modemEnded_) {
            sys_.WakeModemWait(handle);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        modem_.join();
    }
    close(helperWakeFd_);
    close(wakeFd_);
    sys_.Close(fd_);
}

void TPosixDevice::Shutdown() {
    std::vector<Completion> done;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (const ReadRequest& r : reads_)
            done.push_back({r.ov, ERROR_OPERATION_ABORTED, r.timeout.Got()});
        for (const WriteRequest& w : writes_)
            done.push_back({w.ov, ERROR_OPERATION_ABORTED, w.sent});
        reads_.clear();
        writes_.clear();
        EndDrainingLocked(ERROR_OPERATION_ABORTED, false, done);
        if (waitOv_ != nullptr)
            done.push_back({std::exchange(waitOv_, nullptr), ERROR_OPERATION_ABORTED, 0});
        Finish(done);
    }
    Wake();
    Signal(helperWakeFd_);
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
    Signal(wakeFd_);
}

void TPosixDevice::Finish(std::vector<Completion>& done) {
    for (const Completion& c : done)
        complete_(c.ov, c.status, c.bytes);
    if (!done.empty() && helping_)
        Signal(helperWakeFd_);
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
        if (!ended && !timedOut)
            deadline = std::min(deadline, reads_.front().timeout.Deadline());
        const bool canRead = !gone_ && rx_.size() < rxLimit_;
        bool kick = false;
        if (ended || timedOut) {
            helping_ = false;
            // Reads still queued behind this one need the service thread's clock.
            kick = serviceStale_ && !reads_.empty();
            if (reads_.empty())
                serviceStale_ = false;
        }
        Finish(done);
        lock.unlock();
        if (kick)
            Wake();
        if (ended || timedOut)
            return true;
        pollfd fds[2] = {{helperWakeFd_, POLLIN, 0}, {canRead ? fd_ : -1, POLLIN, 0}};
        const timespec limit = Timespec(deadline - TClock::now());
        sys_.Poll(fds, 2, deadline != TClock::time_point::max() ? &limit : nullptr);
        if (fds[0].revents & POLLIN)
            Drain(helperWakeFd_);
        lock.lock();
    }
}

std::uint32_t TPosixDevice::KernelInQueue() const {
    int count = 0;
    return sys_.InputCount(fd_, count) == 0 && count > 0 ? static_cast<std::uint32_t>(count) : 0;
}

std::uint32_t TPosixDevice::KernelOutQueue() const {
    int count = 0;
    return sys_.OutputCount(fd_, count) == 0 && count > 0 ? static_cast<std::uint32_t>(count) : 0;
}

std::uint32_t TPosixDevice::OutputPendingLocked() const {
    std::uint32_t pending = 0;
    for (const WriteRequest& w : writes_)
        pending += static_cast<std::uint32_t>(w.data.size()) - w.sent;
    return pending + (gone_ ? 0 : KernelOutQueue());
}

TPosixDevice::TClock::duration TPosixDevice::ByteTimeLocked() const {
    // Ten bits a byte: start, eight data bits, stop; a longer frame is checked again.
    const std::uint64_t rate = dcb_.BaudRate != 0 ? dcb_.BaudRate : 9600;
    return std::chrono::microseconds(10ull * 1000000ull / rate + 1);
}

void TPosixDevice::RaiseLocked(std::uint32_t events, std::vector<Completion>& done) {
    // New bytes raise their event once; when the mask drops it, the first wait for it that
    // starts while they are still queued reports them.
    if (events & EV_RXCHAR)
        rxUnreported_ = (commMask_ & EV_RXCHAR) == 0;
    history_ |= events & commMask_;
    if (waitOv_ != nullptr && history_ != 0) {
        *waitMask_ = history_;
        history_ = 0;
        done.push_back({std::exchange(waitOv_, nullptr), ERROR_SUCCESS, 0});
        waitMask_ = nullptr;
    }
}

std::uint32_t TPosixDevice::CountersLocked() {
    serial_icounter_struct c{};
    if (!hasCounters_ || sys_.Counters(fd_, c) != 0)
        return 0;
    std::uint32_t errors = 0;
    if (c.frame != counters_.frame)
        errors |= CE_FRAME;
    if (c.parity != counters_.parity)
        errors |= CE_RXPARITY;
    if (c.overrun != counters_.overrun)
        errors |= CE_OVERRUN;
    if (c.brk != counters_.brk)
        errors |= CE_BREAK;
    if (c.buf_overrun != counters_.bufOverrun)
        errors |= CE_RXOVER;
    std::uint32_t events = 0;
    if (errors & ~CE_BREAK)
        events |= EV_ERR;
    if (errors & CE_BREAK)
        events |= EV_BREAK;
    // A line that went up and down again between two looks still counts as a change.
    if (c.cts != counters_.cts)
        events |= EV_CTS;
    if (c.dsr != counters_.dsr)
        events |= EV_DSR;
    if (c.dcd != counters_.dcd)
        events |= EV_RLSD;
    if (c.rng != counters_.rng)
        events |= EV_RING;
    errors_ |= errors;
    counters_ = {c.cts, c.dsr, c.dcd, c.rng, c.frame, c.overrun, c.parity, c.brk, c.buf_overrun};
    return events;
}

void TPosixDevice::TakeLocked(std::size_t count) {
    rx_.erase(0, count);
    if (rx_.empty())
        rxUnreported_ = false;
}

void TPosixDevice::PullInputLocked(std::vector<Completion>& done) {
    std::uint32_t events = 0;
    char chunk[4096];
    bool pulled = false;
    while (!gone_ && rx_.size() < rxLimit_) {
        const std::size_t want = std::min<std::size_t>(sizeof chunk, rxLimit_ - rx_.size());
        const ssize_t n = sys_.Read(fd_, chunk, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        if (n <= 0) {
            HangUpLocked(done);
            break;
        }
        pulled = true;
        TPosixRxDecoder::Result got = decoder_.Decode(chunk, static_cast<std::size_t>(n));
        const bool dsrLow = dcb_.fDsrSensitivity && hasModemLines_ && !(modemBits_ & TIOCM_DSR);
        if (!dsrLow)
            rx_ += got.data;
        else
            got.events &= ~(EV_RXCHAR | EV_RXFLAG);
        errors_ |= got.errors;
        events |= got.events;
        if (static_cast<std::size_t>(n) < want)
            break;
    }
    // The terminal layer marks framing and parity errors only with the parity check on, and
    // overruns never: the driver's counters tell them whatever the settings.
    if (pulled)
        events |= CountersLocked() & (EV_ERR | EV_BREAK);
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
        const std::uint32_t got = r.timeout.Got();
        const std::size_t n = std::min<std::size_t>(r.count - got, rx_.size());
        if (n > 0) {
            std::memcpy(r.buffer + got, rx_.data(), n);
            TakeLocked(n);
            r.timeout.BytesCame(got + static_cast<std::uint32_t>(n), now);
        }
        if (!r.timeout.Ends(now) && !(gone_ && rx_.empty()))
            return;
        const bool failed = gone_ && r.timeout.Got() == 0 && r.count > 0;
        done.push_back(
            {r.ov, failed ? ERROR_DEVICE_NOT_CONNECTED : ERROR_SUCCESS, r.timeout.Got()});
        reads_.pop_front();
        // The next read's time-out starts now that its turn has come.
        if (!reads_.empty())
            reads_.front().timeout =
                TReadTimeout(reads_.front().timeouts, reads_.front().count, now);
    }
}

bool TPosixDevice::HandOverLocked(WriteRequest& w, std::vector<Completion>& done) {
    while (!gone_ && w.sent < w.data.size()) {
        const ssize_t n = sys_.Write(fd_, w.data.data() + w.sent, w.data.size() - w.sent);
        if (n > 0) {
            w.sent += static_cast<std::uint32_t>(n);
            handedOver_ += static_cast<std::uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            outputBlocked_ = true;
            return true;
        }
        if (ErrnoToSystemError(n < 0 ? errno : EIO) == ERROR_DEVICE_NOT_CONNECTED || w.sent > 0) {
            HangUpLocked(done);
            return false;
        }
        return false;
    }
    return !gone_;
}

void TPosixDevice::WrittenLocked(TOverlapped* ov, std::uint32_t count, TClock::time_point deadline,
                                 bool hasDeadline, TClock::time_point now,
                                 std::vector<Completion>& done) {
    if (!paced_) {
        done.push_back({ov, ERROR_SUCCESS, count});
    } else {
        const bool first = draining_.empty();
        draining_.push_back({ov, handedOver_ - count, handedOver_, deadline, hasDeadline});
        if (first)
            drainingCheck_ = now + ByteTimeLocked() * std::max<std::uint32_t>(KernelOutQueue(), 1);
    }
    // Watching the output drain costs a query of the driver: only for a listener.
    drainWatch_ = (commMask_ & EV_TXEMPTY) != 0;
    drainCheck_ = now;
}

std::uint64_t TPosixDevice::LeftTheLineLocked() const {
    return handedOver_ - std::min<std::uint64_t>(handedOver_, gone_ ? 0 : KernelOutQueue());
}

void TPosixDevice::EndDrainingLocked(std::uint32_t status, bool discard,
                                     std::vector<Completion>& done) {
    if (draining_.empty())
        return;
    const std::uint64_t left = LeftTheLineLocked();
    for (const DrainingWrite& d : draining_) {
        const std::uint64_t sent = std::clamp(left, d.start, d.end) - d.start;
        done.push_back({d.ov, status, static_cast<std::uint32_t>(sent)});
    }
    draining_.clear();
    if (discard && !gone_) {
        sys_.Flush(fd_, TCOFLUSH);
        handedOver_ = left;
    }
}

void TPosixDevice::CheckDrainingLocked(TClock::time_point now, std::vector<Completion>& done) {
    if (draining_.empty() || now < drainingCheck_)
        return;
    const std::uint64_t left = LeftTheLineLocked();
    while (!draining_.empty() && draining_.front().end <= left) {
        const DrainingWrite& d = draining_.front();
        done.push_back({d.ov, ERROR_SUCCESS, static_cast<std::uint32_t>(d.end - d.start)});
        draining_.pop_front();
    }
    if (draining_.empty())
        return;
    const DrainingWrite& head = draining_.front();
    if (head.hasDeadline && now >= head.deadline) {
        // The line did not take the bytes in time: the write ends short with what left, and
        // the rest must not go out later.
        EndDrainingLocked(ERROR_SUCCESS, true, done);
        return;
    }
    drainingCheck_ = now + ByteTimeLocked() * static_cast<long>(head.end - left);
    if (head.hasDeadline)
        drainingCheck_ = std::min(drainingCheck_, head.deadline);
}

void TPosixDevice::ServeWritesLocked(TClock::time_point now, std::vector<Completion>& done) {
    outputBlocked_ = false;
    while (!writes_.empty()) {
        WriteRequest& w = writes_.front();
        if (!HandOverLocked(w, done)) {
            if (gone_)
                return;
            done.push_back({w.ov, ERROR_GEN_FAILURE, w.sent});
        } else if (w.sent == w.data.size()) {
            WrittenLocked(w.ov, w.sent, w.deadline, w.hasDeadline, now, done);
        } else if (w.hasDeadline && now >= w.deadline) {
            // The line did not take the bytes in time: the write ends short, not failed.
            if (paced_) {
                draining_.push_back({w.ov, handedOver_ - w.sent, handedOver_, w.deadline, true});
                EndDrainingLocked(ERROR_SUCCESS, true, done);
            } else {
                done.push_back({w.ov, ERROR_SUCCESS, w.sent});
            }
        } else {
            return;
        }
        writes_.pop_front();
    }
}

void TPosixDevice::CheckDrainedLocked(TClock::time_point now, std::vector<Completion>& done) {
    if (!drainWatch_ || !writes_.empty() || !draining_.empty() || now < drainCheck_)
        return;
    const std::uint32_t queued = gone_ ? 0 : KernelOutQueue();
    if (queued == 0) {
        drainWatch_ = false;
        RaiseLocked(EV_TXEMPTY, done);
        return;
    }
    // Look again about when the queued bytes should have left the line.
    drainCheck_ = now + ByteTimeLocked() * static_cast<long>(queued) + Ms(1);
}

void TPosixDevice::HangUpLocked(std::vector<Completion>& done) {
    if (gone_)
        return;
    gone_ = true;
    errors_ |= CE_IOE;
    for (const WriteRequest& w : writes_)
        done.push_back({w.ov, ERROR_DEVICE_NOT_CONNECTED, w.sent});
    writes_.clear();
    EndDrainingLocked(ERROR_DEVICE_NOT_CONNECTED, false, done);
    RaiseLocked(EV_ERR, done);
}

void TPosixDevice::UpdateModemLocked(std::vector<Completion>& done) {
    int bits = 0;
    if (sys_.ModemLines(fd_, bits) != 0)
        return;
    // The counters see a short pulse (a ring, above all) that two readings of the lines miss.
    // Reading them takes every change they show, so the line errors and breaks counted since
    // the last look are raised here too; the next pull of data would find them taken.
    const std::uint32_t events = hasCounters_ ? CountersLocked() | LineEvents(modemBits_, bits)
                                              : LineEvents(modemBits_, bits);
    modemBits_ = bits;
    if (events != 0)
        RaiseLocked(events, done);
}

bool TPosixDevice::WantsModemPollLocked() const {
    if (!modemPolled_ || gone_)
        return false;
    const bool listening = waitOv_ != nullptr && (commMask_ & modemEvents) != 0;
    return listening || dcb_.fDsrSensitivity != 0;
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
            CheckDrainingLocked(now, done);
            CheckDrainedLocked(now, done);
            auto consider = [&](TClock::time_point t) {
                hasDeadline = true;
                deadline = std::min(deadline, t);
            };
            if (WantsModemPollLocked()) {
                if (now >= modemCheck_) {
                    UpdateModemLocked(done);
                    modemCheck_ = now + modemPollInterval;
                }
                consider(modemCheck_);
            }
            if (!reads_.empty() && reads_.front().timeout.Deadline() != TClock::time_point::max())
                consider(reads_.front().timeout.Deadline());
            if (!writes_.empty() && writes_.front().hasDeadline)
                consider(writes_.front().deadline);
            if (!draining_.empty())
                consider(drainingCheck_);
            if (drainWatch_ && writes_.empty() && draining_.empty())
                consider(drainCheck_);
            if (gone_)
                fds[1].fd = -1;
            else
                fds[1].events = static_cast<short>((WantsInputLocked() ? POLLIN : 0) |
                                                   (outputBlocked_ ? POLLOUT : 0));
            Finish(done);
        }
        const timespec limit = Timespec(deadline - TClock::now());
        const int ready = sys_.Poll(fds, 2, hasDeadline ? &limit : nullptr);
        if (ready <= 0)
            continue;
        if (fds[0].revents & POLLIN)
            Drain(wakeFd_);
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            std::lock_guard lock(mutex_);
            PullInputLocked(done);
            HangUpLocked(done);
            Finish(done);
        }
    }
}

void TPosixDevice::ModemLoop() {
    while (!modemStop_) {
        // A change between two waits is not seen by the next one: look before each.
        std::vector<Completion> done;
        {
            std::lock_guard lock(mutex_);
            UpdateModemLocked(done);
            Finish(done);
        }
        const int r = sys_.WaitModemChange(fd_, modemInputs);
        if (modemStop_ || r == 0 || errno == EINTR)
            continue;
        // A driver without line-change waits: the service thread reads the lines at
        // intervals instead, while someone listens.
        {
            std::lock_guard lock(mutex_);
            if (!gone_) {
                modemPolled_ = true;
                modemCheck_ = TClock::now();
            }
        }
        Wake();
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
    {
        std::lock_guard lock(mutex_);
        if (gone_)
            return ERROR_DEVICE_NOT_CONNECTED;
        const std::uint32_t error = ApplyDeviceControlBlock(sys_, fd_, dcb, hasModemLines_);
        if (error != ERROR_SUCCESS)
            return error;
        dcb_ = dcb;
        TPosixRxDecoder::Settings settings;
        settings.discardNull = dcb.fNull != 0;
        settings.replaceErrors = dcb.fErrorChar != 0;
        settings.errorChar = dcb.ErrorChar;
        settings.eventChar = dcb.EvtChar;
        decoder_.SetSettings(settings);
    }
    // DSR sensitivity may need the lines watched now.
    Wake();
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
        ReadRequest r{buffer, count, ov, timeouts_, TReadTimeout(timeouts_, count, now)};
        if (result == ERROR_IO_PENDING && reads_.empty()) {
            // Bytes still in the terminal driver belong to the queue too: take them as the
            // receive queue makes room.
            std::uint32_t got = 0;
            for (;;) {
                const std::size_t n = std::min<std::size_t>(count - got, rx_.size());
                std::memcpy(buffer + got, rx_.data(), n);
                TakeLocked(n);
                got += static_cast<std::uint32_t>(n);
                if (got == count)
                    break;
                PullInputLocked(done);
                if (rx_.empty())
                    break;
            }
            r.timeout.BytesCame(got, now);
            if (gone_ && got == 0 && count > 0) {
                // Everything received before the line went away has been read.
                result = ERROR_DEVICE_NOT_CONNECTED;
                done.push_back({ov, result, 0});
            } else if (r.timeout.Ends(now) || gone_) {
                result = ERROR_SUCCESS;
                doneBytes = got;
                done.push_back({ov, ERROR_SUCCESS, got});
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
        Finish(done);
    }
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
            const TCommTimeouts& t = timeouts_;
            const std::uint64_t total =
                std::uint64_t{t.WriteTotalTimeoutMultiplier} * count + t.WriteTotalTimeoutConstant;
            WriteRequest w{std::string(buffer, count), 0, ov, now + Ms(total), total != 0};
            // Behind other writes a write waits its turn; the bytes taken count for it.
            const bool handed = writes_.empty() && HandOverLocked(w, done);
            if (writes_.empty() && !handed) {
                result = gone_ ? ERROR_DEVICE_NOT_CONNECTED : ErrnoToSystemError(errno);
                done.push_back({ov, result, w.sent});
            } else if (handed && w.sent == count) {
                WrittenLocked(ov, count, w.deadline, w.hasDeadline, now, done);
                if (!paced_) {
                    result = ERROR_SUCCESS;
                    doneBytes = count;
                }
                CheckDrainedLocked(now, done);
                wake = paced_ || drainWatch_;
            } else {
                writes_.push_back(std::move(w));
                wake = true;
            }
        }
        Finish(done);
    }
    if (wake)
        Wake();
    return result;
}

std::uint32_t TPosixDevice::Purge(std::uint32_t flags) {
    std::vector<Completion> done;
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) {
            for (const WriteRequest& w : writes_)
                done.push_back({w.ov, ERROR_OPERATION_ABORTED, w.sent});
            writes_.clear();
            // The bytes of ended writes must not go out after them.
            EndDrainingLocked(ERROR_OPERATION_ABORTED, true, done);
        }
        if (flags & PURGE_RXABORT) {
            for (const ReadRequest& r : reads_)
                done.push_back({r.ov, ERROR_OPERATION_ABORTED, r.timeout.Got()});
            reads_.clear();
        }
        if ((flags & PURGE_TXCLEAR) && !gone_) {
            sys_.Flush(fd_, TCOFLUSH);
            handedOver_ = LeftTheLineLocked();
        }
        if (flags & PURGE_RXCLEAR) {
            wake = rx_.size() >= rxLimit_;
            TakeLocked(rx_.size());
            above80_ = false;
            if (!gone_)
                sys_.Flush(fd_, TCIFLUSH);
        }
        Finish(done);
    }
    if (wake)
        Wake();
    return ERROR_SUCCESS;
}

std::uint32_t TPosixDevice::ClearError(std::uint32_t& errors, TComStat& stat) {
    std::vector<Completion> done;
    {
        std::lock_guard lock(mutex_);
        // Bytes taken from the driver here go to a read that waits for them first.
        ServeReadsLocked(TClock::now(), done);
        // A device that went away stays in error: no later call can clear that.
        errors = errors_ | (gone_ ? CE_IOE : 0);
        errors_ = 0;
        stat.cbInQue = static_cast<std::uint32_t>(rx_.size());
        if (!gone_ && rx_.size() >= rxLimit_)
            stat.cbInQue += KernelInQueue();
        stat.cbOutQue = OutputPendingLocked();
        Finish(done);
    }
    return ERROR_SUCCESS;
}

std::uint32_t TPosixDevice::ModemStatus(std::uint32_t& status) {
    status = 0;
    std::lock_guard lock(mutex_);
    int bits = 0;
    // Without modem lines (a pseudo-terminal), or once the device is gone, all are off.
    if (!hasModemLines_ || gone_ || sys_.ModemLines(fd_, bits) != 0)
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
    std::lock_guard lock(mutex_);
    if (history_ & EV_RXCHAR)
        rxUnreported_ = true;
    commMask_ = mask;
    history_ = 0;
    if (waitOv_ != nullptr) {
        *waitMask_ = 0;
        waitMask_ = nullptr;
        complete_(std::exchange(waitOv_, nullptr), ERROR_SUCCESS, 0);
    }
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
        ServeReadsLocked(TClock::now(), done);
        const bool unreported = rxUnreported_ && (commMask_ & EV_RXCHAR) != 0 && !rx_.empty();
        RaiseLocked(unreported ? EV_RXCHAR : 0, done);
        if (std::any_of(done.begin(), done.end(), [ov](const Completion& c) { return c.ov == ov; }))
            result = ERROR_SUCCESS;
        Finish(done);
    }
    // The service thread watches the input (and the lines) again now that someone waits.
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
