#pragma once
// The virtual module's command line: its help text and the options it parses into.
#include "simcore.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kvsim {

struct Options
{
    std::string link, device;
    int baud = 19200;
    std::vector<int> addresses{1}; // one module per address, all on the same line
    std::uint32_t seed = 1;
    bool fixed = false;
    std::array<int, kMeasurements> values{};
    std::array<bool, 5> faulted{};
    bool ignoreReadAddress = false;
    double turnaroundMs = 2, delayMs = 0, drop = 0, corrupt = 0;
    bool split = false, garbage = false, echo = false, quiet = false;
};

// Parses argv; prints the help and exits 0 for --help, prints the reason and exits 2 for a bad option.
Options parseOptions(int argc, char **argv);

} // namespace kvsim
