#pragma once

#include <QDate>
#include <functional>
#include <optional>

#include "SpoolerPrivate.h"
#include "app/core/SpoolerView.h"

// The tests' and benchmarks' one way into a Spooler's private state: its settings, its port,
// its timer and the steps of its cycle. Product code never uses it.
class SpoolerProbe {
public:
    explicit SpoolerProbe(Spooler& spooler) : s_(*spooler.d_) {}

    qint32 Posto() const { return s_.Posto; }
    qint32 Protocolo() const { return s_.Protocolo; }
    qint32 OffsetInicial() const { return s_.OffsetInicial; }
    QDate DataValor() const { return s_.DataValor; }
    TComPort& Port() { return s_.cpcert; }
    db::TDbConnection& Connection() { return s_.cn; }

    // One polling cycle, called directly: an error leaves it.
    void Cycle() { s_.ttTimer(); }
    // Runs a handler through the spooler's view, as its timer's tick does: the view reports
    // an error that leaves it (the window, where it reports its own).
    void RunInView(const std::function<void()>& handler) { s_.view_.RunHandler(handler); }
    void StartPolling() { s_.tt.start(); }

private:
    SpoolerPrivate& s_;
};
