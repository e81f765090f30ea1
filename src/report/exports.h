// Results for further work: tidy CSV files and a JSON document.
//
// Every export is written under a temporary name (NAME.part) and renamed
// into place only when the whole run is complete, so an export never
// describes another run than the latest. Numbers are the model's single-
// precision values with 9 significant digits, enough to read them back
// exactly.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "core/model.h"

namespace kalp {

// What the console says an export holds: "the economic weights".
const char* exportholds(const char* name);

// Removes the exports of an earlier run and unfinished temporary files.
void removeexports();

// An export being written under its temporary name.
struct Export {
    const char* name = nullptr; // the final name
    std::string part;           // the name it is written under
    std::FILE* fp = nullptr;
};

// Creates NAME.part; failure ends the run.
Export beginexport(const char* name);
// Closes the file; a write that did not reach it ends the run.
void endexport(Export& e);
// Moves a finished export into place.
void publishexport(const Export& e);
// Closes and removes an unfinished export.
void discardexport(Export& e);

// The single-precision value with 9 significant digits ("%.9g").
std::string digits9(float v);
void append9(std::string& out, float v);
// The shortest text that reads back as the same single-precision value.
std::string shortest(float v);
// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string csvfield(const std::string& s);

// The trait names of the report template (the captions of the economic
// weights table without their numbers), traits 1..35.
using TraitNames = std::array<std::string, NT>;
TraitNames readtraitnames();

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
// sd,standardised,relative_in_component,relative_in_total.
void writeweightscsv(const Model& m, const TraitNames& names, std::FILE* out);
// Everything of the run but the yearly table.
std::string resultsjson(const Model& m, const TraitNames& names);

} // namespace kalp
