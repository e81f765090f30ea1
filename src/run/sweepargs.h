// The --sweep arguments: NAME=VALUES, where NAME is a row of the parameter
// table (with its trait, evpA:8) and VALUES a comma list or an inclusive
// range START:STOP:STEP.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/sweep.h"

namespace kalp {

// A --sweep argument that cannot be used; the text says why.
struct BadSweep : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// Parses NAME=VALUES. The values of a range are START + k x STEP formed in
// decimal, so that 0:0.1:0.01 gives the eleven texts 0, 0.01, ..., 0.1.
// Every value is read and checked as the input files read and check it.
Axis parsesweep(const std::string& arg);
// Every argument; a parameter swept twice is refused. The text of a
// BadSweep names the argument.
std::vector<Axis> parsesweeps(const std::vector<std::string>& args);

// The texts of START:STOP:STEP.
std::vector<std::string> rangetexts(const std::string& range);

// What --help says of the option.
std::string sweephelp();

// The arguments of --draws N and --seed S: N a whole number from 1 to
// mostdraws, S one from 0 to 2^64 - 1. Throws BadSweep with the reason.
long long parsedraws(const std::string& text);
std::uint64_t parseseed(const std::string& text);

} // namespace kalp
