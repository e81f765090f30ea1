// Results for further work: tidy CSV files and a JSON document.
//
// Numbers are the model's single-precision values with 9 significant
// digits, enough to read them back exactly.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "core/model.h"
#include "input/control.h"

namespace kalp {

// What the console says an export holds: "the economic weights".
const char* exportholds(const char* name);

// The names of the exports of a run, or of a sweep.
std::vector<std::string> exportnames(bool sweep);

// The single-precision value with 9 significant digits ("%.9g").
std::string digits9(float v);
void append9(std::string& out, float v);
// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string csvfield(const std::string& s);


// Whether trait k has a row in the economic weights table, and whether its
// direct and maternal components belong to its type.
bool hasweight(const Model& m, int k);
bool hasdirect(const Model& m, int k);
bool hasmaternal(const Model& m, int k);

// One trait component with its values, as the tables of the report give it.
struct Component {
    int trait;
    bool direct;
    bool included;                             // enters the sums of the standardisation
    float ew, sd, standardised, within, total; // relative within its component and the total
};
// The components of the traits with a weight in report order, or of every
// trait when `weighted` is false.
std::vector<Component> components(const Model& m, bool weighted = true);
const char* componentname(bool direct);

// class,system,group,age
void writeclassescsv(const Model& m, std::FILE* out);
// year,class,share,cumulative: the header, and the rows of one year.
void writegeneflowheader(std::FILE* out);
void writegeneflowyear(const Model& m, int year, const float* share, const float* cumulative,
                       std::FILE* out);
// trait,name,component,economic_weight and, with standardisation,
// [sd,]standardised,relative_in_component,relative_in_total.
std::string weightcolumns(bool standardised, bool sd);
// One row of that table, `name` already a CSV field, with its line break.
void weightrow(std::string& out, const Component& c, const std::string& name, bool standardised,
               bool sd);
// The table of the run, with the standard deviations.
void writeweightscsv(const Model& m, const TraitNames& names, std::FILE* out);
// Everything of the run but the yearly table.
std::string resultsjson(const Model& m, const TraitNames& names);

} // namespace kalp
