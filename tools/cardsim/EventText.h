#pragma once

#include "EscPosDecoder.h"

#include <cstdint>
#include <span>
#include <string>

// Human-readable descriptions of decoded events, for the simulator's log.
namespace cardsim {

// "1B 21 31"
std::string HexBytes(std::span<const std::uint8_t> bytes);

// E.g. "ESC ! 31: print mode font B, double height, double width".
std::string Describe(const Event& event);

// "drawer pulse (pin 2, 200/200)"
std::string DescribeDrawerPulse(std::uint8_t pin, std::uint8_t onTime, std::uint8_t offTime);

// The text of a Text event in UTF-8, decoded from its code table.
std::string DecodeText(const Event& event);

} // namespace cardsim
