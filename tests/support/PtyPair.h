#pragma once

#include <string>

#include "tools/pty/PseudoTerminal.h"

// A pseudo-terminal pair whose device is not held open: the code under test alone opens the
// slave by its path, as a port, while the test plays the far end of the line on the master
// side; when the code closes the device, the line hangs up.
class PtyPair : public PseudoTerminal {
public:
    PtyPair() : PseudoTerminal(Device::NotHeld) {}

    const std::string& SlavePath() const { return DevicePath(); }
    int Master() const { return MasterFd(); }
};
