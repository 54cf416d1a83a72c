#include "tools/cardsim/PseudoTerminal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

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
        const int flags = fcntl(master_, F_GETFL);
        if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
            Fail("cannot make the pseudo-terminal non-blocking");
        }
    } catch (...) {
        if (slave_ >= 0) {
            close(slave_);
        }
        close(master_);
        throw;
    }
}

PseudoTerminal::~PseudoTerminal() {
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

} // namespace cardsim
