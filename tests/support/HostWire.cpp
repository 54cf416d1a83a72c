#include "HostWire.h"

#include <cstdint>
#include <stdexcept>

namespace hostwire {
namespace {

// Larger than anything a test sends or receives; a count beyond it is a broken stream.
constexpr std::uint32_t kLargest = 64u << 20;

void PutCount(std::string& out, std::size_t count) {
    const auto n = static_cast<std::uint32_t>(count);
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((n >> shift) & 0xFF);
}

// The count at `at`, or nothing when the buffer ends before it.
std::optional<std::uint32_t> CountAt(const std::string& buffer, std::size_t at) {
    if (buffer.size() < at + 4)
        return std::nullopt;
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i)
        n = (n << 8) | static_cast<unsigned char>(buffer[at + static_cast<std::size_t>(i)]);
    if (n > kLargest)
        throw std::runtime_error("host wire: a count of " + std::to_string(n));
    return n;
}

} // namespace

std::string Encode(const Message& message) {
    std::string out;
    PutCount(out, message.size());
    for (const std::string& field : message) {
        PutCount(out, field.size());
        out += field;
    }
    return out;
}

std::optional<Message> TakeMessage(std::string& buffer) {
    const std::optional<std::uint32_t> fields = CountAt(buffer, 0);
    if (!fields)
        return std::nullopt;
    Message message;
    std::size_t at = 4;
    for (std::uint32_t i = 0; i < *fields; ++i) {
        const std::optional<std::uint32_t> size = CountAt(buffer, at);
        if (!size || buffer.size() < at + 4 + *size)
            return std::nullopt;
        message.push_back(buffer.substr(at + 4, *size));
        at += 4 + *size;
    }
    buffer.erase(0, at);
    return message;
}

} // namespace hostwire
