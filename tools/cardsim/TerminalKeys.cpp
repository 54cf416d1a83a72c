#include "TerminalKeys.h"

#include <cerrno>
#include <system_error>
#include <unistd.h>

namespace cardsim {

bool TerminalKeys::Available() {
    return isatty(STDIN_FILENO) && tcgetpgrp(STDIN_FILENO) == getpgrp();
}

TerminalKeys::TerminalKeys() {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot read the terminal");
    }
    // Keys without Enter and without echo; Ctrl-C still sends SIGINT.
    termios keys = saved_;
    keys.c_lflag &= ~(ICANON | ECHO);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot set the terminal");
    }
}

TerminalKeys::~TerminalKeys() {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
}

std::optional<char> TerminalKeys::Read() {
    char key = 0;
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, &key, 1);
        if (got == 1) {
            return key;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return std::nullopt;
    }
}

} // namespace cardsim
