#pragma once

#include <optional>
#include <termios.h>

// Single key presses from the terminal on standard input, for the operator's
// insert/remove/quit keys. Only used when standard input is a terminal and the
// simulator runs in its foreground; the terminal's settings are restored on exit.
namespace cardsim {

class TerminalKeys {
public:
    // True when standard input is a terminal whose foreground is this process.
    static bool Available();

    // Throws std::system_error when the terminal cannot be switched to key mode.
    TerminalKeys();
    ~TerminalKeys();
    TerminalKeys(const TerminalKeys&) = delete;
    TerminalKeys& operator=(const TerminalKeys&) = delete;

    int Fd() const { return 0; }
    // The key pressed, or nothing at end of input (the terminal went away).
    std::optional<char> Read();

private:
    termios saved_{};
};

} // namespace cardsim
