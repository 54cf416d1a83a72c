#pragma once

#include "CardPrinter.h"

#include <string>

// The picture of a printed card for a terminal: a box with the card's lines, large
// print drawn large (double width as spaced letters, double height as two rows).
namespace cardsim {

// Columns of the narrowest box; a card holds this many characters of small print.
inline constexpr std::size_t kCardColumns = 48;
// Columns of the widest box; longer lines go on in the rows below.
inline constexpr std::size_t kMaxCardColumns = 160;

// Lines end in "\n"; the text is UTF-8.
std::string RenderCardText(const Card& card);

} // namespace cardsim
