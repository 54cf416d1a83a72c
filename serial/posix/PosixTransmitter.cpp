#include "posix/PosixTransmitter.h"

#include "ComErrorCodes.h"
#include "posix/PosixErrors.h"

#include <algorithm>
#include <cerrno>

namespace serial {

PosixTransmitter::PosixTransmitter(PosixLine& line, PosixLineEvents& events, bool paced)
    : line_(line), events_(events), paced_(paced) {}

std::uint32_t PosixTransmitter::KernelOutQueue() const {
    int count = 0;
    return line_.sys.OutputCount(line_.fd, count) == 0 && count > 0
               ? static_cast<std::uint32_t>(count)
               : 0;
}

PosixTransmitter::Clock::duration PosixTransmitter::ByteTime() const {
    // Ten bits a byte: start, eight data bits, stop; a longer frame is checked again.
    const std::uint64_t rate = baudRate_ != 0 ? baudRate_ : 9600;
    return std::chrono::microseconds(10ull * 1000000ull / rate + 1);
}

void PosixTransmitter::SetRate(std::uint32_t baudRate) {
    std::lock_guard lock(mutex_);
    baudRate_ = baudRate;
}

void PosixTransmitter::SetTimeouts(const TCommTimeouts& timeouts) {
    std::lock_guard lock(mutex_);
    writeMultiplier_ = timeouts.WriteTotalTimeoutMultiplier;
    writeConstant_ = timeouts.WriteTotalTimeoutConstant;
}

std::uint32_t PosixTransmitter::OutputPending() {
    std::lock_guard lock(mutex_);
    std::uint32_t pending = 0;
    for (const WriteRequest& w : writes_)
        pending += static_cast<std::uint32_t>(w.data.size()) - w.sent;
    return pending + (line_.gone ? 0 : KernelOutQueue());
}

void PosixTransmitter::EndWritesLocked(std::uint32_t status) {
    for (const WriteRequest& w : writes_)
        line_.complete(w.ov, status, w.sent);
    writes_.clear();
}

void PosixTransmitter::HangUpLocked() {
    EndWritesLocked(ERROR_DEVICE_NOT_CONNECTED);
    EndDrainingLocked(ERROR_DEVICE_NOT_CONNECTED, false);
}

void PosixTransmitter::LineGone() {
    std::lock_guard lock(mutex_);
    HangUpLocked();
}

void PosixTransmitter::Shutdown() {
    std::lock_guard lock(mutex_);
    EndWritesLocked(ERROR_OPERATION_ABORTED);
    EndDrainingLocked(ERROR_OPERATION_ABORTED, false);
}

bool PosixTransmitter::HandOverLocked(WriteRequest& w) {
    while (!line_.gone && w.sent < w.data.size()) {
        const ssize_t n = line_.sys.Write(line_.fd, w.data.data() + w.sent, w.data.size() - w.sent);
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
            if (!line_.gone.exchange(true)) {
                // The caller ends `w` itself when it is not queued yet.
                HangUpLocked();
                events_.HangUp();
                // Reads waiting for bytes end now with what is queued.
                line_.Wake();
            }
        }
        return false;
    }
    // Bytes the kernel took all of are written, even when the line went away just after.
    return w.sent == w.data.size() || !line_.gone;
}

void PosixTransmitter::WrittenLocked(TOverlapped* ov, std::uint32_t count,
                                     Clock::time_point deadline, bool hasDeadline,
                                     Clock::time_point now) {
    if (!paced_) {
        line_.complete(ov, ERROR_SUCCESS, count);
    } else {
        const bool first = draining_.empty();
        draining_.push_back({ov, handedOver_ - count, handedOver_, deadline, hasDeadline});
        if (first)
            drainingCheck_ = now + ByteTime() * std::max<std::uint32_t>(KernelOutQueue(), 1);
    }
    // Watching the output drain costs a query of the driver: only for a listener.
    drainWatch_ = events_.ListensFor(EV_TXEMPTY);
    drainCheck_ = now;
}

std::uint64_t PosixTransmitter::LeftTheLineLocked() const {
    return handedOver_ - std::min<std::uint64_t>(handedOver_, line_.gone ? 0 : KernelOutQueue());
}

void PosixTransmitter::EndDrainingLocked(std::uint32_t status, bool discard) {
    if (draining_.empty())
        return;
    const std::uint64_t left = LeftTheLineLocked();
    for (const DrainingWrite& d : draining_) {
        const std::uint64_t sent = std::clamp(left, d.start, d.end) - d.start;
        line_.complete(d.ov, status, static_cast<std::uint32_t>(sent));
    }
    draining_.clear();
    if (discard && !line_.gone) {
        line_.sys.Flush(line_.fd, TCOFLUSH);
        handedOver_ = left;
    }
}

void PosixTransmitter::CheckDrainingLocked(Clock::time_point now) {
    if (draining_.empty() || now < drainingCheck_)
        return;
    const std::uint64_t left = LeftTheLineLocked();
    while (!draining_.empty() && draining_.front().end <= left) {
        const DrainingWrite& d = draining_.front();
        line_.complete(d.ov, ERROR_SUCCESS, static_cast<std::uint32_t>(d.end - d.start));
        draining_.pop_front();
    }
    if (draining_.empty())
        return;
    const DrainingWrite& head = draining_.front();
    if (head.hasDeadline && now >= head.deadline) {
        // The line did not take the bytes in time: the write ends short with what left, and
        // the rest must not go out later.
        EndDrainingLocked(ERROR_SUCCESS, true);
        return;
    }
    drainingCheck_ = now + ByteTime() * static_cast<long>(head.end - left);
    if (head.hasDeadline)
        drainingCheck_ = std::min(drainingCheck_, head.deadline);
}

void PosixTransmitter::ServeWritesLocked(Clock::time_point now) {
    outputBlocked_ = false;
    while (!writes_.empty()) {
        WriteRequest& w = writes_.front();
        if (!HandOverLocked(w)) {
            // A hang-up has ended every write already.
            if (line_.gone)
                return;
            line_.complete(w.ov, ERROR_GEN_FAILURE, w.sent);
        } else if (w.sent == w.data.size()) {
            WrittenLocked(w.ov, w.sent, w.deadline, w.hasDeadline, now);
        } else if (w.hasDeadline && now >= w.deadline) {
            // The line did not take the bytes in time: the write ends short, not failed.
            if (paced_) {
                draining_.push_back({w.ov, handedOver_ - w.sent, handedOver_, w.deadline, true});
                EndDrainingLocked(ERROR_SUCCESS, true);
            } else {
                line_.complete(w.ov, ERROR_SUCCESS, w.sent);
            }
        } else {
            return;
        }
        writes_.pop_front();
    }
}

void PosixTransmitter::CheckDrainedLocked(Clock::time_point now) {
    if (!drainWatch_ || !writes_.empty() || !draining_.empty() || now < drainCheck_)
        return;
    const std::uint32_t queued = line_.gone ? 0 : KernelOutQueue();
    if (queued == 0) {
        drainWatch_ = false;
        events_.Raise(EV_TXEMPTY);
        return;
    }
    // Look again about when the queued bytes should have left the line.
    drainCheck_ = now + ByteTime() * static_cast<long>(queued) + std::chrono::milliseconds(1);
}

void PosixTransmitter::Serve(Clock::time_point now, Clock::time_point& deadline, bool& blocked) {
    std::lock_guard lock(mutex_);
    ServeWritesLocked(now);
    CheckDrainingLocked(now);
    CheckDrainedLocked(now);
    if (!writes_.empty() && writes_.front().hasDeadline)
        deadline = std::min(deadline, writes_.front().deadline);
    if (!draining_.empty())
        deadline = std::min(deadline, drainingCheck_);
    if (drainWatch_ && writes_.empty() && draining_.empty())
        deadline = std::min(deadline, drainCheck_);
    blocked = outputBlocked_;
}

std::uint32_t PosixTransmitter::Write(const char* buffer, std::uint32_t count,
                                      std::uint32_t& doneBytes, TOverlapped* ov) {
    line_.markPending(ov);
    bool wake = false;
    std::uint32_t result = ERROR_IO_PENDING;
    {
        std::lock_guard lock(mutex_);
        if (line_.stopping || line_.gone) {
            result = line_.stopping ? ERROR_OPERATION_ABORTED : ERROR_DEVICE_NOT_CONNECTED;
            line_.complete(ov, result, 0);
            return result;
        }
        const auto now = Clock::now();
        const std::uint64_t total = std::uint64_t{writeMultiplier_} * count + writeConstant_;
        WriteRequest w{std::string(buffer, count), 0, ov, now + std::chrono::milliseconds(total),
                       total != 0};
        // Behind other writes a write waits its turn; the bytes taken count for it.
        const bool handed = writes_.empty() && HandOverLocked(w);
        if (writes_.empty() && !handed) {
            result = line_.gone ? ERROR_DEVICE_NOT_CONNECTED : ErrnoToSystemError(errno);
            line_.complete(ov, result, w.sent);
        } else if (handed && w.sent == count) {
            WrittenLocked(ov, count, w.deadline, w.hasDeadline, now);
            if (!paced_) {
                result = ERROR_SUCCESS;
                doneBytes = count;
            }
            CheckDrainedLocked(now);
            wake = paced_ || drainWatch_;
        } else {
            writes_.push_back(std::move(w));
            wake = true;
        }
    }
    if (wake)
        line_.Wake();
    return result;
}

void PosixTransmitter::Purge(std::uint32_t flags) {
    std::lock_guard lock(mutex_);
    if (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) {
        EndWritesLocked(ERROR_OPERATION_ABORTED);
        // The bytes of ended writes must not go out after them.
        EndDrainingLocked(ERROR_OPERATION_ABORTED, true);
    }
    if ((flags & PURGE_TXCLEAR) && !line_.gone) {
        line_.sys.Flush(line_.fd, TCOFLUSH);
        handedOver_ = LeftTheLineLocked();
    }
}

} // namespace serial
