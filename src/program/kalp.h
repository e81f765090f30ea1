// The whole program as a function: what the command line asks, done on one
// folder with one console. main() parses the command line, opens the folder
// and the console and calls kalp(); the editor calls it in process on the
// folder it edits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sweep.h"
#include "report/catalogue.h"
#include "textio/console.h"
#include "textio/folder.h"

namespace kalp {

struct Options {
    enum class Command {
        run,     // the stages of a run, and the exports asked for
        classes, // the class table of the input files
        init,    // a first scenario into the folder
        index,   // the selection index on the run's economic weights
    };
    Command command = Command::run;
    bool csv = false;  // kalp-classes.csv, kalp-geneflow.csv, kalp-weights.csv
    bool json = false; // kalp-results.json, or with a sweep kalp-sweep.json
    bool plot = false; // kalp-geneflow.svg, kalp-weights.svg, or with a sweep kalp-sweep.svg
    std::vector<Axis> sweeps;
    // kalp --draws N [--seed S]: N scenarios of economic values drawn as
    // values-uncertainty.csv gives them (0: none), from the seed S.
    long long draws = 0;
    std::uint64_t seed = 1;
    // kalp init: the kind of scenario, the folders that hold the report
    // template and the examples it is made from, and the working folder
    // as the command line named it.
    bool two = false, standardised = false;
    const Folder* share = nullptr;
    const Folder* examples = nullptr;
    std::string folder = ".";
    // kalp index: bend a matrix that is not positive definite; the economic
    // weights from the file of --weights (its folder, its name there and
    // the path as given) instead of the run's.
    bool bend = false;
    const Folder* weightsfolder = nullptr;
    std::string weightsfile, weightspath;
    // kalp index --restrict: the components held, "TRAIT:COMPONENT" as given
    // (the component's word checked, direct or maternal).
    std::vector<std::string> held;

    bool exports() const { return csv || json || plot || !sweeps.empty() || draws > 0; }
    Wants wants() const { return Wants{csv, json, plot, !sweeps.empty(), draws > 0}; }
};

// Does what `options` ask in `folder`, speaking on `console`; returns the
// exit status: 0 for a complete run, 1 when it ended early with a report,
// 2 when kalp init finds input files in the folder.
int kalp(Folder& folder, Console& console, const Options& options);

} // namespace kalp
