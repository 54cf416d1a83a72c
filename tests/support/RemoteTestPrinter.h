#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>

#include "HostWire.h"
#include "PrinterBytes.h"

// The test printer of a Windows test program under wine: a PtyTestPrinter in the host's far
// end (PrinterServer), whose device wine maps onto the COM port this printer names. Same
// calls, same meaning; each is one request over loopback, so any thread may make them.
// Throws std::runtime_error when the far end cannot be reached or refuses a call.
class RemoteTestPrinter {
public:
    using Clock = std::chrono::steady_clock;

    RemoteTestPrinter();
    ~RemoteTestPrinter();
    RemoteTestPrinter(const RemoteTestPrinter&) = delete;
    RemoteTestPrinter& operator=(const RemoteTestPrinter&) = delete;

    // The port's name, "COMn": the spooler opens it as its printer's device.
    const std::string& DevicePath() const { return port_; }

    void SetInsertAfter(int requests);
    void SetRemoveAfter(int requests);
    void Script(std::deque<std::string> replies);
    void Send(const std::string& bytes);

    std::string Received() const;
    // On this program's clock, from the far end's arrival time and when the printer was made
    // there; the loopback's delay shifts all arrivals alike, so spans between them hold.
    Clock::time_point ArrivalOf(std::size_t offset) const;
    int StatusRequests() const;
    std::string CardBytes() const { return printer::CardBytesOf(Received()); }
    void Clear();
    bool WaitFor(const std::string& needle, std::chrono::milliseconds timeout) const;

    void Unplug();
    void StallAfter(const std::string& needle);
    bool Stalled() const;
    void Resume();

private:
    hostwire::Message Call(hostwire::Message request) const;
    // A call on this printer: its name, this printer, then the arguments.
    hostwire::Message On(const std::string& call, hostwire::Message arguments = {}) const;

    std::string id_;
    std::string port_;
    Clock::time_point created_;
};
