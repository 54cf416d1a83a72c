// When a read ends, by the timeout rules of the line: a pure rule on byte counts and times,
// so that it can be tried on any clock.
//   - all-ones interval, both totals 0: ends at once with what is queued;
//   - all-ones interval and multiplier, a constant: ends at the first byte, or empty after
//     the constant;
//   - otherwise multiplier x count + constant (when not both 0) bounds the whole read, and
//     the interval (when neither 0 nor all ones) bounds the gap between two bytes;
//   - all zero: ends only when every byte asked for has come.
#pragma once

#include "ComPlatform.h"

#include <chrono>
#include <cstdint>

namespace serial {

class ReadTimeout {
public:
    using Clock = std::chrono::steady_clock;

    ReadTimeout(const TCommTimeouts& timeouts, std::uint32_t count, Clock::time_point start);

    // Records that `got` bytes (more than before) had come by `at`.
    void BytesCame(std::uint32_t got, Clock::time_point at);
    // Whether the read ends at `now` with the bytes recorded so far.
    bool Ends(Clock::time_point now) const;
    // The time at which the read ends unless more bytes come first; max when only bytes
    // can end it.
    Clock::time_point Deadline() const;
    std::uint32_t Got() const { return got_; }

private:
    std::uint32_t count_;
    std::uint32_t got_ = 0;
    bool atOnce_ = false;
    bool firstByteEnds_ = false;
    bool hasTotal_ = false;
    Clock::time_point total_;
    Clock::duration interval_{0};
    Clock::time_point lastByte_;
};

} // namespace serial
