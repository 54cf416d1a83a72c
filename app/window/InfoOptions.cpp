#include "InfoOptions.h"

#include <cstdio>
#include <cstring>

#include "generated/Version.h"

namespace {

const char* const kHelp =
    "Usage: plinova\n"
    "The print spooler of one station: it prints the station's queued jobs on the card\n"
    "printer and keeps their history.\n"
    "\n"
    "Start it with the station folder as its working directory. It reads Plinova.ini and\n"
    "Molvar.ini there, and the data link file Molvar.udl beside the program or, when there\n"
    "is none, in the station folder. plinova-queue station makes such a folder.\n"
    "\n"
    "It reads no other option:\n"
    "  --help      show this text\n"
    "  --version   show the program's version\n"
    "\n"
    "See plinova(1).\n";

} // namespace

std::optional<int> AnswerInfoOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("plinova " PLINOVA_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}
