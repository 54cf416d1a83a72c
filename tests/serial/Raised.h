// The port error an operation raises; a test failure, and error 0, when it raised none.
#pragma once

#include "serial/EComPort.h"

#include <gtest/gtest.h>

template <typename F> EComPort Raised(F f) {
    try {
        f();
    } catch (const EComPort& e) {
        return e;
    }
    ADD_FAILURE() << "no error raised";
    return EComPort(0);
}
