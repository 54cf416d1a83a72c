#include "Station.h"

#include "CardWatchdog.h"
#include "MainWindow.h"

void Handler(Tmain& window, const std::function<void()>& handler) {
    SpoolerProbe(window.Core()).RunInView(handler);
}

void Cycle(Spooler& core) {
    const CardWatchdog watchdog(core);
    SpoolerProbe probe(core);
    probe.RunInView([&] { probe.Cycle(); });
}

Station::Station(Backend backend)
    : StationFolder(backend),
      reports_({[this](const QString& caption, const QString& text) {
                    messages << caption + QStringLiteral(": ") + text;
                },
                [this](const QString& text) { return !confirm || confirm(text); }}) {}

std::unique_ptr<Tmain> Station::Start() {
    Spooler::Setup setup = Setup();
    setup.syncHost = &comSyncHost_;
    return std::make_unique<Tmain>(std::move(setup), reports_);
}

std::unique_ptr<Tmain> Station::StartStopped() {
    auto w = Start();
    if (!w->Terminated())
        w->Core().StopPolling();
    return w;
}
