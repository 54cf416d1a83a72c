#include "posix/PosixLineEvents.h"

#include "ComErrorCodes.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace serial {
namespace {

constexpr int modemInputs = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;
constexpr std::uint32_t modemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
// How often the lines are read where the driver cannot wait for a change.
constexpr auto modemPollInterval = std::chrono::milliseconds(10);
// When the lines are looked at again after the modem watch thread looked and went to wait
// for a change: a change between its look and the start of its wait is not one the wait
// sees. The thread is almost always waiting by the first look; the later ones cover a
// thread held up on a loaded machine.
constexpr std::chrono::milliseconds modemRechecks[] = {
    std::chrono::milliseconds(2), std::chrono::milliseconds(20), std::chrono::milliseconds(200),
    std::chrono::milliseconds(2000)};

// Each modem input: its bit from the device, the event its change raises, its bit in the
// modem status word.
struct ModemInput {
    int line;
    std::uint32_t event;
    std::uint32_t status;
};
constexpr ModemInput modemInputTable[] = {{TIOCM_CTS, EV_CTS, MS_CTS_ON},
                                          {TIOCM_DSR, EV_DSR, MS_DSR_ON},
                                          {TIOCM_CD, EV_RLSD, MS_RLSD_ON},
                                          {TIOCM_RNG, EV_RING, MS_RING_ON}};

// The word made of `part` of each input whose line is on in `lines`.
std::uint32_t WordOf(int lines, std::uint32_t ModemInput::*part) {
    std::uint32_t word = 0;
    for (const ModemInput& input : modemInputTable) {
        if (lines & input.line)
            word |= input.*part;
    }
    return word;
}

std::uint32_t LineEvents(int before, int after) {
    return WordOf(before ^ after, &ModemInput::event);
}

} // namespace

PosixLineEvents::PosixLineEvents(PosixLine& line) : line_(line) {
    int bits = 0;
    hasModemLines_ = line_.sys.ModemLines(line_.fd, bits) == 0;
    modemBits_ = hasModemLines_ ? bits : 0;
    serial_icounter_struct c{};
    hasCounters_ = line_.sys.Counters(line_.fd, c) == 0;
    if (hasCounters_)
        counters_ = {c.cts,     c.dsr,    c.dcd, c.rng,        c.frame,
                     c.overrun, c.parity, c.brk, c.buf_overrun};
}

void PosixLineEvents::StartModemWatch() {
    if (hasModemLines_)
        modem_ = std::thread([this] { ModemLoop(); });
}

void PosixLineEvents::StopModemWatch() {
    if (!modem_.joinable())
        return;
    modemStop_ = true;
    // Repeat the wake-up until the thread leaves: it may be between two waits.
    const auto handle = modem_.native_handle();
    while (!modemEnded_) {
        line_.sys.WakeModemWait(handle);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    modem_.join();
}

void PosixLineEvents::ModemLoop() {
    while (!modemStop_) {
        // A change between two waits is not seen by the next one: look before each, and
        // have the service thread look again once this thread waits.
        {
            std::lock_guard lock(mutex_);
            UpdateModemLocked();
            recheck_ = 0;
            modemCheck_ = Clock::now() + modemRechecks[0];
        }
        line_.Wake();
        const int r = line_.sys.WaitModemChange(line_.fd, modemInputs);
        if (modemStop_ || r == 0 || errno == EINTR)
            continue;
        // A driver without line-change waits: the service thread reads the lines at
        // intervals instead, while someone listens.
        {
            std::lock_guard lock(mutex_);
            if (!line_.gone) {
                modemPolled_ = true;
                modemCheck_ = Clock::now();
            }
        }
        line_.Wake();
        break;
    }
    modemEnded_ = true;
}

void PosixLineEvents::RaiseLocked(std::uint32_t events) {
    // New bytes raise their event once; when the mask drops it, the first wait for it that
    // starts while they are still queued reports them.
    if (events & EV_RXCHAR)
        rxUnreported_ = (commMask_ & EV_RXCHAR) == 0;
    history_ |= events & commMask_;
    if (waitOv_ != nullptr && history_ != 0) {
        *waitMask_ = std::exchange(history_, 0);
        waitMask_ = nullptr;
        line_.complete(std::exchange(waitOv_, nullptr), ERROR_SUCCESS, 0);
    }
}

void PosixLineEvents::Raise(std::uint32_t events) {
    std::lock_guard lock(mutex_);
    RaiseLocked(events);
}

void PosixLineEvents::Received(std::uint32_t events, std::uint32_t errors, bool pulled) {
    std::lock_guard lock(mutex_);
    errors_ |= errors;
    // The terminal layer marks framing and parity errors only with the parity check on, and
    // overruns never: the driver's counters tell them whatever the settings. Reading them
    // takes the line changes they show as well, which no later look would see again.
    if (pulled) {
        const std::uint32_t counted = CountersLocked();
        events |= counted;
        if (counted & modemEvents)
            events |= LinesLocked();
    }
    if (events != 0)
        RaiseLocked(events);
}

void PosixLineEvents::QueueEmptied() {
    std::lock_guard lock(mutex_);
    rxUnreported_ = false;
}

void PosixLineEvents::HangUp() {
    std::lock_guard lock(mutex_);
    errors_ |= CE_IOE;
    RaiseLocked(EV_ERR);
}

std::uint32_t PosixLineEvents::TakeErrors() {
    std::lock_guard lock(mutex_);
    // A device that went away stays in error: no later call can clear that.
    return std::exchange(errors_, 0) | (line_.gone ? CE_IOE : 0);
}

bool PosixLineEvents::DsrLow() {
    std::lock_guard lock(mutex_);
    return dsrSensitive_ && hasModemLines_ && !(modemBits_ & TIOCM_DSR);
}

void PosixLineEvents::SetDsrSensitivity(bool on) {
    std::lock_guard lock(mutex_);
    dsrSensitive_ = on;
}

bool PosixLineEvents::ListensFor(std::uint32_t events) {
    std::lock_guard lock(mutex_);
    return (commMask_ & events) != 0;
}

bool PosixLineEvents::WaitsFor(std::uint32_t events) {
    std::lock_guard lock(mutex_);
    return waitOv_ != nullptr && (commMask_ & events) != 0;
}

std::uint32_t PosixLineEvents::CountersLocked() {
    serial_icounter_struct c{};
    if (!hasCounters_ || line_.sys.Counters(line_.fd, c) != 0)
        return 0;
    // Each counter the driver keeps, where the last look left it, and the bit its change
    // sets: a line error, or the event of a modem line.
    struct CounterBit {
        int serial_icounter_struct::*now;
        int Counters::*seen;
        std::uint32_t bit;
    };
    static constexpr CounterBit errorCounters[] = {
        {&serial_icounter_struct::frame, &Counters::frame, CE_FRAME},
        {&serial_icounter_struct::parity, &Counters::parity, CE_RXPARITY},
        {&serial_icounter_struct::overrun, &Counters::overrun, CE_OVERRUN},
        {&serial_icounter_struct::brk, &Counters::brk, CE_BREAK},
        {&serial_icounter_struct::buf_overrun, &Counters::bufOverrun, CE_RXOVER}};
    // A line that went up and down again between two looks still counts as a change.
    static constexpr CounterBit lineCounters[] = {
        {&serial_icounter_struct::cts, &Counters::cts, EV_CTS},
        {&serial_icounter_struct::dsr, &Counters::dsr, EV_DSR},
        {&serial_icounter_struct::dcd, &Counters::dcd, EV_RLSD},
        {&serial_icounter_struct::rng, &Counters::rng, EV_RING}};
    // The bits of the counters in `table` that moved since the last look, which they become.
    auto moved = [&](const auto& table) {
        std::uint32_t bits = 0;
        for (const CounterBit& counter : table) {
            if (c.*counter.now != counters_.*counter.seen)
                bits |= counter.bit;
            counters_.*counter.seen = c.*counter.now;
        }
        return bits;
    };
    const std::uint32_t errors = moved(errorCounters);
    std::uint32_t events = moved(lineCounters);
    if (errors & ~CE_BREAK)
        events |= EV_ERR;
    if (errors & CE_BREAK)
        events |= EV_BREAK;
    errors_ |= errors;
    return events;
}

std::uint32_t PosixLineEvents::LinesLocked() {
    int bits = 0;
    if (line_.sys.ModemLines(line_.fd, bits) != 0)
        return 0;
    return LineEvents(std::exchange(modemBits_, bits), bits);
}

void PosixLineEvents::UpdateModemLocked() {
    // The counters see a short pulse (a ring, above all) that two readings of the lines miss.
    // Reading them takes every change they show, so the line errors and breaks counted since
    // the last look are raised here too; the next pull of data would find them taken.
    const std::uint32_t events = (hasCounters_ ? CountersLocked() : 0) | LinesLocked();
    if (events != 0)
        RaiseLocked(events);
}

void PosixLineEvents::PollModem(Clock::time_point now, Clock::time_point& deadline) {
    std::lock_guard lock(mutex_);
    if (line_.gone)
        return;
    if (!modemPolled_) {
        // The looks after the modem watch thread went to wait.
        if (!hasModemLines_ || recheck_ >= std::size(modemRechecks))
            return;
        if (now >= modemCheck_) {
            UpdateModemLocked();
            if (++recheck_ == std::size(modemRechecks))
                return;
            modemCheck_ = now + modemRechecks[recheck_] - modemRechecks[recheck_ - 1];
        }
        deadline = std::min(deadline, modemCheck_);
        return;
    }
    const bool listening = waitOv_ != nullptr && (commMask_ & modemEvents) != 0;
    if (!listening && !dsrSensitive_)
        return;
    if (now >= modemCheck_) {
        UpdateModemLocked();
        modemCheck_ = now + modemPollInterval;
    }
    deadline = std::min(deadline, modemCheck_);
}

std::uint32_t PosixLineEvents::SetMask(std::uint32_t mask) {
    std::lock_guard lock(mutex_);
    if (history_ & EV_RXCHAR)
        rxUnreported_ = true;
    commMask_ = mask;
    history_ = 0;
    if (waitOv_ != nullptr) {
        *waitMask_ = 0;
        waitMask_ = nullptr;
        line_.complete(std::exchange(waitOv_, nullptr), ERROR_SUCCESS, 0);
    }
    return ERROR_SUCCESS;
}

std::uint32_t PosixLineEvents::Wait(std::uint32_t* mask, TOverlapped* ov) {
    std::lock_guard lock(mutex_);
    if (waitOv_ != nullptr || line_.stopping)
        return line_.stopping ? ERROR_OPERATION_ABORTED : ERROR_INVALID_PARAMETER;
    line_.markPending(ov);
    waitMask_ = mask;
    waitOv_ = ov;
    RaiseLocked(rxUnreported_ && (commMask_ & EV_RXCHAR) != 0 ? EV_RXCHAR : 0);
    return waitOv_ == nullptr ? ERROR_SUCCESS : ERROR_IO_PENDING;
}

std::uint32_t PosixLineEvents::ModemStatus(std::uint32_t& status) {
    status = 0;
    int bits = 0;
    // Without modem lines (a pseudo-terminal), or once the device is gone, all are off.
    if (!hasModemLines_ || line_.gone || line_.sys.ModemLines(line_.fd, bits) != 0)
        return ERROR_SUCCESS;
    status = WordOf(bits, &ModemInput::status);
    return ERROR_SUCCESS;
}

void PosixLineEvents::Shutdown() {
    std::lock_guard lock(mutex_);
    if (waitOv_ != nullptr) {
        waitMask_ = nullptr;
        line_.complete(std::exchange(waitOv_, nullptr), ERROR_OPERATION_ABORTED, 0);
    }
}

} // namespace serial
