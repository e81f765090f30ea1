#include "input/uncertainty.h"

#include <cstdio>
#include <string>

#include "input/csv.h"

namespace kalp {

namespace {

std::string num(double v) {
    char s[32];
    std::snprintf(s, sizeof s, "%g", v);
    return s;
}

} // namespace

const char* distributionname(Distribution d) {
    switch (d) {
    case Distribution::normal: return "normal";
    case Distribution::uniform: return "uniform";
    case Distribution::triangular: return "triangular";
    }
    return "";
}

const char* systemname(ValueSystem s) {
    switch (s) {
    case ValueSystem::A: return "A";
    case ValueSystem::B: return "B";
    case ValueSystem::Bx: return "Bx";
    }
    return "";
}

std::vector<UncertainValue> readuncertainty(const Folder& folder, const Model& m) {
    if (folder.entry(uncertaintyfile) == Entry::missing)
        csvfault(uncertaintyfile,
                 "kalp --draws draws the economic values that values-uncertainty.csv names, but the "
                 "folder has no\n  such file.",
                 "Write values-uncertainty.csv (system,trait,distribution,a,b: a row per uncertain "
                 "economic value)\n  and restart the program.");
    const CsvTable t = readcsv(folder, uncertaintyfile);
    const CsvColumns c(t, {{"system", true}, {"trait", true}, {"distribution", true}, {"a", true}, {"b", false}});
    std::vector<UncertainValue> values;
    for (const CsvTable::Row& row : t.rows) {
        UncertainValue v;
        v.line = row.line;
        const std::string system = lowercase(c.cell(row, "system"));
        if (system == "a")
            v.system = ValueSystem::A;
        else if (system == "b")
            v.system = ValueSystem::B;
        else if (system == "bx")
            v.system = ValueSystem::Bx;
        else
            c.fault(row, "system", "the system \"" + c.cell(row, "system") + "\" is none of A, B and Bx.",
                    "Write A (the economic values of system A), B (of the purebred progeny of B) or Bx (of "
                    "the crossbred progeny).");
        if (v.system != ValueSystem::A && m.prods != 2)
            c.fault(row, "system", "an economic value of system B is drawn, but P01.TXT gives one production system.",
                    "Write A there, or give two systems in P01.TXT.");
        const long long k = c.whole(row, "trait").value_or(0);
        if (k < 1 || k >= NT)
            c.fault(row, "trait", "trait " + c.cell(row, "trait") + " is no trait of KALP, whose traits are "
                                  "numbered 1 to 35.",
                    "Write a trait number from 1 to 35.");
        v.trait = static_cast<int>(k);
        for (const UncertainValue& o : values)
            if (o.system == v.system && o.trait == v.trait)
                c.fault(row, "trait", "the economic value of trait " + std::to_string(k) + " in system " +
                                          systemname(v.system) + " is given a second time (first on line " +
                                          std::to_string(o.line) + ").",
                        "Give each value one row.");
        v.value = v.system == ValueSystem::A ? m.evpA[k][1] : m.evpB[k][v.system == ValueSystem::B ? 1 : 2];
        const std::string kind = lowercase(c.cell(row, "distribution"));
        if (kind == "normal")
            v.distribution = Distribution::normal;
        else if (kind == "uniform")
            v.distribution = Distribution::uniform;
        else if (kind == "triangular")
            v.distribution = Distribution::triangular;
        else
            c.fault(row, "distribution", "the distribution \"" + c.cell(row, "distribution") +
                                             "\" is none of normal, uniform and triangular.",
                    "Write normal (with its standard deviation in a), uniform or triangular (between a and "
                    "b) there.");
        const std::optional<double> a = c.number(row, "a"), b = c.number(row, "b");
        if (!a) c.fault(row, "a", "the value of a is missing.", "Write it there.");
        v.a = *a;
        if (v.distribution == Distribution::normal) {
            if (v.a < 0)
                c.fault(row, "a", "the standard deviation of a normal distribution is " + num(v.a) +
                                      "; it must be 0 or above.",
                        "Write the standard deviation of the economic value in a.");
            if (b)
                c.fault(row, "b", "a normal distribution takes its standard deviation in a; b is " + num(*b) + ".",
                        "Leave b empty (the mean is the value of the input file).");
        } else {
            if (!b) c.fault(row, "b", "the upper bound b is missing.", "Write it there.");
            v.b = *b;
            if (v.b < v.a)
                c.fault(row, "b", "the upper bound b is " + num(v.b) + ", below the lower bound a, " + num(v.a) + ".",
                        "Write the bounds in their order: a the lower, b the upper.");
            if (v.distribution == Distribution::triangular && (v.value < v.a || v.value > v.b))
                c.fault(row, "a", "the economic value of the input files, " + num(v.value) +
                                      ", the peak of the triangular distribution, lies outside a to b (" + num(v.a) +
                                      " to " + num(v.b) + ").",
                        "Give bounds on either side of the value of the input files.");
        }
        values.push_back(v);
    }
    if (values.empty())
        csvfault(uncertaintyfile, "The file values-uncertainty.csv names no economic value.",
                 "Give a row for every uncertain economic value and restart the program.");
    return values;
}

} // namespace kalp
