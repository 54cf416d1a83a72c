#pragma once

#include <gtest/gtest.h>
#include <memory>

#include "MainWindow.h"
#include "Station.h"

// A station with its window started and polling stopped, the printer's initialisation
// sequence received: ready for cycles run by hand.
class StartedStation {
protected:
    void StartStation(Backend backend, int protocol = 0) {
        st = std::make_unique<Station>(backend);
        st->WriteDefaults(protocol);
        w = st->StartStopped();
        ASSERT_FALSE(w->Terminated()) << st->messages.join("|").toStdString();
        ASSERT_TRUE(st->PrinterInitialised());
    }
    // The window before its station.
    void StopStation() {
        w.reset();
        st.reset();
    }

    std::unique_ptr<Station> st;
    std::unique_ptr<Tmain> w;
};

// The same on the backend of the test's parameter.
class StationOnBackend : public ::testing::TestWithParam<Backend>, protected StartedStation {
protected:
    void SetUp() override {
        PLINOVA_REQUIRE_BACKEND(GetParam());
        StartStation(GetParam());
    }
    void TearDown() override { StopStation(); }
};
