// kalp --draws N [--seed S]: the economic weights of N scenarios whose
// economic values are drawn as values-uncertainty.csv gives them, on the
// sweep engine (the values alone change: the scenarios share the gene
// flow), summed up in kalp-draws.csv and its chart; with --csv and --json
// the rows of every drawn scenario as a sweep writes them.
#pragma once

#include <string>
#include <vector>

#include "program/kalp.h"

namespace kalp {

// The draws in `folder`, after the input files were read and checked as a
// run reads them; what the run doubts in `warnings`. A fault ends it with a
// RunStop.
void drawsrun(Folder& folder, Console& console, const Options& options, std::vector<std::string>& warnings);

} // namespace kalp
