#pragma once

#include <chrono>
#include <cstddef>
#include <system_error>
#include <thread>

#include "tools/pty/PseudoTerminal.h"

// What the device side of the line sent, read on the master side without waiting; 0 when
// nothing is there. A read fails while nobody holds the device side (the port was closed):
// that too counts as nothing, after `pause`, so that a loop polling the line looks again
// without spinning on the error.
inline std::size_t ReadOrPause(PseudoTerminal& line, void* buffer, std::size_t size,
                               std::chrono::milliseconds pause) {
    try {
        return line.Read(buffer, size);
    } catch (const std::system_error&) {
        std::this_thread::sleep_for(pause);
        return 0;
    }
}
