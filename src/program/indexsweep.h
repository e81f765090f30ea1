// kalp index --draws N and kalp index --sweep NAME=VALUES: the index of the
// folder's scenario judged against drawn economic values (the efficiency
// of the index on the given values when the truth is each draw), and the
// index and response of every scenario of a sweep; both on the sweep
// engine, each path's objective the economic weights of its traced group
// in the scenario.
#pragma once

#include <string>
#include <vector>

#include "index/index.h"
#include "input/control.h"
#include "program/kalp.h"

namespace kalp {

// The index of the files and what the scenarios need beside it.
struct IndexScenarios {
    const IndexInputs& in;
    const IndexResult& result;
    const TraitNames& names;
    const Model& run;          // the complete run of the files
    int traced[pathcount];     // a path's own traced group; 0 where it follows the scenario's
    double interval[pathcount]; // given in index-selection.csv, else -1 (from the age weights)
};

// The draws: the files they write (kalp-index-draws.csv with --csv) join
// `files`, their part of the console report is returned.
std::string indexdraws(Folder& folder, Console& console, const Options& o, const IndexScenarios& x,
                       std::vector<OutputFile>& files);
// The sweep: kalp-index-sweep.csv, kalp-index-sweep-response.csv and
// kalp-index-sweep-scenarios.csv, with --plot kalp-index-sweep.svg.
std::string indexsweep(Folder& folder, Console& console, const Options& o, const IndexScenarios& x,
                       std::vector<OutputFile>& files);

} // namespace kalp
