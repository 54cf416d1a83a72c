// The system calls the POSIX backend makes on a serial device, behind one small interface:
// the kernel is its real implementation; tests put a simulated UART (or a layer that fails
// chosen calls) in its place, so that the same backend code runs on pseudo-terminals, on
// the simulation and on real hardware. Every call returns -1 and sets errno on failure, as
// the kernel does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <termios.h>

namespace serial {

class PosixSys {
public:
    virtual ~PosixSys() = default;

    // Opening: open(2), close(2), an exclusive advisory lock (flock), the terminal's
    // exclusive mode on or off (TIOCEXCL, TIOCNXCL) and the serial driver's port type
    // (TIOCGSERIAL; fails with ENOTTY on a terminal that has no serial driver, such as a
    // pseudo-terminal).
    virtual int Open(const std::string& path, int flags) = 0;
    virtual int Close(int fd) = 0;
    virtual int Lock(int fd) = 0;
    virtual int SetExclusive(int fd, bool exclusive) = 0;
    virtual int PortType(int fd, int& type) = 0;

    // Data: read(2) and write(2) on the non-blocking descriptor, ppoll(2) over the device
    // and the backend's own wake-up descriptors, and tcflush(3).
    virtual ssize_t Read(int fd, void* buffer, std::size_t count) = 0;
    virtual ssize_t Write(int fd, const void* buffer, std::size_t count) = 0;
    virtual int Poll(pollfd* fds, nfds_t count, const timespec* timeout) = 0;
    virtual int Flush(int fd, int queue) = 0;

    // Line settings: tcgetattr(3), tcsetattr(3) with TCSANOW, and a rate termios has no
    // constant for (TCSETS2 with BOTHER).
    virtual int GetAttr(int fd, termios& settings) = 0;
    virtual int SetAttr(int fd, const termios& settings) = 0;
    virtual int SetCustomRate(int fd, std::uint32_t rate) = 0;

    // Queues: bytes received and not read (TIOCINQ), bytes not yet sent (TIOCOUTQ).
    virtual int InputCount(int fd, int& count) = 0;
    virtual int OutputCount(int fd, int& count) = 0;

    // Modem lines: read (TIOCMGET), raise and lower outputs (TIOCMBIS, TIOCMBIC), wait for
    // a change of the inputs named (TIOCMIWAIT), and the driver's interrupt counters
    // (TIOCGICOUNT: line changes, ring pulses, framing, parity, overrun and break errors).
    virtual int ModemLines(int fd, int& bits) = 0;
    virtual int SetModemLines(int fd, int bits) = 0;
    virtual int ClearModemLines(int fd, int bits) = 0;
    virtual int WaitModemChange(int fd, int lines) = 0;
    // Makes a WaitModemChange that `thread` is blocked in (or about to enter) return with
    // EINTR.
    virtual void WakeModemWait(pthread_t thread) = 0;
    virtual int Counters(int fd, serial_icounter_struct& counters) = 0;
};

// The kernel's system calls; lives for the whole process. Its Open raises std::logic_error
// until the program has claimed the signal that wakes WaitModemChange (ModemWakeSignal.h).
PosixSys& KernelSys();

} // namespace serial
