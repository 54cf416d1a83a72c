// plinova-cardsim: a card printer on a pseudo-terminal, for development, demos and
// tests of the spooler without the hardware.
#include "Options.h"
#include "Simulator.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    const cardsim::ParsedOptions parsed = cardsim::ParseOptions(argc, argv);
    if (!parsed.options) {
        std::fputs(parsed.message.c_str(), parsed.exitCode == 0 ? stdout : stderr);
        return parsed.exitCode;
    }
    try {
        cardsim::Simulator simulator(*parsed.options);
        return simulator.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plinova-cardsim: %s\n", error.what());
        return 1;
    }
}
