#pragma once

#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>

#include "app/core/Spooler.h"

// Ends a card print that nothing else would end, well before the test runner's limit: once
// `limit` has passed, the next time the print's waits let events through (after each status
// request), the test fails and the spooler is asked to stop, which ends the wait for a card
// with nothing printed and the wait for removal as if the card were out.
class CardWatchdog {
public:
    explicit CardWatchdog(Spooler& spooler,
                          std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [&spooler, limit] {
            ADD_FAILURE() << "the card print still waited after " << limit.count()
                          << " ms; the spooler was asked to stop";
            spooler.RequestStop();
        });
        timer_.start(limit);
    }

private:
    QTimer timer_;
};
