// The kernel behind the POSIX backend's system-call interface.
#include "serial/posix/PosixSys.h"

#include "serial/posix/PosixBaudRate.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace serial {
namespace {

// TIOCMIWAIT cannot be woken through any descriptor; a signal without a restart flag ends
// it with EINTR.
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

class KernelCalls : public PosixSys {
public:
    int Open(const std::string& path, int flags) override { return open(path.c_str(), flags); }
    int Close(int fd) override { return close(fd); }
    int Lock(int fd) override { return flock(fd, LOCK_EX | LOCK_NB); }
    int SetExclusive(int fd) override { return ioctl(fd, TIOCEXCL); }
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
    int WaitModemChange(int fd, int lines) override {
        InstallModemWakeHandler();
        return ioctl(fd, TIOCMIWAIT, lines);
    }
    void WakeModemWait(pthread_t thread) override {
        InstallModemWakeHandler();
        pthread_kill(thread, ModemWakeSignal());
    }
    int Counters(int fd, serial_icounter_struct& counters) override {
        return ioctl(fd, TIOCGICOUNT, &counters);
    }
};

} // namespace

PosixSys& KernelSys() {
    static KernelCalls sys;
    return sys;
}

} // namespace serial
