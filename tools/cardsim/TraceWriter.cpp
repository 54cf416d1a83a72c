#include "TraceWriter.h"

#include "EventText.h"

#include <cerrno>
#include <system_error>

namespace cardsim {

TraceWriter::TraceWriter(const std::string& path, std::chrono::steady_clock::time_point start)
    : file_(std::fopen(path.c_str(), "w")), path_(path) {
    if (file_ == nullptr) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot create the trace file " + path);
    }
    std::fputs("# plinova-cardsim trace: microseconds since start, direction, bytes in hex\n",
               file_);
    std::fprintf(file_, "# start: %lld microseconds on the monotonic clock\n",
                 static_cast<long long>(
                     std::chrono::duration_cast<Micros>(start.time_since_epoch()).count()));
    std::fflush(file_);
}

TraceWriter::~TraceWriter() {
    std::fclose(file_);
}

void TraceWriter::Received(Micros at, std::span<const std::uint8_t> bytes) {
    Line(at, "rx", HexBytes(bytes));
}

void TraceWriter::Sent(Micros at, std::uint8_t byte) {
    const std::uint8_t one[] = {byte};
    Line(at, "tx", HexBytes(one));
}

void TraceWriter::StateChanged(Micros at, CardState state) {
    Line(at, "ev", CardStateTraceWord(state));
}

void TraceWriter::DeviceUse(Micros at, bool opened) {
    Line(at, "ev", opened ? "device-opened" : "device-closed");
}

void TraceWriter::Line(Micros at, const char* direction, const std::string& rest) {
    if (std::fprintf(file_, "%lld %s %s\n", static_cast<long long>(at.count()), direction,
                     rest.c_str()) < 0 ||
        std::fflush(file_) != 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot write the trace file " + path_);
    }
}

} // namespace cardsim
