// The views of a selection index: the console report, the tables of
// kalp-index.csv, kalp-index-weights.csv and kalp-index-response.csv, the
// same in kalp-index.json, and the chart kalp-index.svg. Every number
// comes from the index's result; reals in the files are the shortest text
// that reads back as the same double.
#pragma once

#include <string>
#include <vector>

#include "core/indexdata.h"
#include "index/agreement.h"
#include "index/index.h"
#include "index/worth.h"
#include "input/control.h"
#include "report/indextable.h"
#include "report/svg.h"

namespace kalp {

// What a path's objective was formed from.
struct IndexPathFacts {
    int traced = 0;       // the traced group of its economic weights; 0 with --weights
    std::string group;    // its name, "newborn rams of A"
    double covered = -1;  // the share (%) of the standardised weights covered; -1 unstandardised
    bool sources = false; // index-sources.csv gives sources for it
    // Where its generation interval comes from when index-selection.csv
    // does not give it ("the age weights of system A"), else "".
    std::string interval;
};

struct IndexView {
    const IndexData& data;
    const IndexResult& result;
    const TraitNames& names;  // KALP's trait names
    std::string weights;      // the file of --weights, "" for the run's own weights
    IndexPathFacts path[pathcount];
    std::vector<SdDifference> sds;
    // What each source is worth, and how far the index depends on each
    // economic weight.
    std::vector<SourceValue> values;
    std::vector<Sensitivity> sensitivity;
    // The components held by the restricted index (IndexResult::restricted).
    std::vector<Aim> held;
};

// The console report: per path the standard deviations, accuracy,
// intensity, interval and responses, the largest contributions to the
// response, and what was left out, assumed or bent.
std::string indexreport(const IndexView& v);

// The tables of kalp-index.csv, kalp-index-weights.csv and
// kalp-index-response.csv.
tables::Table indextable(const IndexView& v);
tables::Table weightstable(const IndexView& v);
tables::Table responsetable(const IndexView& v);

// The tables as CSV files and the JSON document.
std::string indexcsv(const IndexView& v);
std::string indexweightscsv(const IndexView& v);
std::string indexresponsecsv(const IndexView& v);
std::string indexjson(const IndexView& v);

// The response of each component, per year where both generation
// intervals are known (else per generation, path by path), in genetic
// standard deviations: signed bars, with the share of each in the value
// of the response.
std::string indexchart(const IndexView& v, svg::Layout* layout = nullptr);

// "3 Weaning weight (kg), maternal", "fat_depth, direct".
std::string indexcomponentlabel(const IndexView& v, const IndexComponent& c);
// The name of a trait of the index: KALP's name of a trait of KALP, else
// the name of the files.
std::string indextraitname(const IndexView& v, int trait);

} // namespace kalp
