// GoogleTest entry for the serial tests that open ports on the system's devices: the program
// claims the modem wake signal first, as every program that opens a port does.
#include "serial/ModemWakeSignal.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    serial::ClaimModemWakeSignal(serial::DefaultModemWakeSignal());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
