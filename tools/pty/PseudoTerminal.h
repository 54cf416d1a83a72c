#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal pair whose slave side stands for the printer's serial port. The
// simulator keeps the slave open itself, so the spooler can open and close the device
// as often as it likes without the master seeing a hang-up.
//
// A serial port opener may put the device in exclusive mode, which outlives its close
// while the pair exists and would make every later open fail. On Linux the simulator
// watches the device's opens and closes and lifts that mode once the last other
// opener has closed it, as a real port would be free again.
namespace cardsim {

enum class DeviceUse {
    Opened, // another program opened the device, none had it open before
    Closed, // the last other program closed it
};

class PseudoTerminal {
public:
    // Throws std::system_error naming the step that failed.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int MasterFd() const { return master_; }
    // Readable when the device was opened or closed; -1 when this cannot be watched.
    int WatchFd() const { return watch_; }
    // Takes in the opens and closes seen since the last call.
    std::vector<DeviceUse> CheckUse();
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
    int watch_ = -1;
    int openers_ = 0; // other open descriptions of the device
    std::string slavePath_;
};

} // namespace cardsim
