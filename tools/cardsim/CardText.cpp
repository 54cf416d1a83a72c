#include "CardText.h"

#include <algorithm>
#include <vector>

namespace cardsim {

namespace {

// Splits UTF-8 text into its characters, each kept as its own byte sequence.
std::vector<std::string> Characters(const std::string& text) {
    std::vector<std::string> characters;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80 || characters.empty()) {
            characters.emplace_back();
        }
        characters.back() += static_cast<char>(c);
    }
    return characters;
}

struct Row {
    std::string text;
    std::size_t width;
};

void AddRows(const PrintedLine& line, std::vector<Row>& rows) {
    std::vector<Row> lineRows(1, Row{"", 0});
    const std::size_t step = line.DoubleWidth() ? 2 : 1;
    for (const std::string& c : Characters(line.text)) {
        if (lineRows.back().width + step > kMaxCardColumns) {
            lineRows.push_back(Row{"", 0});
        }
        Row& row = lineRows.back();
        row.text += c;
        if (line.DoubleWidth()) {
            row.text += ' ';
        }
        row.width += step;
    }
    for (const Row& row : lineRows) {
        rows.push_back(row);
        if (line.DoubleHeight()) {
            rows.push_back(row);
        }
    }
}

std::string Repeat(const char* piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

} // namespace

std::string RenderCardText(const Card& card) {
    std::vector<Row> rows;
    for (const PrintedLine& line : card.lines) {
        AddRows(line, rows);
    }
    std::size_t width = kCardColumns;
    for (const Row& row : rows) {
        width = std::max(width, row.width);
    }
    std::string text = "card " + std::to_string(card.number) + ", " +
                       std::to_string(card.lines.size()) +
                       (card.lines.size() == 1 ? " line" : " lines") +
                       (card.printedWithoutCard ? " (printed with no card in place)" : "") + "\n";
    text += "\u250C" + Repeat("\u2500", width + 2) + "\u2510\n";
    for (const Row& row : rows) {
        text += "\u2502 " + row.text + std::string(width - row.width, ' ') + " \u2502\n";
    }
    text += "\u2514" + Repeat("\u2500", width + 2) + "\u2518\n";
    return text;
}

} // namespace cardsim
