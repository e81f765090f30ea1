// Charts of a run as SVG, drawn with PLplot: the yearly gene flow of the
// traced genes and the relative economic weights.
#pragma once

#include <string>
#include <vector>

#include "core/model.h"
#include "report/exports.h"

namespace kalp {

// The yearly shares that a chart shows: every `stride`-th year and the last
// one, so that a long period keeps a bounded table.
struct YearTable {
    int stride = 1;
    std::vector<int> years;
    std::vector<float> shares; // years.size() rows of acm + 1 values
};

// A table for a period of l_inv years, at most about 2000 rows.
YearTable yeartable(int l_inv);
// Keeps the shares of `year` when the table takes that year.
void keepyear(YearTable& t, const Model& m, int year, const float* share);

// A trait name as a chart label: its blanks, tabs and line breaks as single
// blanks, cut to at most `most` characters. The charts draw it literally.
std::string chartname(const std::string& name, size_t most);

// One line (points of x and y) in a chart with several lines.
struct Line {
    std::vector<double> x, y;
    bool dashed = false;
    int series = 0; // the colour of its series
};

// The scenario of a run in one line, as the charts give it under their
// title: systems, traced group with its name, discount rate, period.
std::string scenarioline(const Model& m);

// The SVG text of each chart.
// The yearly share of every class, one panel per block that the traced
// genes reach.
std::string geneflowchart(const Model& m, const YearTable& t);
// Horizontal bars of the relative weights within the total, direct and
// maternal side by side, traits in the order of the report (standardised
// runs only).
std::string weightschart(const Model& m, const TraitNames& names);
// Small multiples: panels of lines against one axis, the lines of a panel
// one per series (a colour each, named once in a legend at the top).
struct Panel {
    std::string title;
    std::vector<Line> lines;
    bool grey = false;       // every line in grey (the panel of the smaller ones)
};
struct Multiples {
    std::string title, subtitle, xlabel, ylabel;
    std::vector<std::string> series; // one per colour; none for a single series
    bool points = false;             // categories on the x axis: points, not lines
    std::string note;                // under the panels, or ""
    std::vector<Panel> panels;
};
std::string multipleschart(const Multiples& chart);

} // namespace kalp
