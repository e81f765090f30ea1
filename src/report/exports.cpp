#include "report/exports.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "model/classes.h"
#include "model/standardise.h"

namespace kalp {

namespace {

// Every file that an export option writes, and what it holds.
struct ExportFile {
    const char* name;
    const char* holds;
};
const ExportFile exportfiles[] = {
    {"kalp-classes.csv", "the sex and age groups"},
    {"kalp-geneflow.csv", "the gene flow by year"},
    {"kalp-weights.csv", "the economic weights"},
    {"kalp-results.json", "the results of the run"},
    {"kalp-geneflow.svg", "the chart of the gene flow"},
    {"kalp-weights.svg", "the chart of the relative weights"},
    {"kalp-sweep.csv", "the weights of every scenario of the sweep"},
    {"kalp-sweep-geneflow.csv", "the discounted gene flow of every scenario"},
    {"kalp-sweep.json", "the weights of every scenario"},
    {"kalp-sweep.svg", "the chart of the sweep"},
};

std::string partname(const char* name) { return std::string(name) + ".part"; }

} // namespace

std::string csvfield(const std::string& s) {
    if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

namespace {

// A value that reads back as the same single-precision number.
double exact(float v) { return std::strtod(digits9(v).c_str(), nullptr); }

} // namespace

const char* componentname(bool direct) { return direct ? "direct" : "maternal"; }

const char* exportholds(const char* name) {
    const ExportFile* f =
        std::find_if(std::begin(exportfiles), std::end(exportfiles),
                     [&](const ExportFile& e) { return std::string(name) == e.name; });
    return f == std::end(exportfiles) ? "" : f->holds;
}

void removeexports() {
    for (const auto& f : exportfiles) {
        std::remove(f.name);
        std::remove(partname(f.name).c_str());
    }
}

void append9(std::string& out, float v) {
    // to_chars in general format with a precision is "%.*g", without the
    // locale and the cost of printf.
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, static_cast<double>(v),
                                 std::chars_format::general, 9);
    out.append(text, r.ptr);
}

std::string digits9(float v) {
    std::string s;
    append9(s, v);
    return s;
}

bool hasweight(const Model& m, int k) { return !negligible(m.ew_d[k]) || !negligible(m.ew_m[k]); }
bool hasdirect(const Model& m, int k) { return m.tt[k] == 0 || m.tt[k] == 2; }
bool hasmaternal(const Model& m, int k) { return m.tt[k] == 1 || m.tt[k] == 2; }

std::vector<Component> components(const Model& m, bool weighted) {
    std::vector<Component> v;
    for (int k = 1; k <= 35; ++k) {
        if (weighted && !hasweight(m, k)) continue;
        if (hasdirect(m, k))
            v.push_back({k, true, m.delta_d[k] == 1, m.ew_d[k], m.gstd_d[k], m.ewst_d[k],
                         m.ewr_dd[k], m.ewr_da[k]});
        if (hasmaternal(m, k))
            v.push_back({k, false, m.delta_m[k] == 1, m.ew_m[k], m.gstd_m[k], m.ewst_m[k],
                         m.ewr_mm[k], m.ewr_ma[k]});
    }
    return v;
}

void writeclassescsv(const Model& m, std::FILE* out) {
    std::fputs("class,system,group,age\n", out);
    for (int c = 1; c <= m.acm; ++c) {
        const ClassInfo info = describeclass(m, c);
        std::fprintf(out, "%d,%s,%s,%d\n", c, info.block.system, csvfield(groupname(info)).c_str(),
                     info.age);
    }
}

void writegeneflowheader(std::FILE* out) { std::fputs("year,class,share,cumulative\n", out); }

void writegeneflowyear(const Model& m, int year, const float* share, const float* cumulative,
                       std::FILE* out) {
    for (int c = 1; c <= m.acm; ++c)
        std::fprintf(out, "%d,%d,%s,%s\n", year, c, digits9(share[c]).c_str(),
                     digits9(cumulative[c]).c_str());
}

std::string weightcolumns(bool standardised, bool sd) {
    std::string h = "trait,name,component,economic_weight";
    if (standardised)
        h += std::string(sd ? ",sd" : "") + ",standardised,relative_in_component,relative_in_total";
    return h;
}

void weightrow(std::string& out, const Component& c, const std::string& name, bool standardised,
               bool sd) {
    out += std::to_string(c.trait);
    out += ',';
    out += name;
    out += ',';
    out += componentname(c.direct);
    out += ',';
    append9(out, c.ew);
    if (standardised) {
        if (sd) {
            out += ',';
            append9(out, c.sd);
        }
        out += ',';
        append9(out, c.standardised);
        // A component left out by its trait pair has no relative weights:
        // the fields stay empty.
        out += ',';
        if (c.included) {
            append9(out, c.within);
            out += ',';
            append9(out, c.total);
        } else {
            out += ',';
        }
    }
    out += '\n';
}

void writeweightscsv(const Model& m, const TraitNames& names, std::FILE* out) {
    const bool standard = m.gstd == 2;
    std::string text = weightcolumns(standard, true) + "\n";
    for (const Component& c : components(m))
        weightrow(text, c, csvfield(names[c.trait]), standard, true);
    std::fputs(text.c_str(), out);
}

std::string resultsjson(const Model& m, const TraitNames& names) {
    // Keys in the order written, which is the order of the report.
    using json = nlohmann::ordered_json;
    const bool standard = m.gstd == 2;
    const ClassInfo traced = describeclass(m, m.n_sac);
    json settings = {
        {"production_systems", m.prods},
        {"standardised", standard},
        {"discount_rate", exact(m.u)},
        {"period_years", m.l_inv},
        {"traced_group",
         {{"class", m.n_sac},
          {"system", traced.block.system},
          {"group", groupname(traced)},
          {"age", traced.age}}},
        {"path_options", {{"sire_path_A", m.pgssA}, {"dam_path_A", m.pgdsA}}},
    };
    if (m.prods == 2) {
        settings["path_options"]["sire_path_B"] = m.pgssB;
        settings["path_options"]["dam_path_B"] = m.pgdsB;
        settings["expression_weights"] = {{"A", exact(m.pdA)}, {"B", exact(m.pdB)}};
    }
    json classes = json::array();
    for (int c = 1; c <= m.acm; ++c) {
        const ClassInfo info = describeclass(m, c);
        classes.push_back({{"class", c},
                           {"system", info.block.system},
                           {"group", groupname(info)},
                           {"age", info.age},
                           {"traceable", info.traceable},
                           {"discounted_gene_flow", exact(m.m_sum[c])}});
    }
    json weights = json::array();
    for (const Component& c : components(m)) {
        json w = {{"trait", c.trait},
                  {"name", names[c.trait]},
                  {"component", componentname(c.direct)},
                  {"economic_weight", exact(c.ew)}};
        if (standard) {
            w["sd"] = exact(c.sd);
            w["standardised"] = exact(c.standardised);
            w["included_in_sums"] = c.included;
            w["relative_in_component"] = c.included ? json(exact(c.within)) : json(nullptr);
            w["relative_in_total"] = c.included ? json(exact(c.total)) : json(nullptr);
        }
        weights.push_back(w);
    }
    json doc = {{"program", "KALP"},
                {"version", "1.0.3"},
                {"settings", settings},
                {"classes", classes},
                {"weights", weights}};
    if (standard) {
        doc["sums"] = {{"direct", exact(m.ewsum_d)},
                       {"maternal", exact(m.ewsum_m)},
                       {"total", exact(m.ewsum)}};
        doc["shares_percent"] = {{"direct", sharepercent(m.ewsum_d, m.ewsum)},
                                 {"maternal", sharepercent(m.ewsum_m, m.ewsum)}};
    }
    // The names are UTF-8 (readtraitnames); the replacement keeps any other
    // text from ending the run.
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace kalp
