#pragma once

#include <optional>
#include <string>

// The simulator's command line.
namespace cardsim {

struct Options {
    std::string deviceFile;  // where to write the device's path
    std::string link;        // a symbolic link to the device
    int insertDelayMs = 300; // from the first status request of a wait to the card
    int removeDelayMs = 500; // from the release to the card taken out
    std::string pngDir;      // one PNG picture per card goes here
    std::string trace;       // trace file
    bool quiet = false;      // only the device line and errors
    bool verbose = false;    // every decoded event, status requests included
    bool manual = false;     // cards only by keys
    int exitAfterCards = 0;  // 0: run until stopped
    int timeoutS = 0;        // 0: no inactivity limit
};

// The result of reading the command line: options to run with, or an exit code and
// the text to show (help on stdout, errors on stderr).
struct ParsedOptions {
    std::optional<Options> options;
    int exitCode = 0;
    std::string message;
};

ParsedOptions ParseOptions(int argc, char** argv);

} // namespace cardsim
