#pragma once

#include "CardPrinter.h"

#include <memory>
#include <string>

// Writes a picture of each printed card as a PNG file: DIR/card-0001.png, ... Large
// print is drawn at double width and/or double height, as the printer would.
namespace cardsim {

class CardImageWriter {
public:
    // Creates the folder when it is missing. Throws std::runtime_error when it cannot.
    explicit CardImageWriter(std::string folder);
    ~CardImageWriter();
    CardImageWriter(const CardImageWriter&) = delete;
    CardImageWriter& operator=(const CardImageWriter&) = delete;

    // Returns the file written. Throws std::runtime_error when it cannot be written.
    std::string Write(const Card& card);

private:
    struct Drawing;
    std::string folder_;
    std::unique_ptr<Drawing> drawing_;
};

} // namespace cardsim
