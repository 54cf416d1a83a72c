// A serial port in memory behind the POSIX backend's system-call interface, for what a
// pseudo-terminal never shows: an output queue that drains at the baud rate (and stops
// while CTS is low under hardware flow control), modem lines a test raises and lowers, the
// driver's interrupt counters (line changes, ring pulses, framing, parity, overrun and
// break errors) with the error marks the terminal layer puts in the data, a driver without
// modem-change waits, and port nodes with no UART behind them. Its descriptor is an eventfd
// that the simulation signals, so the backend's ppoll() sleeps on it like on a device.
#pragma once

#include "CallFault.h"
#include "posix/PosixSys.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

namespace serial {

class SimulatedUart : public PosixSys {
public:
    using Clock = std::chrono::steady_clock;

    explicit SimulatedUart(std::string path = "/dev/ttySIM0");
    ~SimulatedUart() override;

    const std::string& Path() const { return path_; }

    // --- The far end and the line -----------------------------------------------------------
    // Bytes that arrive on the line.
    void Receive(const std::string& bytes);
    // A byte that arrives with a framing or parity error, an overrun (a byte lost because the
    // UART was not read in time) and a break: counted, and marked in the data as the
    // terminal layer does for the settings in force.
    void ReceiveFrameError(char byte);
    void ReceiveParityError(char byte);
    void Overrun();
    void ReceiveBreak();
    // Modem input lines (TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RNG).
    void SetLine(int line, bool on);
    // A ring pulse that has ended before anyone could read the line: only the counter shows it.
    void RingPulse();
    // Runs `change` once, at the start of the next modem-change wait, before the wait takes
    // the counters it compares with: a change between a look at the lines and the wait.
    void BeforeNextModemWait(std::function<void()> change);
    // The device goes away (an adapter pulled out).
    void HangUp();
    // Bytes that have left on the line so far; taken out of the record.
    std::string TakeSent();
    // The output lines (TIOCM_DTR, TIOCM_RTS) as the backend set them.
    int OutputLines() const;
    // Whether a program has the device open.
    bool IsOpen() const;
    // Bytes per second the output queue drains at, from the line settings in force.
    double BytesPerSecond() const;

    // --- What kind of port ------------------------------------------------------------------
    // The driver has no modem-change waits: TIOCMIWAIT fails with ENOTTY.
    void WithoutModemWaits();
    // A node with no UART behind it: the driver reports no port type, and line status and
    // data fail with EIO.
    void WithoutUart();
    // A driver that leaves the port type unset on a working port.
    void WithoutPortType();
    // Calls of the thread that arms it fail as it says; the error is an errno value.
    CallFault& Faults() { return faults_; }

    // --- The system calls -------------------------------------------------------------------
    int Open(const std::string& path, int flags) override;
    int Close(int fd) override;
    int Lock(int fd) override;
    int SetExclusive(int fd, bool exclusive) override;
    int PortType(int fd, int& type) override;
    ssize_t Read(int fd, void* buffer, std::size_t count) override;
    ssize_t Write(int fd, const void* buffer, std::size_t count) override;
    int Poll(pollfd* fds, nfds_t count, const timespec* timeout) override;
    int Flush(int fd, int queue) override;
    int GetAttr(int fd, termios& settings) override;
    int SetAttr(int fd, const termios& settings) override;
    int SetCustomRate(int fd, std::uint32_t rate) override;
    int InputCount(int fd, int& count) override;
    int OutputCount(int fd, int& count) override;
    int ModemLines(int fd, int& bits) override;
    int SetModemLines(int fd, int bits) override;
    int ClearModemLines(int fd, int bits) override;
    int WaitModemChange(int fd, int lines) override;
    void WakeModemWait(pthread_t thread) override;
    int Counters(int fd, serial_icounter_struct& counters) override;

private:
    // Starts a call on the open descriptor: counts it for fault injection and checks the
    // descriptor. Returns false with errno set when the call must fail.
    bool Begin(const char* call, int fd);
    bool Flowing() const;
    double BytesPerSecondLocked() const;
    // Moves the bytes that have left the line since the last look out of the output queue.
    void AdvanceLocked(Clock::time_point now);
    // Adds received bytes as the terminal layer hands them to a reader.
    void DeliverLocked(const std::string& bytes);
    void MarkedLocked(char byte, bool inpckMarks);
    void Notify();
    // Makes a change under the lock, then wakes whoever waits on the device.
    template <typename Change> void ChangeThenNotify(Change change) {
        {
            std::lock_guard lock(mutex_);
            change();
        }
        Notify();
    }
    // Time until the output queue next frees room; max when it will not by itself.
    Clock::duration UntilRoomLocked() const;

    const std::string path_;
    static constexpr std::size_t outputCapacity = 4096;

    mutable std::mutex mutex_;
    std::condition_variable modemChanged_;
    int fd_ = -1;
    bool locked_ = false;
    int portType_ = PORT_16550A;
    bool uart_ = true;
    bool modemWaits_ = true;
    bool hungUp_ = false;
    termios settings_{};
    std::uint32_t customRate_ = 0;
    std::string input_;
    std::string output_;
    std::string sent_;
    Clock::time_point lastAdvance_;
    double credit_ = 0;
    int lines_ = 0;
    serial_icounter_struct counters_{};
    unsigned wakeCount_ = 0;
    std::function<void()> beforeModemWait_;
    CallFault faults_;
};

} // namespace serial
