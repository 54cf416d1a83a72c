// The kernel behind the POSIX backend's system-call interface.
#include "posix/PosixSys.h"

#include "posix/PosixBaudRate.h"
#include "serial/ModemWakeSignal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <unistd.h>

namespace serial {
namespace {

// The signal the program claimed; 0 until it has. Set once its handler is installed, so that
// no port sends it before.
std::atomic<int> wakeSignal{0};
std::mutex claiming;

class KernelCalls : public PosixSys {
public:
    int Open(const std::string& path, int flags) override {
        // Found at the first port a program opens, also one whose device has no modem lines
        // (a pseudo-terminal in a test), not first on a station with a real port.
        if (wakeSignal.load() == 0)
            throw std::logic_error("no port opens before the program claims the modem wake "
                                   "signal (serial::ClaimModemWakeSignal)");
        return open(path.c_str(), flags);
    }
    int Close(int fd) override { return close(fd); }
    int Lock(int fd) override { return flock(fd, LOCK_EX | LOCK_NB); }
    int SetExclusive(int fd, bool exclusive) override {
        return ioctl(fd, exclusive ? TIOCEXCL : TIOCNXCL);
    }
    int PortType(int fd, int& type) override {
        serial_struct info{};
        if (ioctl(fd, TIOCGSERIAL, &info) != 0)
            return -1;
        type = info.type;
        return 0;
    }
    ssize_t Read(int fd, void* buffer, std::size_t count) override {
        return read(fd, buffer, count);
    }
    ssize_t Write(int fd, const void* buffer, std::size_t count) override {
        return write(fd, buffer, count);
    }
    int Poll(pollfd* fds, nfds_t count, const timespec* timeout) override {
        return ppoll(fds, count, timeout, nullptr);
    }
    int Flush(int fd, int queue) override { return tcflush(fd, queue); }
    int GetAttr(int fd, termios& settings) override { return tcgetattr(fd, &settings); }
    int SetAttr(int fd, const termios& settings) override {
        return tcsetattr(fd, TCSANOW, &settings);
    }
    int SetCustomRate(int fd, std::uint32_t rate) override {
        if (const int error = SetArbitraryBaudRate(fd, rate); error != 0) {
            errno = error;
            return -1;
        }
        return 0;
    }
    int InputCount(int fd, int& count) override { return ioctl(fd, TIOCINQ, &count); }
    int OutputCount(int fd, int& count) override { return ioctl(fd, TIOCOUTQ, &count); }
    int ModemLines(int fd, int& bits) override { return ioctl(fd, TIOCMGET, &bits); }
    int SetModemLines(int fd, int bits) override { return ioctl(fd, TIOCMBIS, &bits); }
    int ClearModemLines(int fd, int bits) override { return ioctl(fd, TIOCMBIC, &bits); }
    int WaitModemChange(int fd, int lines) override { return ioctl(fd, TIOCMIWAIT, lines); }
    void WakeModemWait(pthread_t thread) override { pthread_kill(thread, wakeSignal.load()); }
    int Counters(int fd, serial_icounter_struct& counters) override {
        return ioctl(fd, TIOCGICOUNT, &counters);
    }
};

} // namespace

PosixSys& KernelSys() {
    static KernelCalls sys;
    return sys;
}

int DefaultModemWakeSignal() {
    return SIGRTMIN + 4;
}

void ClaimModemWakeSignal(int signal) {
    std::lock_guard lock(claiming);
    if (wakeSignal.load() != 0)
        throw std::logic_error("the modem wake signal is claimed already");
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) != 0)
        throw std::system_error(errno, std::generic_category(), "modem wake signal");
    if ((before.sa_flags & SA_SIGINFO) != 0 ||
        (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN))
        throw std::logic_error("the modem wake signal has a handler of someone else's");
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    if (sigaction(signal, &action, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "modem wake signal");
    wakeSignal = signal;
}

} // namespace serial
