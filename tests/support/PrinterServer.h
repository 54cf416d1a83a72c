#pragma once

#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "HostWire.h"

class PtyTestPrinter;

// Test printers for Windows test programs under wine, which have no pseudo-terminals: each
// printer a program asks for is a PtyTestPrinter here, on the host, whose device is mapped
// onto a free COM port of the wine prefix (a link in its dosdevices folder); the program
// drives it over loopback (RemoteTestPrinter, hostwire messages, one request a connection).
class PrinterServer {
public:
    // Throws std::system_error when it cannot listen.
    explicit PrinterServer(std::filesystem::path dosdevices);
    ~PrinterServer();
    PrinterServer(const PrinterServer&) = delete;
    PrinterServer& operator=(const PrinterServer&) = delete;

    // Where it listens: "127.0.0.1:PORT".
    const std::string& Address() const { return address_; }

private:
    struct Printer;

    void Accept();
    void Serve(int connection);
    hostwire::Message Handle(const hostwire::Message& request);
    hostwire::Message NewPrinter();
    std::shared_ptr<Printer> Find(const std::string& id);

    std::filesystem::path dosdevices_;
    int listener_ = -1;
    std::string address_;

    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Printer>> printers_;
    int nextId_ = 1;
    std::condition_variable served_;
    int serving_ = 0; // connections whose thread has not ended
    bool stopping_ = false;

    std::thread acceptor_; // last: it starts once everything above exists
};
