#pragma once

#include "CardPrinter.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

// The trace file: every byte received and sent with its time, one line per read chunk,
// reply or card event, written through at once so a reader can follow it live.
//
//   # plinova-cardsim trace: microseconds since start, direction, bytes in hex
//   # start: 81234567890 microseconds on the monotonic clock
//   1532 rx 10 04 01
//   1604 tx 12
//   352011 ev card-inserted
//
// "rx" lines hold the bytes of one read from the device, "tx" lines one reply byte,
// "ev" lines a change of the card's state (card-inserted, card-released, card-removed,
// card-emptied when a card is pulled out before its release) or of the device's use
// (device-opened, device-closed). Lines starting with "#"
// are comments. The start line lets other programs place the times on their own
// monotonic clock (CLOCK_MONOTONIC, std::chrono::steady_clock).
namespace cardsim {

class TraceWriter {
public:
    // Throws std::system_error when the file cannot be created.
    TraceWriter(const std::string& path, std::chrono::steady_clock::time_point start);
    ~TraceWriter();
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    void Received(Micros at, std::span<const std::uint8_t> bytes);
    void Sent(Micros at, std::uint8_t byte);
    void StateChanged(Micros at, CardState state);
    void DeviceUse(Micros at, bool opened);

private:
    void Line(Micros at, const char* direction, const std::string& rest);

    std::FILE* file_;
    std::string path_;
};

} // namespace cardsim
