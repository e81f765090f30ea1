// The tables of a sweep: every scenario's weights and discounted gene flow
// as CSV rows (and JSON objects), and the chart's points, formed on the
// worker threads with the row writers of a run's exports.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/sweep.h"
#include "input/control.h"
#include "report/exports.h"

namespace kalp {

struct SweepTables {
    const SweepPlan* plan;
    bool standardised;
    bool json;
    TraitFields names;
    std::vector<std::string> columns; // the scenario columns
    size_t stride = 1; // the chart takes every stride-th value of its axis
};

SweepTables sweeptables(const SweepPlan& plan, const TraitNames& names, bool standardised,
                        bool json);
// The headers of kalp-sweep.csv and kalp-sweep-geneflow.csv.
std::string weightsheader(const SweepTables& t);
std::string flowheader(const SweepTables& t);
// The rows of a scenario: text[0] the weights, text[1] the gene flow,
// text[2] the JSON objects, each after ",\n"; the chart's points (component,
// x, y) in numbers.
void formatscenario(const SweepTables& t, const Scenario& sc, const Model& m, Chunk& out);
// The chart: each trait component against the first swept parameter, the
// others at their first value.
std::string sweepchart(const SweepTables& t, const TraitNames& names,
                       const std::vector<double>& points);

} // namespace kalp
