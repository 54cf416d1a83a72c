#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// A pseudo-terminal pair standing for a serial line: a program opens the device (the slave
// side) by its path as its serial port, and the owner of the pair plays the far end on the
// master side. The line is raw both ways (no echo, no translation, 8 data bits) at a nominal
// 9600 baud; the master side never blocks. Used by the card printer simulator, the test
// printers and the serial benchmarks.
//
// Held, the pair keeps the device open itself: the line then never hangs up while the
// program closes and opens the device again, and the owner can write on the device's side
// too (`DeviceFd`), as a second program on the same port would.
class PseudoTerminal {
public:
    enum class Device { Held, NotHeld };

    // Throws std::system_error naming the step that failed.
    explicit PseudoTerminal(Device device = Device::Held);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& DevicePath() const { return devicePath_; }
    // -1 once the master was closed.
    int MasterFd() const { return master_; }
    // Non-blocking; -1 when the device is not held.
    int DeviceFd() const { return device_; }

    // Reads what is there without waiting; 0 when nothing is. Throws std::system_error on a
    // read error.
    std::size_t Read(void* buffer, std::size_t size);
    // Writes what the line takes now without waiting; 0 when its buffer is full. Throws
    // std::system_error on any other write error.
    std::size_t Write(const void* data, std::size_t size);
    // Writes every byte to the line from the far end, waiting for room. Throws
    // std::system_error when the line fails.
    void Send(const std::string& bytes);
    // Reads from the far end until `count` bytes came or `limit` has passed; returns what came.
    std::string Receive(std::size_t count,
                        std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

    // Closes the master side, as when the far end of the line goes away: the device hangs up.
    void CloseMaster();

private:
    int master_ = -1;
    int device_ = -1;
    std::string devicePath_;
};
