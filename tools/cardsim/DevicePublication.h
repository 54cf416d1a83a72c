#pragma once

#include <string>

// Makes the device's path known to scripts: a file holding it and/or a symbolic link
// to it. Both are removed again when the simulator ends.
namespace cardsim {

class DevicePublication {
public:
    // Throws std::runtime_error when the file or the link cannot be made; a link name
    // that exists and is not a symbolic link is left alone and reported.
    DevicePublication(const std::string& device, std::string file, std::string link);
    ~DevicePublication();
    DevicePublication(const DevicePublication&) = delete;
    DevicePublication& operator=(const DevicePublication&) = delete;

private:
    std::string device_;
    std::string file_;
    std::string link_;
};

} // namespace cardsim
