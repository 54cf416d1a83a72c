#pragma once

#include <QStringList>
#include <functional>
#include <memory>

#include "EventLoopWait.h"
#include "PrinterBytes.h"
#include "SpoolerProbe.h"
#include "StationFolder.h"

class Spooler;
class Tmain;

// Runs a window handler as the event loop does: an error that leaves it is reported.
void Handler(const std::function<void()>& handler);
// One polling cycle, run as a timer tick runs it.
void Cycle(Spooler& core);

// A station folder whose spooler runs in the real window, with the window's message boxes
// taken as text while the station exists.
class Station : public StationFolder {
public:
    explicit Station(Backend backend = Backend::SQLite);
    ~Station();

    std::unique_ptr<Tmain> Start();
    // Starts the window with its timer stopped, so that cycles are run by hand.
    std::unique_ptr<Tmain> StartStopped();

    // Warnings and error reports shown, as "caption: text".
    QStringList messages;
};
