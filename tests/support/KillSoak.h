#pragma once

#include <QString>
#include <functional>

#include "TestDatabase.h"

// A station's real program killed at random moments and started again at once, as a station
// lives through crashes and power cuts, with its printer on a pseudo-terminal; once its queue is
// empty, what reached the line and the database is counted. The same run, short, is a test
// (tests/app/KillSoakTest.cpp) and, long, a benchmark (bench/app/KillSoakBench.cpp).
namespace soak {

struct Plan {
    dbtest::Backend backend = dbtest::Backend::SQLite;
    QString program; // the spooler's executable
    int jobs = 10;   // one-line cards with a title, every tenth a drawer job instead
    int kills = 10;  // fewer when the queue is empty first
    unsigned seed = 1;
    // Each kill comes this long after the program was started, drawn evenly from the seed.
    int minDelayMs = 200;
    int maxDelayMs = 4000;
};

struct Counts {
    int cards = 0;   // print jobs queued
    int drawers = 0; // drawer jobs queued
    int kills = 0;
    int starts = 0;
    int left = 0;        // jobs still queued at the end
    int cardsLost = 0;   // print jobs gone from the queue with no printed card on the line
    int cardsTwice = 0;  // print jobs whose lines reached the form feed twice or more
    int unreleased = 0;  // print jobs whose last card was not let go before the next began
    int notLogged = 0;   // print jobs without a history row
    int loggedTwice = 0; // print jobs with two history rows or more
    int pulses = 0;      // drawer pulses on the line
    double seconds = 0;
    QString failure; // why the run could not end as a station would; empty when it did
};

// `progress`, when given, hears a line after each kill.
Counts Run(const Plan& plan, const std::function<void(const QString&)>& progress = {});

} // namespace soak
