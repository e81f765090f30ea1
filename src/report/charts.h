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
    std::string label;
    std::vector<double> x, y;
    bool dashed = false;
};

// The SVG text of each chart.
// The yearly share of every class, one panel per block.
std::string geneflowchart(const Model& m, const YearTable& t);
// Horizontal bars of the relative weights within the total, direct and
// maternal side by side, traits in the order of the report (standardised
// runs only).
std::string weightschart(const Model& m, const TraitNames& names);
// Lines against a swept parameter.
std::string lineschart(const std::string& title, const std::string& xlabel,
                       const std::string& ylabel, const std::vector<Line>& lines);

} // namespace kalp
