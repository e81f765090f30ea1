// Charts of a run as SVG: the yearly gene flow of the traced genes, the
// relative economic weights, and small multiples for the charts of a sweep.
// Every chart is drawn by report/svg: the same data give the same bytes, on
// any thread and any platform.
#pragma once

#include <string>
#include <vector>

#include "core/model.h"
#include "report/exports.h"
#include "report/svg.h"

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
// blanks. The charts draw it literally.
std::string chartname(const std::string& name);
// A trait name split into the name proper and its unit, the part in the
// last parentheses: "Birth weight (kg)" is "Birth weight" and "kg". The
// unit is "" when the name has no parentheses.
struct NameUnit {
    std::string name, unit;
};
NameUnit nameunit(const std::string& name);

// The scenario of a run in one line, as the charts give it under their
// title: systems, traced group with its name, discount rate, period.
std::string scenarioline(const Model& m);

// The yearly share of every class that the traced genes reach: a panel per
// block (a large block in several), a line per class with its number at its
// end; the classes they never reach are named in a note.
std::string geneflowchart(const Model& m, const YearTable& t, svg::Layout* layout = nullptr);
// Horizontal bars of the relative weights within the total, direct and
// maternal side by side, traits in the order of the report, each bar
// pointing the way of its economic weight (standardised runs only).
std::string weightschart(const Model& m, const TraitNames& names, svg::Layout* layout = nullptr);

// Small multiples: panels of lines (or points) against one axis, each on
// its own scale, the lines of a panel one per series (a hue each, named in
// a legend at the top and at the ends of the lines); or a heat map per
// panel, a row per series, each on its own colour scale.
struct Line {
    std::vector<double> x, y;
    int series = 0;
    int trait = 0;         // the trait of the component it draws
    bool maternal = false; // dashed, or open points
};
struct Panel {
    std::string title; // cut at a word, when it must be, to two lines
    std::string tail;  // the end of the title, never cut: ", maternal"
    std::string key;   // what the panel draws, as data-panel: "8-maternal"
    std::vector<Line> lines;
    bool grey = false;  // every line in grey (the panel of the rest)
    bool alike = false; // the lines of every series coincide: labelled "all"
};
// Neighbouring categories that share a label, marked by a bracket beside
// the axis.
struct Band {
    std::string label;
    size_t first = 0, last = 0;
};
struct Multiples {
    std::string title, subtitle, xlabel, ylabel;
    // What the series are values of, and each value: as the legend names
    // it, and as the ends of its lines and their data give it.
    std::string serieslabel;
    std::vector<std::string> series, serieskeys; // none for a single series
    // Categories on the x axis, drawn as points: the tick label of x = 0,
    // 1, ..., and tiers of bands under them; none for a numeric axis,
    // drawn as lines.
    std::vector<std::string> categories;
    std::vector<std::vector<Band>> bands;
    // A heat map in every panel: a row per series, at its value, or with
    // categories the rows 0, 1, ... named like the categories of x.
    bool heat = false;
    std::vector<double> rowvalues;
    std::vector<std::string> rowcategories;
    std::vector<std::vector<Band>> rowbands;
    std::vector<std::string> notes; // under the panels, a paragraph each
    std::vector<Panel> panels;
    std::string none = "No trait has a weight here."; // in place of the panels, when none
};
std::string multipleschart(const Multiples& chart, svg::Layout* layout = nullptr);

} // namespace kalp
