#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A pseudo-terminal pair whose slave side stands for the printer's serial port. The
// simulator keeps the slave open itself, so the spooler can open and close the device
// as often as it likes without the master seeing a hang-up.
namespace cardsim {

class PseudoTerminal {
public:
    // Throws std::system_error naming the step that failed.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Reads what is there without blocking; returns 0 when nothing is.
    // Throws std::system_error on a read error.
    std::size_t Read(std::uint8_t* buffer, std::size_t size);
    // Returns false when the device's input queue is full (nobody reads it).
    // Throws std::system_error on any other write error.
    bool Write(std::uint8_t byte);

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

} // namespace cardsim
