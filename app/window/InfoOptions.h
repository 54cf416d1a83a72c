#pragma once

#include <optional>

// The spooler reads no command-line option; "--version" and "--help" only print and end it.
// Gives the exit status when one of them is among the arguments, nothing otherwise. Needs no
// display, so it runs before the application object is made.
std::optional<int> AnswerInfoOption(int argc, char** argv);
