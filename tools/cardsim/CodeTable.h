#pragma once

#include <cstdint>
#include <string>

// The printer's character code tables, as far as the simulator needs them to show
// what a card would look like: table 2 is code page 850, table 16 is Windows-1252.
// Any other table is shown as Latin-1, which keeps every byte visible.
namespace cardsim {

inline constexpr std::uint8_t kCodeTable850 = 2;
inline constexpr std::uint8_t kCodeTable1252 = 16;

// The character a printable byte (0x20 and above) stands for in the given table.
// Bytes a table leaves undefined give U+FFFD.
char32_t DecodeByte(std::uint8_t table, std::uint8_t byte);

// A short name for display, e.g. "code page 850".
std::string CodeTableName(std::uint8_t table);

void AppendUtf8(std::string& out, char32_t c);

} // namespace cardsim
