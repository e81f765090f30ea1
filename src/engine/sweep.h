// Sweeps: the scenarios of every combination of swept values, each the
// engine's own run of the input files with those values in place of the
// files' ones.
//
// Scenarios that differ only in their period and in values that the gene
// flow does not use share one gene flow (a job). Jobs run on worker threads;
// what they give reaches the caller in scenario order through a bounded
// queue, so that memory does not grow with the number of scenarios.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/model.h"
#include "core/stop.h"
#include "engine/draws.h"
#include "engine/parameters.h"
#include "textio/folder.h"

namespace kalp {

// A parameter with its values.
struct Axis {
    const Parameter* p = nullptr;
    int trait = 0;                  // K of a parameter per trait
    std::vector<double> values;     // as the input files read them
    std::vector<std::string> texts; // as given, when given
    bool swept = true;              // given on the command line, not the files' value
};

// The axes of a sweep: u, n_sac and l_inv always (a single value, the
// files', when not swept), then the other swept parameters, all in the order
// of the parameter table. The last axis varies fastest.
struct SweepPlan {
    std::vector<Axis> axes;
    size_t first = 0;             // the axis given first on the command line
    size_t second = SIZE_MAX;     // the axis given second, if any
    // Drawn economic values: every combination of the axes' values is
    // drawn this many times, the draws varying fastest.
    const Draws* draws = nullptr;
    long long count() const;
};

// The most scenarios a sweep may have.
constexpr long long mostscenarios = 1000000;

// The plan of the swept axes (in the order given) over the files' values in
// `prepared`; a value that the files leave no place for, a traced group
// outside the class table, or too many scenarios end the run.
SweepPlan makeplan(const std::vector<Axis>& swept, const Model& prepared);

// A value of an axis as text: the shortest text of a real, a whole number.
std::string axistext(const Axis& a, size_t i);

// One scenario: the index of its value on each axis.
struct Scenario {
    const SweepPlan* plan;
    std::vector<size_t> at;
    long long draw = 0; // the draw, when the plan draws values
    double value(size_t axis) const { return plan->axes[axis].values[at[axis]]; }
    std::string text(size_t axis) const { return axistext(plan->axes[axis], at[axis]); }
    // "u = 0.02, l_inv = 5, n_sac = 1, evpA:8 = 3" (and ", draw 12"), as a
    // stop names it.
    std::string label() const;
};

// What the scenarios give for the caller's files, in pieces: a text for
// each file, and numbers (for a chart).
struct Chunk {
    std::vector<std::string> text;
    std::vector<double> numbers;
    long long scenarios = 0; // how many scenarios it completes
    size_t bytes() const;
};

// Called on a worker thread for every scenario, with its complete model.
using FormatScenario = std::function<void(const Scenario& sc, const Model& m, Chunk& out)>;
// Called on the calling thread with every chunk, in scenario order; a stop
// thrown here ends the sweep.
using WriteChunk = std::function<void(Chunk& c)>;
// Called on the calling thread after every chunk and, while it waits for
// the next one, about ten times a second, with the number of scenarios
// computed so far: for a progress line.
using Tick = std::function<void(long long computed)>;

// The model of the files at the start of the gene flow: every stage before
// it, without echo or console lines.
std::optional<RunStop> preparesweep(const Folder& files, Model& prepared);

// Runs every scenario of the plan from the prepared model of `files`.
// Returns the first stop in scenario order, naming its scenario.
std::optional<RunStop> runsweep(const Folder& files, const Model& prepared,
                                const SweepPlan& plan, const FormatScenario& format,
                                const WriteChunk& write, const Tick& tick = nullptr);

} // namespace kalp
