#include "posix/ReadTimeout.h"

#include <algorithm>

namespace serial {

ReadTimeout::ReadTimeout(const TCommTimeouts& t, std::uint32_t count, Clock::time_point start)
    : count_(count), lastByte_(start) {
    const auto ms = [](std::uint64_t n) { return std::chrono::milliseconds(n); };
    atOnce_ = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
              t.ReadTotalTimeoutConstant == 0;
    firstByteEnds_ = t.ReadIntervalTimeout == MAXDWORD &&
                     t.ReadTotalTimeoutMultiplier == MAXDWORD && t.ReadTotalTimeoutConstant != 0;
    if (firstByteEnds_) {
        hasTotal_ = true;
        total_ = start + ms(t.ReadTotalTimeoutConstant);
    } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
        hasTotal_ = true;
        total_ = start + ms(std::uint64_t{t.ReadTotalTimeoutMultiplier} * count +
                            t.ReadTotalTimeoutConstant);
    }
    if (t.ReadIntervalTimeout != MAXDWORD)
        interval_ = ms(t.ReadIntervalTimeout);
}

void ReadTimeout::BytesCame(std::uint32_t got, Clock::time_point at) {
    if (got > got_) {
        got_ = got;
        lastByte_ = at;
    }
}

bool ReadTimeout::Ends(Clock::time_point now) const {
    return got_ >= count_ || atOnce_ || (firstByteEnds_ && got_ > 0) || now >= Deadline();
}

ReadTimeout::Clock::time_point ReadTimeout::Deadline() const {
    auto deadline = hasTotal_ ? total_ : Clock::time_point::max();
    if (interval_.count() != 0 && got_ > 0)
        deadline = std::min(deadline, lastByte_ + interval_);
    return deadline;
}

} // namespace serial
