// A port set to the slave side of a fresh pseudo-terminal pair, with a plain host holding its
// deliveries until the test runs them; the test opens it.
#pragma once

#include "serial/CPort.h"
#include "serial/ComPlainSyncHost.h"

#include "PtyPair.h"

#include <gtest/gtest.h>

class PtyPortFixture : public ::testing::Test {
protected:
    void SetUp() override {
        port.SetPort(pty.SlavePath());
        port.SetSyncHost(&host);
    }

    PtyPair pty;
    ComPlainSyncHost host;
    TComPort port{nullptr};
};
