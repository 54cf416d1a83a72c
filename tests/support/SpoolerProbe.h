#pragma once

#include <QDate>
#include <optional>

#include "app/core/Spooler.h"

// The tests' and benchmarks' one way into a Spooler's private state: its settings, its port,
// its timer and the steps of its cycle. Product code never uses it.
class SpoolerProbe {
public:
    explicit SpoolerProbe(Spooler& spooler) : s_(spooler) {}

    qint32 Posto() const { return s_.Posto; }
    qint32 Protocolo() const { return s_.Protocolo; }
    qint32 OffsetInicial() const { return s_.OffsetInicial; }
    QDate DataValor() const { return s_.DataValor; }
    TComPort& Port() { return s_.cpcert; }
    db::TDbConnection& Connection() { return s_.cn; }

    // One polling cycle, called directly: an error leaves it.
    void Cycle() { s_.ttTimer(); }
    void StartPolling() { s_.tt.start(); }

    // The cycle's database steps, for the cost of a print job's statements without its card:
    // takes the next job, logs it, closes the queue and deletes the job. False when the queue
    // is empty.
    bool TakeAndLogNextJob() {
        const std::optional<Spooler::Job> job = s_.OpenQueue();
        if (job)
            s_.LogJob(*job);
        s_.CloseQueue();
        if (!job)
            return false;
        s_.LastId = job->id;
        s_.DeleteLastJob();
        return true;
    }

private:
    Spooler& s_;
};
