#include "Station.h"

#include "CardWatchdog.h"
#include "app/ErrorReport.h"
#include "app/MainWindow.h"

void Handler(const std::function<void()>& handler) {
    report::Run(handler);
}

void Cycle(Spooler& core) {
    const CardWatchdog watchdog(core);
    report::Run([&] { SpoolerProbe(core).Cycle(); });
}

Station::Station(Backend backend) : StationFolder(backend) {
    report::SetSink({[this](const QString& caption, const QString& text) {
                         messages << caption + QStringLiteral(": ") + text;
                     },
                     [](const QString&) { return true; }});
}

Station::~Station() {
    report::ResetSink();
}

std::unique_ptr<Tmain> Station::Start() {
    return std::make_unique<Tmain>(Setup());
}

std::unique_ptr<Tmain> Station::StartStopped() {
    auto w = Start();
    if (!w->Terminated())
        w->Core().StopPolling();
    return w;
}
