#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The messages between a Windows test program under wine and the host's far end, which keeps
// what only the host has (pseudo-terminals) for it. A message is a list of fields, each any
// bytes: a request names its call first, then the printer and the arguments; a reply starts
// with "ok" or "error", then the values. On the wire: the field count, then each field's
// length and bytes, all counts as 4-byte little-endian numbers.
namespace hostwire {

using Message = std::vector<std::string>;

std::string Encode(const Message& message);

// Takes the first whole message off the front of `buffer`; nothing while it is not all there.
// Throws std::runtime_error on a count no message can have.
std::optional<Message> TakeMessage(std::string& buffer);

// The environment variable that tells a test program where the far end listens
// ("127.0.0.1:PORT").
inline constexpr const char* kAddressVariable = "PLINOVA_TEST_HOST";

} // namespace hostwire
