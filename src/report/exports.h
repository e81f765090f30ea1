// Results for further work: tidy CSV files and a JSON document.
//
// Every row of the weights names its scenario: the name of its values
// (`scenario`, the same in every file for the same values) and its
// discount rate, period and traced group; the values themselves stand in
// the table of scenarios (one row for a run, one per scenario for a sweep).
// The gene flow depends on the discount rate, the period and the traced
// group alone, which its rows carry. The tables of runs and sweeps have the
// same columns, so that they stack and join. Every real is the shortest
// text that reads back as the model's single-precision value; booleans are
// TRUE and FALSE.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/model.h"
#include "engine/parameters.h"
#include "input/control.h"
#include "report/scenarios.h"

namespace kalp {

// A real as the shortest text that reads back as the same single-precision
// value: 0.3, 0.05, 1e-05.
void appendreal(std::string& out, float v);
// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string csvfield(const std::string& s);
// A JSON string.
std::string jsonstring(const std::string& s);

// One trait component with its values. The relative weights carry the sign
// of the economic weight.
struct Component {
    int trait;
    bool direct;
    bool weighted;                             // the trait has a weight
    bool included;                             // counts in the sums of the standardisation
    float ew, sd, standardised, within, total; // relative within its component and the total
};
// The components of the traits with a weight in report order, or of every
// trait when `weighted` is false (40 components).
std::vector<Component> components(const Model& m, bool weighted = true);
const char* componentname(bool direct);

// The trait names as CSV fields and as JSON strings.
struct TraitFields {
    std::array<std::string, NT> csv, json;
};
TraitFields traitfields(const TraitNames& names);

// The weights table: the columns after the scenario's, and the rows of all
// 40 trait components of a scenario, as CSV rows when `csv` is given and
// as JSON objects, each after ",\n", when `json` is given.
std::string weightsheader(bool standardised);
void weightrows(const Model& m, const RowKey& key, const TraitFields& names, std::string* csv,
                std::string* json);
// The gene flow of a run by year: the columns after the scenario's, and the
// rows of one year.
std::string yearsheader();
void yearrows(const Model& m, const std::string& key, int year, const float* share,
              const float* cumulative, std::string& out);
// The discounted gene flow of a scenario by class.
std::string cumulativeheader();
void cumulativerows(const Model& m, const std::string& key, std::string& out);

// discount_rate,period,traced_group,class,system,group,age,traceable,cumulative
std::string classescsv(const Model& m);
// Everything of the run but the yearly table.
std::string resultsjson(const Model& m, const TraitNames& names);

} // namespace kalp
