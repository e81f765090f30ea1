// kalp index: the selection index of each path on the economic weights of
// the folder's scenario (or of --weights) and the response it brings.
#pragma once

#include "program/kalp.h"

namespace kalp {

// Reads the index files and the scenario (or the weights of --weights),
// computes the index and prints its report, and with --csv, --json and
// --plot writes its files, all put in place together. Returns the exit
// status: 0, or 1 after a report.
int index(Folder& folder, Console& console, const Options& options);

} // namespace kalp
