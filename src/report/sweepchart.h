// The chart of a sweep: the points that each scenario gives it, formed on
// the worker threads, and the small multiples drawn from them at the end.
#pragma once

#include <string>
#include <vector>

#include "report/svg.h"
#include "report/sweeprows.h"

namespace kalp {

// The chart's points of a scenario (component, x, y, series), when the
// chart draws it, and at the first point of the chart the components that
// the pair choices leave out (series -1).
void chartpoints(const SweepTables& t, const Scenario& sc, const Model& m,
                 std::vector<double>& numbers);
// The chart: small multiples of trait components against the first swept
// parameter, one line per value of the second (at most eight of them), the
// others at their first value. The components of a swept trait come first,
// then those that change most over the sweep.
std::string sweepchart(const SweepTables& t, const TraitNames& names,
                       const std::vector<double>& points, svg::Layout* layout = nullptr);

} // namespace kalp
