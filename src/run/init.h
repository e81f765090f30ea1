// kalp init: a first scenario in a new folder.
#pragma once

#include <string>

namespace kalp {

// Writes a complete set of input files for a small scenario (one system or
// two, with or without standardisation), the report template and a
// README.txt that says what each file holds, into `dir`, which is created
// when it does not exist. Returns the exit status: 0, 1 when the files
// cannot be written, 2 when the folder already holds an input file.
int init(const std::string& dir, bool two, bool standardised);

} // namespace kalp
