// The chart of a sweep: the points that each scenario gives it, formed on
// the worker threads, and the small multiples drawn from them at the end.
#pragma once

#include <string>
#include <vector>

#include "report/svg.h"
#include "report/sweeprows.h"

namespace kalp {

// Whether the chart of a sweep draws a heat map per component: when its
// second parameter has more values than lines can tell apart.
bool heatmap(const SweepPlan& plan);
// The values that the chart draws: every `stride`-th of its first axis and
// the last, and of the second axis those of `series`.
void chartpicks(const SweepPlan& plan, size_t& stride, std::vector<size_t>& series);
// Whether the chart draws scenario `sc`, and the index of its series.
bool charted(const SweepTables& t, const Scenario& sc, size_t& series);
// The chart's points of a scenario (component, x, y, series), when the
// chart draws it, and at the first point of the chart the components that
// the pair choices leave out (series -1).
void chartpoints(const SweepTables& t, const Scenario& sc, const Model& m,
                 std::vector<double>& numbers);
// The chart: small multiples of trait components against the first swept
// parameter, one line per value of the second (up to eight of them), or a
// heat map per component over both; the others at their first value, named
// in a note. The components of a swept trait come first, then those that
// change most over the sweep; those that do not change are named with
// their weight.
std::string sweepchart(const SweepTables& t, const TraitNames& names,
                       const std::vector<double>& points, svg::Layout* layout = nullptr);

} // namespace kalp
