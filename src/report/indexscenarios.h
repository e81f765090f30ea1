// The views of the index over scenarios: the efficiency of the index on
// the given economic values when the truth is each draw (kalp index
// --draws: the console and kalp-index-draws.csv), and the index of every
// scenario of a sweep (kalp index --sweep: the rows of
// kalp-index-sweep.csv, kalp-index-sweep-response.csv and
// kalp-index-sweep-scenarios.csv, keyed by scenario as a sweep's rows
// are, and the points of the sweep chart of the response).
#pragma once

#include <string>
#include <vector>

#include "engine/draws.h"
#include "index/index.h"
#include "index/spread.h"
#include "report/sweeprows.h"

namespace kalp {

// What the draws gave each path: its efficiency and its loss, the
// response of the index of the drawn weights less that of the given
// index in the drawn objective (Spread columns 2k and 2k + 1), and the sum
// of the responses of the indexes of the drawn weights.
struct IndexDraws {
    const Draws& draws;
    Spread spread;
    std::vector<double> best;
    long long count = 0;
};
struct IndexDrawsView {
    const IndexResult& result;
    const IndexDraws& draws;
};
std::string indexdrawscsv(const IndexDrawsView& v);
std::string indexdrawsreport(const IndexDrawsView& v);

// A scenario of the sweep with the index of each selected path on its
// objective weights.
struct IndexScenario {
    const SweepTables& t;
    SweepRow row;
    const IndexData& data;
    const IndexResult& result;
    std::vector<Eigen::VectorXd> v; // the objective weights of each path, in the order of the result's paths
    std::vector<Evaluation> at;     // and its index
    double interval[pathcount];     // the generation interval of each path, or -1
};
std::string indexsweepheader(const SweepTables& t);
std::string indexsweepresponseheader(const SweepTables& t);
std::string indexsweepscenariosheader(const SweepTables& t);
void indexsweeprows(const IndexScenario& s, std::string& text, std::vector<double>& numbers);
void indexsweepresponserows(const IndexScenario& s, std::string& text, std::vector<double>& numbers);
void indexsweepscenariorow(const IndexScenario& s, std::string& text, std::vector<double>& numbers);
// The chart's points of the scenario: the response per year of the
// components of KALP's traits (per generation of the first path without
// the generation intervals).
void indexsweeppoints(const IndexScenario& s, std::string& text, std::vector<double>& numbers);
// What the sweep chart of the response draws, and the components it
// leaves out (traits only recorded).
const SweepMeasure* indexsweepmeasure(const IndexResult& r);
std::vector<std::string> indexsweepundrawn(const IndexData& d, const IndexResult& r);

} // namespace kalp
