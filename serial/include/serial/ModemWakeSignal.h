// A port's modem watch waits in the system for a change of the modem lines. On POSIX that wait
// (TIOCMIWAIT) watches no descriptor, and only a signal without a restart flag ends it. A
// signal's handler belongs to the whole process, so the component takes none by itself: the
// program names the signal and claims it once, in main, before it opens a port. Windows'
// driver ends the wait itself, and there is nothing to claim.
#pragma once

namespace serial {

// The signal a program gives the component unless it uses that one itself: SIGRTMIN + 4 on
// POSIX; 0, none, on Windows.
int DefaultModemWakeSignal();

// Installs an empty handler for `signal`, without SA_RESTART, and lets ports open on the
// system's devices; until then opening one raises std::logic_error. Raises std::logic_error
// when a signal was claimed already or when `signal` has a handler of someone else's, and
// std::system_error when the system refuses the signal. Does nothing on Windows.
void ClaimModemWakeSignal(int signal);

} // namespace serial
