// kalp index: the selection index of each path on the economic weights of
// the folder's scenario (or of --weights) and the response it brings.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "index/index.h"
#include "program/kalp.h"
#include "report/indexreport.h"

namespace kalp {

// An index as kalp index computes it: what it is computed from, its result
// and the view of its files and report, which refers to the rest.
struct IndexRun {
    IndexInputs in;
    TraitNames names;
    std::string weights; // the file of --weights, "" for the scenario's own weights
    IndexPathFacts facts[pathcount];
    // The run of each path's traced group, and the run of the files' own.
    std::shared_ptr<const Model> models[pathcount], run;
    // What the run of the scenario read but doubts, also when it stopped.
    std::vector<std::string> warnings;
    std::optional<IndexResult> result; // made once, in place
    std::optional<IndexView> view;
};

// Reads the index files of `folder` and computes the index of `options`
// (--weights, --bend, --restrict) on the economic weights of the folder's
// scenario, or of `base` when the caller ran the scenario of the same
// files already (a complete outcome). A fault ends it with a RunStop.
void runindex(const Folder& folder, const Options& options, IndexRun& out, const Outcome* base = nullptr);

// Reads the index files and the scenario (or the weights of --weights),
// computes the index and prints its report, and with --csv, --json and
// --plot writes its files, all put in place together. Returns the exit
// status: 0, or 1 after a report.
int index(Folder& folder, Console& console, const Options& options);

} // namespace kalp
