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

// What the chart of a sweep draws when it is not the economic weights: its
// title, the title of the y axis, the words under the chart, the noun of a
// component's value in the notes and the file that holds every value.
struct SweepMeasure {
    const char* title;    // "Response per year"
    const char* ylabel;   // "Response per year in the unit of the trait"
    const char* what;     // the first note of a chart of lines
    const char* heatwhat; // and of a heat map: what the colour is
    const char* noun;     // "response": "the components whose response changes most"
    const char* file;     // "kalp-index-sweep-response.csv"
};

struct SweepTables {
    const SweepPlan* plan;
    std::string scenario;            // the systems, for the chart
    std::string traced;              // the name of the first traced group
    std::vector<std::string> groups; // the name of each traced group of the sweep
    bool standardised;
    bool json;
    TraitFields names;
    ScenarioFields base;              // the values of the files
    std::vector<size_t> fields;       // where each swept axis stands among them
    size_t stride = 1;                // the chart takes every stride-th value of its axis
    std::vector<size_t> series;       // and these values of the second swept axis
    // The sex ("rams") and system ("A") of each traced group of the sweep.
    std::vector<std::string> sexes, systems;
    // What the chart draws, when not the economic weights.
    const SweepMeasure* measure = nullptr;
    // Components that the chart leaves out, named in a note.
    std::vector<std::string> undrawn;
};

// The tables of the sweep of `plan` over the files' model `prepared`; the
// values of the files are those of `complete`, a complete run of them
// (the standard deviations are read after the gene flow), or of `prepared`.
SweepTables sweeptables(const SweepPlan& plan, const Model& prepared, const TraitNames& names,
                        bool json, const Model* complete = nullptr);
// The headers of kalp-sweep.csv and kalp-sweep-geneflow.csv.
std::string weightsheader(const SweepTables& t);
std::string flowheader(const SweepTables& t);
// A scenario of the sweep as its rows name it: its values and their name.
struct SweepRow {
    const Scenario& sc;
    const Model& m;
    ScenarioFields fields;
    RowKey key;
};
SweepRow sweeprow(const SweepTables& t, const Scenario& sc, const Model& m);

} // namespace kalp
