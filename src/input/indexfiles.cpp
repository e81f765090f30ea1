#include "input/indexfiles.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "input/csv.h"

namespace kalp {

namespace {

const IndexFile files[4] = {
    {"index-traits.csv", "the phenotypic parameters of the traits of the index"},
    {"index-correlations.csv", "the genetic, phenotypic and litter correlations"},
    {"index-sources.csv", "the records known of a candidate on each path"},
    {"index-selection.csv", "how each path is selected"},
};

std::string num(double v) {
    char s[32];
    std::snprintf(s, sizeof s, "%g", v);
    return s;
}

// A value of a column that must lie in a range: absent cells give `none`.
double ranged(const CsvColumns& c, const CsvTable::Row& row, const char* name, double lo, double hi,
              double none, const char* what) {
    const std::optional<double> v = c.number(row, name);
    if (!v) return none;
    if (*v < lo || *v > hi)
        c.fault(row, name, std::string(what) + " is " + num(*v) + "; it must lie between " + num(lo) +
                               " and " + num(hi) + ".",
                "Correct the value.");
    return *v;
}

double required(const CsvColumns& c, const CsvTable::Row& row, const char* name, const char* what) {
    const std::optional<double> v = c.number(row, name);
    if (!v) c.fault(row, name, std::string(what) + " is missing.", "Write it in its column.");
    return *v;
}

// A trait as the files name it: KALP's number, or a name of letters, digits
// and underscores that begins with a letter.
struct TraitName {
    int number = 0;
    std::string name;
};
TraitName traitname(const CsvColumns& c, const CsvTable::Row& row, const char* column) {
    const std::string& s = c.cell(row, column);
    if (s.empty()) c.fault(row, column, "the trait is missing.", "Write the trait's number or name there.");
    if (s.find_first_not_of("0123456789") == std::string::npos) {
        const long long k = c.whole(row, column).value_or(0);
        if (k < 1 || k >= NT)
            c.fault(row, column, "trait " + s + " is no trait of KALP, whose traits are numbered 1 to 35.",
                    "Write a trait number from 1 to 35, or a name for a trait that is only recorded.");
        return {static_cast<int>(k), std::to_string(k)};
    }
    const bool letter = (s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z');
    if (!letter || s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") !=
                       std::string::npos)
        c.fault(row, column, "\"" + s + "\" is neither a trait number of KALP nor a trait name.",
                "Write a trait number from 1 to 35, or a name of letters, digits and _ that begins "
                "with a letter (such as fat_depth).");
    return {0, s};
}

// The traits of index-traits.csv, looked up by the other files.
int findtrait(const IndexData& d, const CsvColumns& c, const CsvTable::Row& row, const char* column) {
    const TraitName t = traitname(c, row, column);
    const auto found = std::find_if(d.traits.begin(), d.traits.end(),
                                    [&](const IndexTrait& x) { return x.name == t.name; });
    if (found == d.traits.end())
        c.fault(row, column, "trait " + t.name + " has no row in index-traits.csv.",
                "Give the trait its parameters in index-traits.csv, or correct its name here.");
    return static_cast<int>(found - d.traits.begin());
}

// The share of a record's variance that every record of the animal shares
// through its own genes, its dam's and its litter.
double permanent(const IndexTrait& t) { return t.h2 + t.h2m + t.rdm * std::sqrt(t.h2 * t.h2m) + t.c2; }

void readtraits(const Folder& folder, IndexData& d) {
    const CsvTable t = readcsv(folder, files[0].name);
    const CsvColumns c(t, {{"trait", true},
                           {"sd", true},
                           {"h2", true},
                           {"h2_maternal", false},
                           {"r_direct_maternal", false},
                           {"c2", false},
                           {"repeatability", false}});
    for (const CsvTable::Row& row : t.rows) {
        const TraitName name = traitname(c, row, "trait");
        for (const IndexTrait& other : d.traits)
            if (other.name == name.name)
                c.fault(row, "trait", "trait " + name.name + " is given a second time (first on line " +
                                          std::to_string(other.line) + ").",
                        "Give each trait one row.");
        IndexTrait tr;
        tr.name = name.name;
        tr.number = name.number;
        tr.line = row.line;
        const int type = name.number ? traittype(name.number) : 0;
        tr.ewe = name.number && type == 1;
        tr.sd = required(c, row, "sd", "the phenotypic standard deviation");
        if (!(tr.sd > 0))
            c.fault(row, "sd", "the phenotypic standard deviation is " + num(tr.sd) + "; it must be above 0.",
                    "Write the standard deviation of the trait in its unit.");
        tr.h2 = required(c, row, "h2", "the heritability");
        if (tr.h2 < 0 || tr.h2 > 1)
            c.fault(row, "h2", "the heritability is " + num(tr.h2) + "; it must lie between 0 and 1.",
                    "Correct the value.");
        tr.h2m = ranged(c, row, "h2_maternal", 0, 1, 0, "the maternal heritability");
        if (tr.h2m > 0 && name.number && type != 2)
            c.fault(row, "h2_maternal",
                    "trait " + name.name +
                        (type == 1 ? " is a trait of the ewe: its h2 is the heritability of her own "
                                     "record, and it has no maternal effect beside it."
                                   : " has no maternal component in KALP."),
                    "Leave h2_maternal empty for this trait.");
        tr.rdm = ranged(c, row, "r_direct_maternal", -1, 1, 0,
                        "the correlation of the direct and maternal effects");
        if (tr.rdm != 0 && tr.h2m == 0)
            c.fault(row, "r_direct_maternal",
                    "the trait has a correlation of direct and maternal effects but no maternal "
                    "heritability.",
                    "Give h2_maternal, or leave r_direct_maternal empty.");
        tr.c2 = ranged(c, row, "c2", 0, 1, 0, "the litter share c2");
        const double share = permanent(tr);
        if (share > 1 + 1e-12)
            c.fault(row, "c2",
                    "h2 + h2_maternal + r_direct_maternal x sqrt(h2 x h2_maternal) + c2 is " + num(share) +
                        ", more than the whole variance.",
                    "Correct the heritabilities, the correlation or c2 so that they add up to at most 1.");
        tr.repeatability = ranged(c, row, "repeatability", 0, 1, -1, "the repeatability");
        if (tr.repeatability >= 0 && tr.repeatability < share - 1e-12)
            c.fault(row, "repeatability",
                    "the repeatability is " + num(tr.repeatability) + ", below " + num(share) +
                        ", the share that every record of an animal has in common through its own "
                        "genes, its dam's and its litter (h2 + h2_maternal + r_direct_maternal x "
                        "sqrt(h2 x h2_maternal) + c2).",
                    "Write a repeatability of at least " + num(share) + ".");
        d.traits.push_back(tr);
    }
}

Effect component(const CsvColumns& c, const CsvTable::Row& row, const char* column, const IndexTrait& t,
                 const char* what = "a genetic correlation") {
    const std::string s = lowercase(c.cell(row, column));
    if (s != "direct" && s != "maternal")
        c.fault(row, column,
                std::string(what) + " needs the component of the trait, direct or maternal, not \"" +
                    c.cell(row, column) + "\".",
                "Write direct or maternal there.");
    const Effect e = s == "direct" ? Effect::direct : Effect::maternal;
    if (!hascomponent(t, e))
        c.fault(row, column,
                "trait " + t.name +
                    (t.ewe ? " is a trait of the ewe: its only component is maternal."
                           : " has no maternal component in index-traits.csv (h2_maternal is empty or 0)."),
                t.ewe ? "Write maternal there." : "Give the trait its h2_maternal, or correct the component.");
    return e;
}

void readcorrelations(const Folder& folder, IndexData& d) {
    const CsvTable t = readcsv(folder, files[1].name);
    const CsvColumns c(t, {{"kind", true},
                           {"trait_a", true},
                           {"component_a", true},
                           {"trait_b", true},
                           {"component_b", true},
                           {"value", true}});
    std::map<std::string, int> given; // the pair as a key, and its line
    for (const CsvTable::Row& row : t.rows) {
        const std::string kind = lowercase(c.cell(row, "kind"));
        if (kind != "genetic" && kind != "phenotypic" && kind != "litter")
            c.fault(row, "kind", "the kind \"" + c.cell(row, "kind") + "\" is none of genetic, phenotypic and litter.",
                    "Write genetic, phenotypic or litter there.");
        const int a = findtrait(d, c, row, "trait_a"), b = findtrait(d, c, row, "trait_b");
        const IndexTrait &ta = d.traits[static_cast<size_t>(a)], &tb = d.traits[static_cast<size_t>(b)];
        required(c, row, "value", "the correlation");
        const double r = ranged(c, row, "value", -1, 1, 0, "the correlation");
        std::string key;
        if (kind == "genetic") {
            const Effect ea = component(c, row, "component_a", ta), eb = component(c, row, "component_b", tb);
            if (a == b)
                c.fault(row, "trait_b",
                        "a genetic correlation of trait " + ta.name + " with itself is the correlation "
                        "of its direct and maternal effects.",
                        "Give it as r_direct_maternal in index-traits.csv.");
            std::string x = std::to_string(a) + effectname(ea), y = std::to_string(b) + effectname(eb);
            key = kind + " " + std::min(x, y) + " " + std::max(x, y);
            d.genetic.push_back({a, ea, b, eb, r});
        } else {
            for (const char* col : {"component_a", "component_b"})
                if (!c.cell(row, col).empty())
                    c.fault(row, col, "a " + kind + " correlation is one between traits, not components.",
                            "Leave component_a and component_b empty for it.");
            if (a == b)
                c.fault(row, "trait_b", "a " + kind + " correlation of trait " + ta.name + " with itself is 1.",
                        "Give correlations between two different traits.");
            if (kind == "litter")
                for (const IndexTrait* tr : {&ta, &tb})
                    if (!(tr->c2 > 0))
                        c.fault(row, tr == &ta ? "trait_a" : "trait_b",
                                "trait " + tr->name + " has no litter effect (c2 is empty or 0 in "
                                "index-traits.csv), so a litter correlation with it has no effect.",
                                "Give the trait its c2, or remove this row.");
            key = kind + " " + std::to_string(std::min(a, b)) + " " + std::to_string(std::max(a, b));
            (kind == "phenotypic" ? d.phenotypic : d.litter).push_back({a, b, r});
        }
        const auto [at, fresh] = given.emplace(key, row.line);
        if (!fresh)
            c.fault(row, "trait_b", "this " + kind + " correlation is given a second time (first on line " +
                                        std::to_string(at->second) + ").",
                    "Give each pair once.");
    }
}

Path pathof(const CsvColumns& c, const CsvTable::Row& row) {
    const std::string s = lowercase(c.cell(row, "path"));
    if (s != "rams" && s != "ewes")
        c.fault(row, "path", "the path \"" + c.cell(row, "path") + "\" is neither rams nor ewes.",
                "Write rams or ewes there.");
    return s == "rams" ? Path::rams : Path::ewes;
}

void readsources(const Folder& folder, IndexData& d) {
    const CsvTable t = readcsv(folder, files[2].name);
    const CsvColumns c(t, {{"path", true}, {"source", true}, {"trait", true}, {"records", true}});
    for (const CsvTable::Row& row : t.rows) {
        IndexSource s{pathof(c, row), Source::own, 0, 0, row.line};
        const std::string name = lowercase(c.cell(row, "source"));
        bool known = false;
        for (int k = 0; k < sourcecount; ++k)
            if (name == sourcename(static_cast<Source>(k))) {
                s.source = static_cast<Source>(k);
                known = true;
            }
        if (!known)
            c.fault(row, "source", "the source \"" + c.cell(row, "source") + "\" is unknown.",
                    "Write one of own, dam, sire, fullsibs, halfsibs and progeny there.");
        s.trait = findtrait(d, c, row, "trait");
        const IndexTrait& tr = d.traits[static_cast<size_t>(s.trait)];
        if (!sourceallowed(tr, s.path, s.source) && s.source == Source::own)
            c.fault(row, "source", "a ram has no record of trait " + tr.name + ", a trait of the ewe.",
                    "Give the rams the records of their female relatives (dam, fullsibs, halfsibs, "
                    "progeny) instead.");
        if (!sourceallowed(tr, s.path, s.source))
            c.fault(row, "source", "the sire is a ram, which has no record of trait " + tr.name +
                                       ", a trait of the ewe.",
                    "Remove the row, or give the records of the dam or of female relatives.");
        const long long n = c.whole(row, "records").value_or(0);
        if (n < 1 || n > 1000000)
            c.fault(row, "records", "the number of records is " + c.cell(row, "records") +
                                        "; it must be a whole number from 1 to 1000000.",
                    "Correct the number.");
        s.records = static_cast<int>(n);
        for (const IndexSource& o : d.sources)
            if (o.path == s.path && o.source == s.source && o.trait == s.trait)
                c.fault(row, "trait", "this source is given a second time for the " +
                                          std::string(pathname(s.path)) + " (first on line " +
                                          std::to_string(o.line) + ").",
                        "Give each source of a trait once per path.");
        const bool one = s.source == Source::own || s.source == Source::dam || s.source == Source::sire;
        if (one && s.records > 1 && tr.repeatability < 0)
            c.fault(row, "records", std::to_string(s.records) + " repeated records of trait " + tr.name +
                                        " need its repeatability.",
                    "Give the repeatability of trait " + tr.name + " in index-traits.csv.");
        d.sources.push_back(s);
    }
    // The means of repeated records of two traits on one animal share the
    // repeatable part of their phenotypic covariance, which both
    // repeatabilities give.
    auto rp = [&](int a, int b) {
        const auto p = std::find_if(d.phenotypic.begin(), d.phenotypic.end(), [&](const TraitCorrelation& x) {
            return (x.a == a && x.b == b) || (x.a == b && x.b == a);
        });
        return p == d.phenotypic.end() ? 0.0 : p->r;
    };
    for (const IndexSource& s : d.sources)
        for (const IndexSource& o : d.sources) {
            const bool one = s.source == Source::own || s.source == Source::dam || s.source == Source::sire;
            if (!one || o.path != s.path || o.source != s.source || s.records == 1 || o.trait == s.trait ||
                rp(s.trait, o.trait) == 0 || d.traits[static_cast<size_t>(o.trait)].repeatability >= 0)
                continue;
            const std::string other = d.traits[static_cast<size_t>(o.trait)].name;
            std::string what = "In " + std::string(files[2].name) + ", line " + std::to_string(o.line);
            what += ", trait " + other + " stands beside " + std::to_string(s.records) + " records of trait ";
            what += d.traits[static_cast<size_t>(s.trait)].name + " (line " + std::to_string(s.line);
            what += ") of the same animal: the covariance of their means needs the repeatability of trait ";
            csvfault(files[2].name, what + other + ".",
                     "Give the repeatability of trait " + other + " in index-traits.csv and restart "
                     "the program.",
                     o.line);
        }
}

void readselection(const Folder& folder, IndexData& d, const IndexReading& how) {
    const CsvTable t = readcsv(folder, files[3].name);
    const CsvColumns c(t, {{"path", true},
                           {"proportion", false},
                           {"intensity", false},
                           {"generation_interval", false},
                           {"traced_group", false}});
    for (const CsvTable::Row& row : t.rows) {
        Selection s;
        s.path = pathof(c, row);
        s.line = row.line;
        for (const Selection& o : d.selection)
            if (o.path == s.path)
                c.fault(row, "path", "the " + std::string(pathname(s.path)) +
                                         " are given a second time (first on line " +
                                         std::to_string(o.line) + ").",
                        "Give each path one row.");
        const std::optional<double> p = c.number(row, "proportion"), i = c.number(row, "intensity");
        if (p.has_value() == i.has_value())
            c.fault(row, p ? "intensity" : "proportion",
                    p ? "both the proportion selected and the intensity are given."
                      : "neither the proportion selected nor the intensity is given.",
                    "Give one of them: the proportion of the candidates kept (0.1 for the best "
                    "tenth) or the intensity of selection.");
        if (p && !(*p > 0 && *p <= 1))
            c.fault(row, "proportion", "the proportion selected is " + num(*p) +
                                           "; it must be above 0 and at most 1.",
                    "Write the share of the candidates that is kept, such as 0.1.");
        if (i && *i < 0)
            c.fault(row, "intensity", "the intensity is " + num(*i) + "; it must be 0 or above.",
                    "Correct the intensity.");
        s.proportion = p.value_or(-1);
        s.intensity = i.value_or(-1);
        if (const std::optional<double> l = c.number(row, "generation_interval")) {
            if (!(*l > 0 && *l <= 100))
                c.fault(row, "generation_interval", "the generation interval is " + num(*l) +
                                                        " years; it must be above 0 and at most 100.",
                        "Write the mean age of the parents at the birth of their lambs, in years.");
            s.interval = *l;
        }
        if (const std::optional<long long> g = c.whole(row, "traced_group")) {
            if (how.tracedbound == 0)
                c.fault(row, "traced_group",
                        "a traced group is given, but the economic weights come from --weights.",
                        "Leave traced_group empty, or compute the weights of the folder's scenario "
                        "without --weights.");
            if (*g < 1 || *g > how.tracedbound)
                c.fault(row, "traced_group", "the traced group is " + c.cell(row, "traced_group") +
                                                 "; it must lie between 1 and " +
                                                 std::to_string(how.tracedbound) +
                                                 " (kalp --classes lists the groups).",
                        "Write the number of a group whose genes can be traced.");
            s.traced = static_cast<int>(*g);
        }
        const bool sources = std::any_of(d.sources.begin(), d.sources.end(),
                                         [&](const IndexSource& x) { return x.path == s.path; });
        const bool selected = p ? *p < 1 : *i > 0;
        if (selected && !sources)
            c.fault(row, "path", "the " + std::string(pathname(s.path)) +
                                     " are selected, but index-sources.csv gives no source for them.",
                    "Give the records known of the candidates in index-sources.csv, or select "
                    "nothing (proportion 1) to give only their generation interval.");
        d.selection.push_back(s);
    }
    if (d.selection.empty())
        csvfault(files[3].name, "The file index-selection.csv selects no path.",
                 "Give a row for the rams, the ewes or both and restart the program.");
}

// The desired gains, when the folder has index-desired.csv.
void readdesired(const Folder& folder, IndexData& d) {
    if (folder.entry(desiredfile) == Entry::missing) return;
    const CsvTable t = readcsv(folder, desiredfile);
    const CsvColumns c(t, {{"trait", true}, {"component", true}, {"gain", true}});
    bool any = false;
    for (const CsvTable::Row& row : t.rows) {
        const int trait = findtrait(d, c, row, "trait");
        const Effect e = component(c, row, "component", d.traits[static_cast<size_t>(trait)], "a desired gain");
        const double gain = required(c, row, "gain", "the desired gain");
        for (const Aim& o : d.desired)
            if (o.trait == trait && o.effect == e)
                c.fault(row, "component", "the " + std::string(effectname(e)) + " gain of trait " +
                                              d.traits[static_cast<size_t>(trait)].name +
                                              " is given a second time (first on line " + std::to_string(o.line) + ").",
                        "Give each component once.");
        any = any || gain != 0;
        d.desired.push_back({trait, e, gain, row.line});
    }
    if (!d.desired.empty() && !any)
        csvfault(desiredfile, "Every gain of index-desired.csv is 0, which gives the index no direction.",
                 "Give the gains wished for, in their proportions (some may be 0), and restart the "
                 "program.");
}

} // namespace

bool hascomponent(const IndexTrait& t, Effect e) {
    return t.ewe ? e == Effect::maternal : e == Effect::direct || t.h2m > 0;
}

bool sourceallowed(const IndexTrait& t, Path path, Source s) {
    return !t.ewe || !(s == Source::sire || (s == Source::own && path == Path::rams));
}

const IndexFile (&indexfiles())[4] { return files; }

IndexData readindexdata(const Folder& folder, const IndexReading& how) {
    IndexData d;
    readtraits(folder, d);
    readcorrelations(folder, d);
    readsources(folder, d);
    readselection(folder, d, how);
    readdesired(folder, d);
    return d;
}

GivenWeights readweights(const Folder& folder, const std::string& name, const std::string& shown) {
    const CsvTable t = readcsv(folder, name, shown);
    const CsvColumns c(t, {{"trait", true}, {"component", true}, {"economic_weight", true}, {"name", false},
                           {"scenario", false}},
                       true);
    GivenWeights g;
    for (int k = 1; k < NT; ++k)
        g.names[static_cast<size_t>(k)] = "trait " + std::to_string(k);
    int line[NT][2] = {};
    std::string scenario;
    for (const CsvTable::Row& row : t.rows) {
        const long long k = c.whole(row, "trait").value_or(0);
        if (k < 1 || k >= NT)
            c.fault(row, "trait", "trait " + c.cell(row, "trait") + " is no trait of KALP.",
                    "Write a trait number from 1 to 35.");
        const std::string comp = lowercase(c.cell(row, "component"));
        if (comp != "direct" && comp != "maternal")
            c.fault(row, "component", "the component \"" + c.cell(row, "component") +
                                          "\" is neither direct nor maternal.",
                    "Write direct or maternal there.");
        const bool direct = comp == "direct";
        const int type = traittype(static_cast<int>(k));
        if ((direct && type == 1) || (!direct && type == 0))
            c.fault(row, "component", "trait " + std::to_string(k) + " has no " + comp + " component in KALP.",
                    "Correct the trait or the component.");
        const std::optional<double> w = c.number(row, "economic_weight");
        if (!w) c.fault(row, "economic_weight", "the economic weight is missing.", "Write it there.");
        int& first = line[k][direct ? 0 : 1];
        if (first)
            c.fault(row, "component",
                    "the " + comp + " weight of trait " + std::to_string(k) + " is given a second time (first on line " +
                        std::to_string(first) + ")" +
                        (!scenario.empty() && c.cell(row, "scenario") != scenario
                             ? ": the file holds the rows of more than one scenario."
                             : "."),
                    "Give the rows of one scenario only (those of one value of the column "
                    "scenario, when the file is a sweep's).");
        first = row.line;
        if (scenario.empty()) scenario = c.cell(row, "scenario");
        // KALP's weights are single-precision values, which the file gives
        // as the shortest text that reads back as them.
        const float single = static_cast<float>(*w);
        if (!std::isfinite(single))
            c.fault(row, "economic_weight", "the economic weight is too large.", "Correct it.");
        (direct ? g.weights.direct : g.weights.maternal)[k] = single;
        if (!c.cell(row, "name").empty()) g.names[static_cast<size_t>(k)] = c.cell(row, "name");
    }
    return g;
}

} // namespace kalp
