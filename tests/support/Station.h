#pragma once

#include <QStringList>
#include <functional>
#include <memory>

#include "ErrorReport.h"
#include "EventLoopWait.h"
#include "PrinterBytes.h"
#include "QtComSyncHost.h"
#include "SpoolerProbe.h"
#include "StationFolder.h"

class Spooler;
class Tmain;

// Runs a window handler as the event loop does: an error that leaves it is reported where
// the window reports.
void Handler(Tmain& window, const std::function<void()>& handler);
// One polling cycle, run as a timer tick runs it.
void Cycle(Spooler& core);

// A station folder whose spooler runs in the real window, with the window's message boxes
// taken as text, and its port's events delivered through the event loop, as the program has
// them. Its windows must be gone before it.
class Station : public StationFolder {
public:
    explicit Station(Backend backend = Backend::SQLite);

    std::unique_ptr<Tmain> Start();
    // Starts the window with its timer stopped, so that cycles are run by hand.
    std::unique_ptr<Tmain> StartStopped();

    // Warnings and error reports shown, as "caption: text".
    QStringList messages;
    // Answers the window's questions; OK to every one when empty.
    std::function<bool(const QString& text)> confirm;

private:
    report::Reporter reports_;
    QtComSyncHost comSyncHost_{reports_};
};
