#include "SimulatedUart.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace serial {
namespace {

struct Rate {
    speed_t speed;
    std::uint32_t bitsPerSecond;
};

constexpr Rate rates[] = {
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};

int Fail(int error) {
    errno = error;
    return -1;
}

} // namespace

SimulatedUart::SimulatedUart(std::string path) : path_(std::move(path)) {
    cfmakeraw(&settings_);
    cfsetispeed(&settings_, B9600);
    cfsetospeed(&settings_, B9600);
    lastAdvance_ = Clock::now();
}

SimulatedUart::~SimulatedUart() {
    if (fd_ >= 0)
        close(fd_);
}

void SimulatedUart::Notify() {
    if (fd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
    }
    modemChanged_.notify_all();
}

bool SimulatedUart::Begin(const char* call, int fd) {
    std::uint32_t error = 0;
    if (faults_.Strikes(call, error)) {
        errno = static_cast<int>(error);
        return false;
    }
    std::lock_guard lock(mutex_);
    if (fd < 0 || fd != fd_) {
        errno = EBADF;
        return false;
    }
    return true;
}

double SimulatedUart::BytesPerSecond() const {
    std::lock_guard lock(mutex_);
    return BytesPerSecondLocked();
}

double SimulatedUart::BytesPerSecondLocked() const {
    std::uint32_t rate = customRate_;
    if (rate == 0) {
        const speed_t speed = cfgetospeed(&settings_);
        for (const Rate& r : rates)
            if (r.speed == speed)
                rate = r.bitsPerSecond;
    }
    static constexpr int dataBits[] = {5, 6, 7, 8};
    const tcflag_t c = settings_.c_cflag;
    const int size = (c & CSIZE) == CS5 ? 0 : (c & CSIZE) == CS6 ? 1 : (c & CSIZE) == CS7 ? 2 : 3;
    const int bits = 1 + dataBits[size] + ((c & PARENB) ? 1 : 0) + ((c & CSTOPB) ? 2 : 1);
    return static_cast<double>(rate) / bits;
}

bool SimulatedUart::Flowing() const {
    return !(settings_.c_cflag & CRTSCTS) || (lines_ & TIOCM_CTS);
}

void SimulatedUart::AdvanceLocked(Clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - lastAdvance_).count();
    lastAdvance_ = now;
    if (output_.empty() || !Flowing()) {
        credit_ = 0;
        return;
    }
    credit_ += seconds * BytesPerSecondLocked();
    const auto n = static_cast<std::size_t>(std::min(std::floor(credit_), 1e9));
    const std::size_t moved = std::min(n, output_.size());
    sent_ += output_.substr(0, moved);
    output_.erase(0, moved);
    credit_ -= static_cast<double>(moved);
    if (output_.empty())
        credit_ = 0;
}

SimulatedUart::Clock::duration SimulatedUart::UntilRoomLocked() const {
    if (output_.size() < outputCapacity || !Flowing())
        return Clock::duration::max();
    return std::chrono::milliseconds(1);
}

// --- The far end ------------------------------------------------------------------------------

void SimulatedUart::DeliverLocked(const std::string& bytes) {
    for (char c : bytes) {
        // With PARMRK a data byte 0xFF comes doubled, so that it is not taken for a mark.
        if (c == '\xFF' && (settings_.c_iflag & PARMRK) && !(settings_.c_iflag & ISTRIP))
            input_ += '\xFF';
        input_ += c;
    }
}

void SimulatedUart::MarkedLocked(char byte, bool inpckMarks) {
    const tcflag_t i = settings_.c_iflag;
    if (!inpckMarks) {
        DeliverLocked(std::string(1, byte));
        return;
    }
    if (i & IGNPAR)
        return;
    if (i & PARMRK)
        input_ += std::string("\xFF\x00", 2) + byte;
    else
        input_ += '\0';
}

void SimulatedUart::Receive(const std::string& bytes) {
    {
        std::lock_guard lock(mutex_);
        if (hungUp_)
            return;
        DeliverLocked(bytes);
    }
    Notify();
}

void SimulatedUart::ReceiveFrameError(char byte) {
    ChangeThenNotify([&] {
        ++counters_.frame;
        MarkedLocked(byte, (settings_.c_iflag & INPCK) != 0);
    });
}

void SimulatedUart::ReceiveParityError(char byte) {
    ChangeThenNotify([&] {
        ++counters_.parity;
        MarkedLocked(byte, (settings_.c_iflag & INPCK) != 0);
    });
}

void SimulatedUart::Overrun() {
    ChangeThenNotify([&] { ++counters_.overrun; });
}

void SimulatedUart::ReceiveBreak() {
    ChangeThenNotify([&] {
        ++counters_.brk;
        const tcflag_t i = settings_.c_iflag;
        if (!(i & IGNBRK)) {
            if (i & PARMRK)
                input_ += std::string("\xFF\x00\x00", 3);
            else
                input_ += '\0';
        }
    });
}

void SimulatedUart::SetLine(int line, bool on) {
    {
        std::lock_guard lock(mutex_);
        // The bytes that left before the change left at the old flow.
        AdvanceLocked(Clock::now());
        if (((lines_ & line) != 0) == on)
            return;
        lines_ = on ? (lines_ | line) : (lines_ & ~line);
        if (line == TIOCM_CTS)
            ++counters_.cts;
        else if (line == TIOCM_DSR)
            ++counters_.dsr;
        else if (line == TIOCM_CD)
            ++counters_.dcd;
        else if (line == TIOCM_RNG && !on)
            ++counters_.rng;
    }
    Notify();
}

void SimulatedUart::RingPulse() {
    ChangeThenNotify([&] { ++counters_.rng; });
}

void SimulatedUart::HangUp() {
    ChangeThenNotify([&] { hungUp_ = true; });
}

std::string SimulatedUart::TakeSent() {
    std::lock_guard lock(mutex_);
    AdvanceLocked(Clock::now());
    return std::exchange(sent_, {});
}

int SimulatedUart::OutputLines() const {
    std::lock_guard lock(mutex_);
    return lines_ & (TIOCM_DTR | TIOCM_RTS);
}

bool SimulatedUart::IsOpen() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

void SimulatedUart::WithoutModemWaits() {
    std::lock_guard lock(mutex_);
    modemWaits_ = false;
}

void SimulatedUart::WithoutUart() {
    std::lock_guard lock(mutex_);
    portType_ = PORT_UNKNOWN;
    uart_ = false;
}

void SimulatedUart::WithoutPortType() {
    std::lock_guard lock(mutex_);
    portType_ = PORT_UNKNOWN;
}

// --- The system calls -------------------------------------------------------------------------

int SimulatedUart::Open(const std::string& path, int) {
    std::uint32_t error = 0;
    if (faults_.Strikes("open", error))
        return Fail(static_cast<int>(error));
    std::lock_guard lock(mutex_);
    if (path != path_)
        return Fail(ENOENT);
    if (fd_ >= 0)
        return Fail(EBUSY);
    fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd_ < 0)
        return -1;
    // A new opener starts with a fresh line: nothing queued either way.
    input_.clear();
    output_.clear();
    hungUp_ = false;
    return fd_;
}

int SimulatedUart::Close(int fd) {
    std::uint32_t error = 0;
    const bool struck = faults_.Strikes("close", error);
    {
        std::lock_guard lock(mutex_);
        if (fd < 0 || fd != fd_)
            return Fail(EBADF);
        // Like the kernel's close, a failing one still releases the descriptor.
        close(fd_);
        fd_ = -1;
        locked_ = false;
        ++wakeCount_;
    }
    modemChanged_.notify_all();
    return struck ? Fail(static_cast<int>(error)) : 0;
}

int SimulatedUart::Lock(int fd) {
    if (!Begin("flock", fd))
        return -1;
    std::lock_guard lock(mutex_);
    if (locked_)
        return Fail(EWOULDBLOCK);
    locked_ = true;
    return 0;
}

int SimulatedUart::SetExclusive(int fd, bool exclusive) {
    return Begin(exclusive ? "TIOCEXCL" : "TIOCNXCL", fd) ? 0 : -1;
}

int SimulatedUart::PortType(int fd, int& type) {
    if (!Begin("TIOCGSERIAL", fd))
        return -1;
    std::lock_guard lock(mutex_);
    type = portType_;
    return 0;
}

ssize_t SimulatedUart::Read(int fd, void* buffer, std::size_t count) {
    if (!Begin("read", fd))
        return -1;
    std::lock_guard lock(mutex_);
    if (!uart_)
        return Fail(EIO);
    if (input_.empty())
        return hungUp_ ? 0 : Fail(EAGAIN);
    const std::size_t n = std::min(count, input_.size());
    std::memcpy(buffer, input_.data(), n);
    input_.erase(0, n);
    return static_cast<ssize_t>(n);
}

ssize_t SimulatedUart::Write(int fd, const void* buffer, std::size_t count) {
    if (!Begin("write", fd))
        return -1;
    std::lock_guard lock(mutex_);
    if (!uart_ || hungUp_)
        return Fail(EIO);
    AdvanceLocked(Clock::now());
    const std::size_t room = outputCapacity - std::min(outputCapacity, output_.size());
    if (room == 0)
        return Fail(EAGAIN);
    const std::size_t n = std::min(count, room);
    // The clock of a queue that was empty starts with its first byte.
    if (output_.empty())
        credit_ = 0;
    output_.append(static_cast<const char*>(buffer), n);
    return static_cast<ssize_t>(n);
}

int SimulatedUart::Poll(pollfd* fds, nfds_t count, const timespec* timeout) {
    std::uint32_t error = 0;
    if (faults_.Strikes("ppoll", error))
        return Fail(static_cast<int>(error));
    const auto start = Clock::now();
    const auto deadline = timeout == nullptr ? Clock::time_point::max()
                                             : start + std::chrono::seconds(timeout->tv_sec) +
                                                   std::chrono::nanoseconds(timeout->tv_nsec);
    std::vector<pollfd> real(fds, fds + count);
    for (;;) {
        int ready = 0;
        Clock::duration nextChange = Clock::duration::max();
        {
            std::lock_guard lock(mutex_);
            AdvanceLocked(Clock::now());
            for (nfds_t i = 0; i < count; ++i) {
                fds[i].revents = 0;
                if (fds[i].fd < 0 || fds[i].fd != fd_)
                    continue;
                short revents = 0;
                if ((fds[i].events & POLLIN) && !input_.empty())
                    revents |= POLLIN;
                if ((fds[i].events & POLLOUT) && output_.size() < outputCapacity && uart_)
                    revents |= POLLOUT;
                if (hungUp_)
                    revents |= POLLHUP;
                fds[i].revents = revents;
                if (revents != 0)
                    ++ready;
                if (fds[i].events & POLLOUT)
                    nextChange = std::min(nextChange, UntilRoomLocked());
                // The simulation's descriptor wakes the sleep below when anything changes.
                real[i] = {fds[i].fd, POLLIN, 0};
            }
        }
        const auto now = Clock::now();
        auto wakeAt = deadline;
        if (ready > 0)
            wakeAt = now;
        else if (nextChange != Clock::duration::max())
            wakeAt = std::min(deadline, now + nextChange);
        timespec limit{};
        const bool limited = wakeAt != Clock::time_point::max();
        if (limited) {
            const auto left = std::max(wakeAt - now, Clock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            limit.tv_sec = static_cast<time_t>(ns / 1000000000);
            limit.tv_nsec = static_cast<long>(ns % 1000000000);
        }
        const int got = ppoll(real.data(), count, limited ? &limit : nullptr, nullptr);
        if (got < 0)
            return -1;
        int realReady = 0;
        for (nfds_t i = 0; i < count; ++i) {
            bool simulated = false;
            {
                std::lock_guard lock(mutex_);
                simulated = fds[i].fd >= 0 && fds[i].fd == fd_;
            }
            if (simulated) {
                if (real[i].revents & POLLIN) {
                    std::uint64_t n = 0;
                    [[maybe_unused]] ssize_t r = read(fds[i].fd, &n, sizeof n);
                }
            } else {
                fds[i].revents = real[i].revents;
                if (fds[i].revents != 0)
                    ++realReady;
            }
        }
        if (ready > 0 || realReady > 0)
            return ready + realReady;
        if (Clock::now() >= deadline)
            return 0;
    }
}

int SimulatedUart::Flush(int fd, int queue) {
    if (!Begin("tcflush", fd))
        return -1;
    std::lock_guard lock(mutex_);
    if (queue == TCIFLUSH || queue == TCIOFLUSH)
        input_.clear();
    if (queue == TCOFLUSH || queue == TCIOFLUSH) {
        AdvanceLocked(Clock::now());
        output_.clear();
    }
    return 0;
}

int SimulatedUart::GetAttr(int fd, termios& settings) {
    if (!Begin("tcgetattr", fd))
        return -1;
    std::lock_guard lock(mutex_);
    settings = settings_;
    return 0;
}

int SimulatedUart::SetAttr(int fd, const termios& settings) {
    if (!Begin("tcsetattr", fd))
        return -1;
    std::lock_guard lock(mutex_);
    AdvanceLocked(Clock::now());
    settings_ = settings;
    customRate_ = 0;
    return 0;
}

int SimulatedUart::SetCustomRate(int fd, std::uint32_t rate) {
    if (!Begin("TCSETS2", fd))
        return -1;
    std::lock_guard lock(mutex_);
    AdvanceLocked(Clock::now());
    customRate_ = rate;
    return 0;
}

int SimulatedUart::InputCount(int fd, int& count) {
    if (!Begin("TIOCINQ", fd))
        return -1;
    std::lock_guard lock(mutex_);
    count = static_cast<int>(input_.size());
    return 0;
}

int SimulatedUart::OutputCount(int fd, int& count) {
    if (!Begin("TIOCOUTQ", fd))
        return -1;
    std::lock_guard lock(mutex_);
    AdvanceLocked(Clock::now());
    count = static_cast<int>(output_.size());
    return 0;
}

int SimulatedUart::ModemLines(int fd, int& bits) {
    if (!Begin("TIOCMGET", fd))
        return -1;
    std::lock_guard lock(mutex_);
    if (!uart_)
        return Fail(EIO);
    bits = lines_;
    return 0;
}

int SimulatedUart::SetModemLines(int fd, int bits) {
    if (!Begin("TIOCMBIS", fd))
        return -1;
    std::lock_guard lock(mutex_);
    lines_ |= bits & (TIOCM_DTR | TIOCM_RTS);
    return 0;
}

int SimulatedUart::ClearModemLines(int fd, int bits) {
    if (!Begin("TIOCMBIC", fd))
        return -1;
    std::lock_guard lock(mutex_);
    lines_ &= ~(bits & (TIOCM_DTR | TIOCM_RTS));
    return 0;
}

void SimulatedUart::BeforeNextModemWait(std::function<void()> change) {
    std::lock_guard lock(mutex_);
    beforeModemWait_ = std::move(change);
}

int SimulatedUart::WaitModemChange(int fd, int lines) {
    if (!Begin("TIOCMIWAIT", fd))
        return -1;
    std::function<void()> change;
    {
        std::lock_guard lock(mutex_);
        change = std::exchange(beforeModemWait_, nullptr);
    }
    if (change)
        change();
    std::unique_lock lock(mutex_);
    if (!modemWaits_)
        return Fail(ENOTTY);
    const serial_icounter_struct before = counters_;
    const unsigned wakes = wakeCount_;
    auto changed = [&] {
        return ((lines & TIOCM_CTS) && counters_.cts != before.cts) ||
               ((lines & TIOCM_DSR) && counters_.dsr != before.dsr) ||
               ((lines & TIOCM_CD) && counters_.dcd != before.dcd) ||
               ((lines & TIOCM_RNG) && counters_.rng != before.rng);
    };
    modemChanged_.wait(lock, [&] { return changed() || wakeCount_ != wakes || hungUp_; });
    if (changed())
        return 0;
    return Fail(hungUp_ ? EIO : EINTR);
}

void SimulatedUart::WakeModemWait(pthread_t) {
    {
        std::lock_guard lock(mutex_);
        ++wakeCount_;
    }
    modemChanged_.notify_all();
}

int SimulatedUart::Counters(int fd, serial_icounter_struct& counters) {
    if (!Begin("TIOCGICOUNT", fd))
        return -1;
    std::lock_guard lock(mutex_);
    counters = counters_;
    return 0;
}

} // namespace serial
