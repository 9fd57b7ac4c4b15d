#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace tessivox {

// --help and --version print to `out` and give the exit code; the program
// reads nothing else from its command line, so any other argument only gets
// one line on `err` and the program starts as usual (nullopt).
std::optional<int> handleCommandLine(int argc, const char* const* argv, std::FILE* out,
                                     std::FILE* err);

// The last --sound NAME-OR-FILE before any "--", if given.
std::optional<std::string> soundArgument(int argc, const char* const* argv);

}  // namespace tessivox
