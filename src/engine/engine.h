// The engine: one scenario in, a result or a structured stop out.
//
// The input files come from a folder (on disk, or texts held in memory);
// the engine reads no other file and writes none. The console lines
// of the stages go to the caller's Say, the years of the gene flow to the
// caller's YearHook; the echo of the input files, the first part of the
// results file, is part of the outcome. The results section and the
// variable dump are views of the outcome's model (report/).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/model.h"
#include "core/stop.h"
#include "engine/parameters.h"
#include "input/control.h"
#include "model/geneflow.h"
#include "textio/folder.h"
#include "textio/stream.h"

namespace kalp {

// What a run is asked to do.
struct Request {
    const Folder* files = nullptr;
    Say say;            // the console lines of the stages; none when empty
    YearHook year;      // year 0 and every year of the gene flow; none when empty
    // Called when the results file is begun, with the number of systems,
    // before its first line is formed; a stop thrown here ends the run.
    std::function<void(int prods)> begun;
    bool echo = true;   // form the echo of the input files
    std::vector<Change> changes; // values that replace those of the files
    std::vector<Span>* spans = nullptr; // when set, the span of every number read
};

// What a run gives.
struct Outcome {
    std::optional<RunStop> stop;  // why the run ended early; empty when complete
    std::unique_ptr<Model> model; // the state the run reached
    bool resultsfile = false;     // the results file was begun (the gate was open, P01.TXT read)
    std::string echo;             // the results file up to its results section, or to the stop
    std::vector<std::string> reached; // the input files whose reading began, in order
    TraitNames names;             // the template's trait names, complete runs only
    // What the run read but doubts, one sentence each without a leading
    // "kalp: " (numbers left over in a file, unusual ages or age weights):
    // the run goes on, and the caller shows them beside its console.
    std::vector<std::string> warnings;
    bool complete() const { return !stop; }
};

// Runs every stage of one scenario.
Outcome runscenario(const Request& request);

// Reads P01.TXT, INPUTVRD01A.TXT and INPUTVRD01B.TXT and lays out the
// classes, as a run does; nothing else is read.
Outcome readlayout(const Folder& files);

// The parts of a run, for runs that share their first stages (sweeps).
//
// The stages from the gate to the validated transmission matrix; `begun`
// is called when the results file is begun.
void prepare(Model& m, Streams& s, const std::function<void(int prods)>& begun = nullptr);
// A job: scenarios that differ only in their period and in values that the
// gene flow does not use, so that one gene flow serves them all.
struct Job {
    std::vector<Change> flow; // the changes of Stage::flow
    std::vector<int> periods; // the periods, in scenario order
    // The scenarios of a period: `sets` of them, each with the other changes
    // that `set` gives for it when it comes (a sweep's list of them would
    // grow with its scenarios).
    std::size_t sets = 1;
    std::function<std::vector<Change>(std::size_t set)> set;
};
// Called for every scenario of a job, in order: the index of its period and
// of its set, and its complete model.
using EachScenario = std::function<void(size_t period, size_t set, const Model& m)>;
// Where a job stopped: the stop and its scenario.
struct JobStop {
    RunStop stop;
    size_t period, set;
};
// Runs the scenarios of a job from a prepared model: the gene flow and every
// stage after it. A period that is not longer than the one before starts
// the gene flow afresh.
std::optional<JobStop> runjob(const Model& prepared, Streams& s, const Job& job,
                              const EachScenario& each, const YearHook& year = nullptr);

// The economic weights that complete scenarios give the genes of another
// traced group: each scenario's discount rate, period and economic values
// with the gene flow of `traced` from the prepared model, followed again
// only when the discount rate or the period change. Not standardised.
class Retrace {
public:
    Retrace(const Model& prepared, int traced);
    const Model& weighed(const Model& scenario);

private:
    const Model& prepared_;
    int traced_;
    std::unique_ptr<Model> flow_, out_;
    bool flowed_ = false;
};

} // namespace kalp
