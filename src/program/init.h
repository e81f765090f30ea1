// kalp init: a first scenario in a folder without input files.
#pragma once

#include <string>
#include <vector>

#include "program/kalp.h"

namespace kalp {

// Writes a complete set of input files for a small scenario (one system or
// two, with or without standardisation), the report template and a
// README.txt that says what each file holds. Returns the exit status: 0,
// 1 when the files cannot be written, 2 when a file it would write is in
// the folder already (nothing is written then).
int init(Folder& folder, Console& console, const Options& options);

// Writes a first set of the four files of kalp index into a folder that
// holds none of them, all or none: the traits, correlations and sources of
// the worked example in `examples`, both paths selected on the economic
// weights of the scenario's own traced group. Returns their names; a
// folder that holds one of them already, a missing example, or files that
// cannot be written end it with a RunStop, nothing written.
std::vector<std::string> initindex(Folder& folder, const Folder* examples);

} // namespace kalp
