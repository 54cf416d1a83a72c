#include "posix/PosixDevice.h"

#include "ComErrorCodes.h"
#include "posix/PosixLineSettings.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

namespace serial {
namespace {

constexpr std::uint32_t maxQueueSize = 64u * 1024u * 1024u;

} // namespace

void PosixLine::Wake() const {
    SignalEventFd(wakeFd);
}

void SignalEventFd(int eventFd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(eventFd, &one, sizeof one);
}

void DrainEventFd(int eventFd) {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = read(eventFd, &count, sizeof count);
}

timespec TimeLeft(PosixLine::Clock::duration left) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::max(left, PosixLine::Clock::duration::zero()))
                        .count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

PosixDevice::PosixDevice(PosixSys& sys, int fd, bool serialDriver, Starter markPending,
                         Completer complete)
    : line_{sys, fd, eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), std::move(markPending),
            std::move(complete)},
      events_(line_), transmitter_(line_, events_, serialDriver),
      receiver_(line_, events_, transmitter_) {
    service_ = std::thread([this] { ServiceLoop(); });
    events_.StartModemWatch();
}

PosixDevice::~PosixDevice() {
    Shutdown();
    service_.join();
    events_.StopModemWatch();
    close(line_.wakeFd);
    // The terminal's exclusive mode outlives the descriptor wherever the terminal does (a
    // pseudo-terminal whose far end is still open): it would keep the next opener out, this
    // program's next open included.
    line_.sys.SetExclusive(line_.fd, false);
    line_.sys.Close(line_.fd);
}

void PosixDevice::Shutdown() {
    // Set first: a request that comes after its part was emptied below is refused.
    line_.stopping = true;
    receiver_.Shutdown();
    transmitter_.Shutdown();
    events_.Shutdown();
    line_.Wake();
}

void PosixDevice::KickService() {
    if (receiver_.ServiceStale())
        line_.Wake();
}

bool PosixDevice::HelpRead(TOverlapped* ov, std::uint32_t milliseconds, bool& timedOut) {
    return receiver_.HelpRead(ov, milliseconds, timedOut);
}

void PosixDevice::ServiceLoop() {
    while (!line_.stopping) {
        const auto now = Clock::now();
        Clock::time_point deadline = Clock::time_point::max();
        bool wantsInput = false;
        bool blocked = false;
        receiver_.Serve(now, deadline, wantsInput);
        transmitter_.Serve(now, deadline, blocked);
        events_.PollModem(now, deadline);
        pollfd fds[2] = {{line_.wakeFd, POLLIN, 0}, {line_.fd, 0, 0}};
        if (line_.gone)
            fds[1].fd = -1;
        else
            fds[1].events = static_cast<short>((wantsInput ? POLLIN : 0) | (blocked ? POLLOUT : 0));
        const timespec limit = TimeLeft(deadline - Clock::now());
        const bool hasDeadline = deadline != Clock::time_point::max();
        if (line_.sys.Poll(fds, 2, hasDeadline ? &limit : nullptr) <= 0)
            continue;
        if (fds[0].revents & POLLIN)
            DrainEventFd(line_.wakeFd);
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
            receiver_.HangUpSeen();
    }
}

std::uint32_t PosixDevice::SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) {
    if (inQueue == 0 || inQueue > maxQueueSize || outQueue > maxQueueSize)
        return ERROR_INVALID_PARAMETER;
    return receiver_.SetupComm(inQueue);
}

std::uint32_t PosixDevice::SetCommState(const TDCB& dcb) {
    {
        std::lock_guard lock(settingsMutex_);
        if (line_.gone)
            return ERROR_DEVICE_NOT_CONNECTED;
        const std::uint32_t error =
            ApplyDeviceControlBlock(line_.sys, line_.fd, dcb, events_.HasModemLines());
        if (error != ERROR_SUCCESS)
            return error;
        PosixRxDecoder::Settings settings;
        settings.discardNull = dcb.fNull != 0;
        settings.replaceErrors = dcb.fErrorChar != 0;
        settings.errorChar = dcb.ErrorChar;
        settings.eventChar = dcb.EvtChar;
        receiver_.SetDecoding(settings);
        transmitter_.SetRate(dcb.BaudRate);
        events_.SetDsrSensitivity(dcb.fDsrSensitivity != 0);
    }
    // DSR sensitivity may need the lines watched now.
    line_.Wake();
    return ERROR_SUCCESS;
}

std::uint32_t PosixDevice::SetCommTimeouts(const TCommTimeouts& timeouts) {
    if (timeouts.ReadIntervalTimeout == MAXDWORD &&
        timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
        timeouts.ReadTotalTimeoutConstant == MAXDWORD)
        return ERROR_INVALID_PARAMETER;
    if (line_.gone)
        return ERROR_DEVICE_NOT_CONNECTED;
    receiver_.SetTimeouts(timeouts);
    transmitter_.SetTimeouts(timeouts);
    return ERROR_SUCCESS;
}

std::uint32_t PosixDevice::Read(char* buffer, std::uint32_t count, std::uint32_t& done,
                                TOverlapped* ov) {
    return receiver_.Read(buffer, count, done, ov);
}

std::uint32_t PosixDevice::Write(const char* buffer, std::uint32_t count, std::uint32_t& done,
                                 TOverlapped* ov) {
    return transmitter_.Write(buffer, count, done, ov);
}

std::uint32_t PosixDevice::Purge(std::uint32_t flags) {
    transmitter_.Purge(flags);
    receiver_.Purge(flags);
    return ERROR_SUCCESS;
}

std::uint32_t PosixDevice::ClearError(std::uint32_t& errors, TComStat& stat) {
    // Counted first: bytes taken from the driver now may add to the error word.
    stat.cbInQue = receiver_.InQueue();
    stat.cbOutQue = transmitter_.OutputPending();
    errors = events_.TakeErrors();
    return ERROR_SUCCESS;
}

std::uint32_t PosixDevice::ModemStatus(std::uint32_t& status) {
    return events_.ModemStatus(status);
}

std::uint32_t PosixDevice::SetMask(std::uint32_t mask) {
    return events_.SetMask(mask);
}

std::uint32_t PosixDevice::WaitEvent(std::uint32_t* mask, TOverlapped* ov) {
    // Bytes that came while nobody waited raise their events now.
    receiver_.Pull();
    const std::uint32_t result = events_.Wait(mask, ov);
    // The service thread watches the input (and the lines) again now that someone waits.
    if (result == ERROR_IO_PENDING)
        line_.Wake();
    return result;
}

} // namespace serial
