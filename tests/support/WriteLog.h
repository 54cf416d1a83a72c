#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "serial/PortLink.h"

class TCustomComPort;

// The spooler's writes to its printer's port as its own thread makes them, taken by a listener
// linked to the port: when each write began and when it had been written. A pause measured
// between two writes is the spooler's own: a busy machine can only lengthen it, and it does
// not depend on when the printer's side read the bytes.
class WriteLog {
public:
    using Clock = std::chrono::steady_clock;

    // Listens from now until destroyed; the port must outlive the log.
    explicit WriteLog(TCustomComPort& port);
    ~WriteLog();
    WriteLog(const WriteLog&) = delete;
    WriteLog& operator=(const WriteLog&) = delete;

    // Everything written, in order.
    std::string Bytes() const;
    // Milliseconds from the end of the write holding the last byte of `before` to the start of
    // the write holding the first byte of `after`, found after it; 0 when one write holds both.
    // Fails the test when either is missing.
    double Gap(const std::string& before, const std::string& after) const;

private:
    struct Write {
        Clock::time_point began;
        Clock::time_point ended;
        std::string bytes;
    };
    // The write holding the byte at `offset` of Bytes().
    std::size_t WriteAt(std::size_t offset) const;

    TCustomComPort& port_;
    PortLink link_;
    Clock::time_point began_;
    std::vector<Write> writes_;
};
