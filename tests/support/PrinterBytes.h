#pragma once

#include <string>

// Commands the spooler sends the card printer, as the tests look for them.
namespace printer {

inline const std::string kStatusRequest("\x10\x04\x05", 3);
inline const std::string kSmallFont("\x1B\x21\x01", 3);
inline const std::string kLargeFont("\x1B\x21\x31", 3);
inline const std::string kRelease("\x1B\x71", 2);
// Prints the card and ejects it.
inline const std::string kFormFeed("\x0C", 1);
// Form feed and release: the end of every card.
inline const std::string kCardEnd("\x0C\x1B\x71", 3);
inline const std::string kDrawerPulse("\x1B\x70\x00\xC8\xC8", 5);
// The initialisation sequence sent at start-up, and its last command.
inline const std::string kInitialisation =
    std::string("\x10\x04\x01", 3) + std::string("\x1B\x3D\x01\x1D\x61\x27", 6) +
    std::string("\x1B\x52\x00", 3) + std::string("\x1B\x74\x10", 3) +
    std::string("\x1B\x3D\x01", 3) + std::string("\x1B\x63\x34\x10", 4) +
    std::string("\x1B\x46\x01", 3) + std::string("\x1B\x63\x34\x10", 4) +
    std::string("\x1B\x63\x30\x04", 4) + std::string("\x1B\x63\x31\x04", 4) +
    std::string("\x1B\x55\x00", 3) + std::string("\x1B\x74\x02", 3);
inline const std::string kInitialisationEnd("\x1B\x74\x02", 3);

// How many times `needle` stands in `haystack`, overlapping ones counted.
inline std::size_t Occurrences(const std::string& haystack, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

// What the spooler sent for its first card in `received`: from after the status request that
// found the card to the release; "<no card>" when none was released.
inline std::string CardBytesOf(const std::string& received) {
    const std::size_t release = received.find(kRelease);
    if (release == std::string::npos)
        return "<no card>";
    const std::size_t lastRequest = received.rfind(kStatusRequest, release);
    const std::size_t start = lastRequest == std::string::npos ? 0 : lastRequest + 3;
    return received.substr(start, release + kRelease.size() - start);
}

} // namespace printer
