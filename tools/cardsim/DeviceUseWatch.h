#pragma once

#include <string>
#include <vector>

// Watches the opens and closes of the simulator's device by other programs.
//
// A serial port opener may put the device in exclusive mode, which outlives its close while
// the pseudo-terminal pair exists and would make every later open fail. On Linux the watch
// lifts that mode once the last other opener has closed the device, as a real port would be
// free again.
namespace cardsim {

enum class DeviceUse {
    Opened, // another program opened the device, none had it open before
    Closed, // the last other program closed it
};

class DeviceUseWatch {
public:
    // `heldFd` is the simulator's own open description of the device at `path`.
    DeviceUseWatch(const std::string& path, int heldFd);
    ~DeviceUseWatch();
    DeviceUseWatch(const DeviceUseWatch&) = delete;
    DeviceUseWatch& operator=(const DeviceUseWatch&) = delete;

    // Readable when the device was opened or closed; -1 when this cannot be watched.
    int Fd() const { return watch_; }
    // Takes in the opens and closes seen since the last call.
    std::vector<DeviceUse> Check();

private:
    int held_;
    int watch_ = -1;
    int openers_ = 0; // other open descriptions of the device
};

} // namespace cardsim
