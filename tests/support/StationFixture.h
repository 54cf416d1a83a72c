#pragma once

#include <gtest/gtest.h>
#include <memory>

#include "Station.h"
#include "app/MainWindow.h"

// A station on the backend of the test's parameter with its window started and polling
// stopped, the printer's initialisation sequence received: ready for cycles run by hand.
class StationOnBackend : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        PLINOVA_REQUIRE_BACKEND(GetParam());
        st = std::make_unique<Station>(GetParam());
        st->WriteDefaults();
        w = st->StartStopped();
        ASSERT_FALSE(w->Terminated()) << st->messages.join("|").toStdString();
        ASSERT_TRUE(st->PrinterInitialised());
    }
    void TearDown() override {
        w.reset();
        st.reset();
    }
    std::unique_ptr<Station> st;
    std::unique_ptr<Tmain> w;
};
