#include "tools/pty/PseudoTerminal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace cardsim {

namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        Fail("cannot open a pseudo-terminal");
    }
    try {
        if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
            Fail("cannot unlock the pseudo-terminal");
        }
        const char* name = ptsname(master_);
        if (name == nullptr) {
            Fail("cannot name the pseudo-terminal");
        }
        slavePath_ = name;
        slave_ = open(name, O_RDWR | O_NOCTTY);
        if (slave_ < 0) {
            Fail("cannot open the pseudo-terminal's device");
        }
        // Raw bytes both ways, at the printer's nominal 9600 8N1.
        termios settings{};
        if (tcgetattr(slave_, &settings) != 0) {
            Fail("cannot read the pseudo-terminal's settings");
        }
        cfmakeraw(&settings);
        settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
        settings.c_cflag |= CS8 | CLOCAL | CREAD;
        cfsetispeed(&settings, B9600);
        cfsetospeed(&settings, B9600);
        if (tcsetattr(slave_, TCSANOW, &settings) != 0) {
            Fail("cannot set the pseudo-terminal's settings");
        }
#ifdef __linux__
        watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch_ >= 0 && inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE) < 0) {
            close(watch_);
            watch_ = -1;
        }
#endif
        const int flags = fcntl(master_, F_GETFL);
        if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
            Fail("cannot make the pseudo-terminal non-blocking");
        }
    } catch (...) {
        if (watch_ >= 0) {
            close(watch_);
        }
        if (slave_ >= 0) {
            close(slave_);
        }
        close(master_);
        throw;
    }
}

PseudoTerminal::~PseudoTerminal() {
    if (watch_ >= 0) {
        close(watch_);
    }
    close(slave_);
    close(master_);
}

std::size_t PseudoTerminal::Read(std::uint8_t* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = read(master_, buffer, size);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        Fail("cannot read from the pseudo-terminal");
    }
}

bool PseudoTerminal::Write(std::uint8_t byte) {
    for (;;) {
        const ssize_t put = write(master_, &byte, 1);
        if (put == 1) {
            return true;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            return false;
        }
        Fail("cannot write a reply to the pseudo-terminal");
    }
}

std::vector<DeviceUse> PseudoTerminal::CheckUse() {
    std::vector<DeviceUse> changes;
#ifdef __linux__
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = read(watch_, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        for (char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->mask & IN_OPEN) {
                if (openers_++ == 0) {
                    changes.push_back(DeviceUse::Opened);
                }
            } else if ((event->mask & IN_CLOSE) && openers_ > 0 && --openers_ == 0) {
                ioctl(slave_, TIOCNXCL);
                changes.push_back(DeviceUse::Closed);
            }
            at += sizeof(inotify_event) + event->len;
        }
    }
#endif
    return changes;
}

} // namespace cardsim
