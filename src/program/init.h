// kalp init: a first scenario in a folder without input files.
#pragma once

#include "program/kalp.h"

namespace kalp {

// Writes a complete set of input files for a small scenario (one system or
// two, with or without standardisation), the report template and a
// README.txt that says what each file holds. Returns the exit status: 0,
// 1 when the files cannot be written, 2 when a file it would write is in
// the folder already (nothing is written then).
int init(Folder& folder, Console& console, const Options& options);

} // namespace kalp
