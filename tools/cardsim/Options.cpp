#include "Options.h"

#include <charconv>
#include <cstring>
#include <getopt.h>

#include "generated/Version.h"

namespace cardsim {

namespace {

constexpr const char* kUsage =
    "Usage: plinova-cardsim [options]\n"
    "A card printer on a pseudo-terminal. Prints \"device: PATH\" on its first line;\n"
    "open PATH as the printer's serial port.\n"
    "\n"
    "  --device-file F      also write the device's path to file F (removed at exit)\n"
    "  --link NAME          make NAME a symbolic link to the device (removed at exit)\n"
    "  --insert-delay MS    insert a card MS ms after a status request finds the\n"
    "                       printer idle (default 300)\n"
    "  --remove-delay MS    take the card out MS ms after its release (default 500)\n"
    "  --manual             cards come and go only by keys (needs a terminal)\n"
    "  --png-dir DIR        write a picture of each card, DIR/card-0001.png, ...\n"
    "  --trace FILE         write every byte received and sent, with its time\n"
    "  --quiet              show only the device line and errors\n"
    "  --verbose            show every decoded byte, status requests included\n"
    "  --exit-after-cards N exit (status 0) once N cards have been taken out\n"
    "  --timeout S          exit (status 3) when nothing happens for S seconds\n"
    "  --help               show this text\n"
    "  --version            show the program's version\n"
    "\n"
    "Keys on a terminal: i insert a card, r remove it, q quit.\n"
    "Exit status: 0 done, 1 failure, 2 bad command line, 3 inactivity timeout.\n";

enum Option {
    kDeviceFile = 1,
    kLink,
    kInsertDelay,
    kRemoveDelay,
    kManual,
    kPngDir,
    kTrace,
    kQuiet,
    kVerbose,
    kExitAfterCards,
    kTimeout,
    kHelp,
    kVersion,
};

bool ParseCount(const char* text, int& value) {
    const char* end = text + std::strlen(text);
    auto [ptr, error] = std::from_chars(text, end, value);
    return error == std::errc() && ptr == end && value >= 0;
}

// The options that take a count: the field each sets and the unit its message names.
struct CountOption {
    int option;
    const char* name;
    const char* unit;
    int Options::*field;
};
constexpr CountOption kCountOptions[] = {
    {kInsertDelay, "insert-delay", "milliseconds", &Options::insertDelayMs},
    {kRemoveDelay, "remove-delay", "milliseconds", &Options::removeDelayMs},
    {kExitAfterCards, "exit-after-cards", "cards", &Options::exitAfterCards},
    {kTimeout, "timeout", "seconds", &Options::timeoutS},
};

const CountOption* CountOptionOf(int option) {
    for (const CountOption& count : kCountOptions) {
        if (count.option == option) {
            return &count;
        }
    }
    return nullptr;
}

ParsedOptions Error(const std::string& text) {
    return ParsedOptions{std::nullopt, 2,
                         "plinova-cardsim: " + text + "\nTry plinova-cardsim --help.\n"};
}

} // namespace

ParsedOptions ParseOptions(int argc, char** argv) {
    static const option kLongOptions[] = {
        {"device-file", required_argument, nullptr, kDeviceFile},
        {"link", required_argument, nullptr, kLink},
        {"insert-delay", required_argument, nullptr, kInsertDelay},
        {"remove-delay", required_argument, nullptr, kRemoveDelay},
        {"manual", no_argument, nullptr, kManual},
        {"png-dir", required_argument, nullptr, kPngDir},
        {"trace", required_argument, nullptr, kTrace},
        {"quiet", no_argument, nullptr, kQuiet},
        {"verbose", no_argument, nullptr, kVerbose},
        {"exit-after-cards", required_argument, nullptr, kExitAfterCards},
        {"timeout", required_argument, nullptr, kTimeout},
        {"help", no_argument, nullptr, kHelp},
        {"version", no_argument, nullptr, kVersion},
        {nullptr, 0, nullptr, 0},
    };
    Options options;
    optind = 1;
    opterr = 0;
    for (;;) {
        const int previous = optind;
        const int option = getopt_long(argc, argv, "", kLongOptions, nullptr);
        if (option == -1) {
            break;
        }
        if (const CountOption* count = CountOptionOf(option)) {
            if (!ParseCount(optarg, options.*count->field)) {
                return Error(std::string("--") + count->name + " needs a number of " + count->unit +
                             ", not \"" + optarg + "\"");
            }
            continue;
        }
        switch (option) {
        case kDeviceFile:
            options.deviceFile = optarg;
            break;
        case kLink:
            options.link = optarg;
            break;
        case kManual:
            options.manual = true;
            break;
        case kPngDir:
            options.pngDir = optarg;
            break;
        case kTrace:
            options.trace = optarg;
            break;
        case kQuiet:
            options.quiet = true;
            break;
        case kVerbose:
            options.verbose = true;
            break;
        case kHelp:
            return ParsedOptions{std::nullopt, 0, kUsage};
        case kVersion:
            return ParsedOptions{std::nullopt, 0, "plinova-cardsim " PLINOVA_VERSION "\n"};
        default:
            return Error("unknown or incomplete option \"" + std::string(argv[previous]) + "\"");
        }
    }
    if (optind < argc) {
        return Error("unexpected argument \"" + std::string(argv[optind]) + "\"");
    }
    if (options.quiet && options.verbose) {
        return Error("--quiet and --verbose exclude each other");
    }
    return ParsedOptions{options, 0, {}};
}

} // namespace cardsim
