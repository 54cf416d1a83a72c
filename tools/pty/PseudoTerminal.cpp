#include "tools/pty/PseudoTerminal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// A read or write on the master side that does not wait: taken again when a signal cuts it
// short, 0 when the line has nothing or no room.
template <typename Call> std::size_t WithoutWaiting(Call call, const char* failure) {
    for (;;) {
        const ssize_t done = call();
        if (done >= 0)
            return static_cast<std::size_t>(done);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        Fail(failure);
    }
}

} // namespace

PseudoTerminal::PseudoTerminal(Device device) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        Fail("cannot open a pseudo-terminal");
    try {
        if (grantpt(master_) != 0 || unlockpt(master_) != 0)
            Fail("cannot unlock the pseudo-terminal");
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0)
            Fail("cannot name the pseudo-terminal");
        devicePath_ = name;
        // Settings made on the master side are the device's: raw bytes both ways at the
        // printer's nominal 9600 8N1, before any program opens the device.
        termios settings{};
        if (tcgetattr(master_, &settings) != 0)
            Fail("cannot read the pseudo-terminal's settings");
        cfmakeraw(&settings);
        settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
        settings.c_cflag |= CS8 | CLOCAL | CREAD;
        cfsetispeed(&settings, B9600);
        cfsetospeed(&settings, B9600);
        if (tcsetattr(master_, TCSANOW, &settings) != 0)
            Fail("cannot set the pseudo-terminal's settings");
        const int flags = fcntl(master_, F_GETFL);
        if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
            Fail("cannot make the pseudo-terminal non-blocking");
        if (device == Device::Held) {
            device_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (device_ < 0)
                Fail("cannot open the pseudo-terminal's device");
        }
    } catch (...) {
        close(master_);
        throw;
    }
}

PseudoTerminal::~PseudoTerminal() {
    if (device_ >= 0)
        close(device_);
    CloseMaster();
}

void PseudoTerminal::CloseMaster() {
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

std::size_t PseudoTerminal::Read(void* buffer, std::size_t size) {
    return WithoutWaiting([&] { return read(master_, buffer, size); },
                          "cannot read from the pseudo-terminal");
}

std::size_t PseudoTerminal::Write(const void* data, std::size_t size) {
    return WithoutWaiting([&] { return write(master_, data, size); },
                          "cannot write to the pseudo-terminal");
}

void PseudoTerminal::Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const std::size_t put = Write(bytes.data() + sent, bytes.size() - sent);
        sent += put;
        if (put == 0) {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

std::string PseudoTerminal::Receive(std::size_t count, std::chrono::milliseconds limit) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[4096];
        got.append(buffer, Read(buffer, std::min(sizeof buffer, count - got.size())));
    }
    return got;
}
