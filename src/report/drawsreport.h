// The views of kalp --draws: the spread of every trait component's
// economic and relative weight over the drawn scenarios as the console
// shows it, as kalp-draws.csv and as the chart kalp-draws.svg.
#pragma once

#include <string>
#include <vector>

#include "core/model.h"
#include "engine/draws.h"
#include "index/spread.h"
#include "input/control.h"
#include "report/svg.h"

namespace kalp {

// What a drawn scenario gives the summary: for each of the 40 trait
// components (in the order of components(m, false)) its economic weight,
// then its relative weight in the total and its absolute standardised
// weight (NaN where the component is not included in the sums, or the
// scenario is not standardised).
constexpr size_t drawcomponents = 40;
constexpr size_t drawcolumns = 3 * drawcomponents;
void drawnnumbers(const Model& m, std::vector<double>& out);

// The summary of the draws, built on the writer's side in scenario order:
// the economic and relative weights (Spread columns: 40 economic weights,
// then 40 relative ones) and how often each component is among the five
// of the largest absolute standardised weight.
struct DrawSummary {
    Spread spread{2 * drawcomponents};
    std::vector<long long> top5 = std::vector<long long>(drawcomponents, 0);
    long long draws = 0;
    void add(const double* numbers); // drawcolumns numbers of one scenario
};

struct DrawsView {
    const Model& base; // the scenario of the input files
    const TraitNames& names;
    const Draws& draws;
    const DrawSummary& summary;
};

std::string drawscsv(const DrawsView& v);
std::string drawsreport(const DrawsView& v);
// The spread of the relative weights per component: the band from the 5
// to the 95 % point, the median and the scenario's own value (standardised
// scenarios).
std::string drawschart(const DrawsView& v, svg::Layout* layout = nullptr);

} // namespace kalp
