#include "report/exports.h"

#include <algorithm>
#include <numeric>
#include <cstdint>
#include <cstdio>
#include <charconv>
#include <cstdlib>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <nlohmann/json.hpp>

#include "model/classes.h"
#include "model/standardise.h"
#include "engine/parameters.h"
#include "textio/numbers.h"

namespace kalp {

std::string csvfield(const std::string& s) {
    if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string jsonstring(const std::string& s) {
    return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void appendreal(std::string& out, float v) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    out.append(text, r.ptr);
}

namespace {

// A JSON document written by hand, so that its reals are written as in the
// CSV files: a value is a number, string or literal as text, an object or
// an array.
struct Json {
    std::string text;              // of a number, string or literal
    std::vector<std::string> keys; // of an object, one per item
    std::vector<Json> items;       // of an object or an array
    bool object = false, array = false;

    static Json raw(std::string t) {
        Json j;
        j.text = std::move(t);
        return j;
    }
    static Json obj() {
        Json j;
        j.object = true;
        return j;
    }
    static Json arr() {
        Json j;
        j.array = true;
        return j;
    }
    Json& add(const std::string& key, Json value) {
        keys.push_back(key);
        items.push_back(std::move(value));
        return *this;
    }
    void write(std::string& out, int depth) const {
        if (!object && !array) {
            out += text;
            return;
        }
        const std::string in(static_cast<size_t>(depth + 1) * 2, ' ');
        const std::string end(static_cast<size_t>(depth) * 2, ' ');
        out += object ? "{\n" : "[\n";
        for (size_t i = 0; i < items.size(); ++i) {
            out += in;
            if (object) out += jsonstring(keys[i]) + ": ";
            items[i].write(out, depth + 1);
            out += i + 1 < items.size() ? ",\n" : "\n";
        }
        out += end + (object ? "}" : "]");
    }
};

Json number(float v) { return Json::raw(shortest(v)); }
Json number(long long v) { return Json::raw(std::to_string(v)); }
Json text(const std::string& s) { return Json::raw(jsonstring(s)); }
Json truth(bool b) { return Json::raw(b ? "true" : "false"); }

} // namespace

const char* componentname(bool direct) { return direct ? "direct" : "maternal"; }

std::vector<Component> components(const Model& m, bool weighted) {
    std::vector<Component> v;
    for (int k = 1; k <= 35; ++k) {
        const bool has = hasweight(m, k);
        if (weighted && !has) continue;
        if (hasdirect(m, k))
            v.push_back({k, true, has, m.delta_d[k] == 1, m.ew_d[k], m.gstd_d[k], m.ewst_d[k],
                         signedshare(m.ewr_dd[k], m.ew_d[k]), signedshare(m.ewr_da[k], m.ew_d[k])});
        if (hasmaternal(m, k))
            v.push_back({k, false, has, m.delta_m[k] == 1, m.ew_m[k], m.gstd_m[k], m.ewst_m[k],
                         signedshare(m.ewr_mm[k], m.ew_m[k]), signedshare(m.ewr_ma[k], m.ew_m[k])});
    }
    return v;
}

TraitFields traitfields(const TraitNames& names) {
    TraitFields f;
    for (int k = 1; k <= 35; ++k) {
        f.csv[k] = csvfield(names[k]);
        f.json[k] = jsonstring(names[k]);
    }
    return f;
}

namespace {

// FNV-1a, 64 bits: a name for a text that does not depend on the platform.
std::uint64_t fnv(const std::string& text, std::uint64_t h = 14695981039346656037ULL) {
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ULL;
    }
    return h;
}

} // namespace

// The text of a value, or "" where the files hold no such value.
std::string scenariovalue(const Parameter& p, const Model& m, int k) {
    const double v = p.get(m, k);
    if (!p.fits(m, k, v, nullptr, nullptr)) return "";
    if (p.whole) return std::to_string(static_cast<long long>(v));
    return shortest(static_cast<float>(v));
}

const std::vector<std::string>& scenariocolumns() {
    static const std::vector<std::string> columns = [] {
        std::vector<std::string> c = {"production_systems", "standardisation"};
        for (const Parameter& p : parameters())
            for (int k = 1; k <= (p.pertrait ? 35 : 1); ++k)
                c.push_back(paramcolumn(p, k));
        return c;
    }();
    return columns;
}

size_t scenariofield(const Parameter& p, int trait) {
    size_t at = 2;
    for (const Parameter& q : parameters()) {
        if (&q == &p) return at + static_cast<size_t>(q.pertrait ? trait - 1 : 0);
        at += q.pertrait ? 35 : 1;
    }
    return at;
}

ScenarioFields scenariofields(const Model& m) {
    ScenarioFields f;
    f.values.reserve(scenariocolumns().size());
    f.values.push_back(std::to_string(m.prods));
    f.values.emplace_back(m.gstd == 2 ? "TRUE" : "FALSE");
    for (const Parameter& p : parameters())
        for (int k = 1; k <= (p.pertrait ? 35 : 1); ++k)
            f.values.push_back(scenariovalue(p, m, p.pertrait ? k : 0));
    return f;
}

std::string ScenarioFields::id() const {
    const std::uint64_t h =
        std::accumulate(values.begin(), values.end(), fnv(""),
                        [](std::uint64_t sum, const std::string& v) { return fnv(v + ",", sum); });
    char text[20];
    std::snprintf(text, sizeof text, "s%016llx", static_cast<unsigned long long>(h));
    return text;
}

std::string scenarioheader() {
    std::string h = "scenario";
    for (const std::string& c : scenariocolumns())
        h += "," + c;
    return h + "\n";
}

std::string scenariorow(const ScenarioFields& f) {
    std::string row = f.id();
    for (const std::string& v : f.values) {
        row += ',';
        row += v;
    }
    return row + "\n";
}

RowKey rowkey(const ScenarioFields& f) {
    const auto at = [&](const char* name) {
        return f.values[scenariofield(*findparameter(name), 0)];
    };
    return RowKey{{"scenario", "discount_rate", "period", "traced_group"},
                  {f.id(), at("u"), at("l_inv"), at("n_sac")}};
}

std::string RowKey::header() const {
    std::string h;
    for (const std::string& c : columns)
        h += c + ",";
    return h;
}

std::string RowKey::csv() const {
    std::string h;
    for (const std::string& v : values)
        h += v + ",";
    return h;
}

std::string RowKey::json() const {
    std::string h;
    for (size_t i = 0; i < columns.size(); ++i)
        h += jsonstring(columns[i]) + ":" +
             (columns[i] == "scenario" ? jsonstring(values[i]) : values[i]) + ",";
    return h;
}

RowKey runkey(const Model& m) { return rowkey(scenariofields(m)); }

RowKey flowkey(const ScenarioFields& f) {
    RowKey k = rowkey(f);
    k.columns.erase(k.columns.begin());
    k.values.erase(k.values.begin());
    return k;
}

RowKey flowkey(const Model& m) {
    return RowKey{{"discount_rate", "period", "traced_group"},
                  {shortest(m.u), std::to_string(m.l_inv), std::to_string(m.n_sac)}};
}

std::string weightsheader(bool standardised) {
    std::string h = "trait,name,component,economic_weight";
    if (standardised) h += ",sd,standardised,included,relative_in_component,relative_in_total";
    return h + "\n";
}

namespace {

// Appends the pieces in order.
void put(std::string& out, std::initializer_list<std::string_view> pieces) {
    for (const std::string_view p : pieces)
        out.append(p);
}

} // namespace

void weightrows(const Model& m, const RowKey& key, const TraitFields& names, std::string* csv,
                std::string* json) {
    const bool standard = m.gstd == 2;
    const std::string k = key.csv(), jk = json ? ",\n{" + key.json() : "";
    for (const Component& c : components(m, false)) {
        // The standard deviation of a trait without a weight is not read,
        // and a component left out by its trait pair has no relative
        // weights: those fields stay empty.
        std::string ew, sd, st, within, total;
        appendreal(ew, c.ew);
        if (c.weighted) appendreal(sd, c.sd);
        appendreal(st, c.standardised);
        if (c.included) {
            appendreal(within, c.within);
            appendreal(total, c.total);
        }
        const std::string trait = std::to_string(c.trait);
        const std::string_view component = componentname(c.direct);
        if (csv) {
            put(*csv, {k, trait, ",", names.csv[c.trait], ",", component, ",", ew});
            if (standard)
                put(*csv, {",", sd, ",", st, ",", c.included ? "TRUE" : "FALSE", ",", within, ",",
                           total});
            *csv += '\n';
        }
        if (!json) continue;
        put(*json, {jk, "\"trait\":", trait, ",\"name\":", names.json[c.trait],
                    ",\"component\":\"", component, "\",\"economic_weight\":", ew});
        if (standard)
            put(*json, {",\"sd\":", sd.empty() ? "null" : sd, ",\"standardised\":", st,
                        ",\"included\":", c.included ? "true" : "false", ",\"relative_in_component\":",
                        c.included ? within : "null", ",\"relative_in_total\":",
                        c.included ? total : "null"});
        *json += '}';
    }
}

std::string yearsheader() { return "year,class,share,cumulative\n"; }

void yearrows(const Model& m, const std::string& key, int year, const float* share,
              const float* cumulative, std::string& out) {
    for (int c = 1; c <= m.acm; ++c) {
        out += key;
        out += std::to_string(year);
        out += ',';
        out += std::to_string(c);
        out += ',';
        appendreal(out, share[c]);
        out += ',';
        appendreal(out, cumulative[c]);
        out += '\n';
    }
}

std::string cumulativeheader() { return "class,cumulative\n"; }

void cumulativerows(const Model& m, const std::string& key, std::string& out) {
    for (int c = 1; c <= m.acm; ++c) {
        out += key;
        out += std::to_string(c);
        out += ',';
        appendreal(out, m.m_sum[c]);
        out += '\n';
    }
}

std::string classescsv(const Model& m) {
    const RowKey key = flowkey(m);
    std::string out = key.header() + "class,system,group,age,traceable,cumulative\n";
    for (int c = 1; c <= m.acm; ++c) {
        const ClassInfo info = describeclass(m, c);
        out += key.csv() + std::to_string(c) + "," + info.block.system + "," +
               csvfield(groupname(info)) + "," + std::to_string(info.age) + "," +
               (info.traceable ? "TRUE" : "FALSE") + ",";
        appendreal(out, m.m_sum[c]);
        out += '\n';
    }
    return out;
}

std::string resultsjson(const Model& m, const TraitNames& names) {
    // Keys in the order of the report; the names of the CSV columns.
    const bool standard = m.gstd == 2;
    const ClassInfo traced = describeclass(m, m.n_sac);
    const ScenarioFields fields = scenariofields(m);
    Json scenario = Json::obj();
    scenario.add("scenario", text(fields.id()));
    for (size_t i = 0; i < fields.values.size(); ++i) {
        const std::string& v = fields.values[i];
        scenario.add(scenariocolumns()[i], v.empty()     ? Json::raw("null")
                                           : v == "TRUE"  ? truth(true)
                                           : v == "FALSE" ? truth(false)
                                                          : Json::raw(v));
    }
    Json paths = Json::obj();
    paths.add("sire_path_A", number(static_cast<long long>(m.pgssA)))
        .add("dam_path_A", number(static_cast<long long>(m.pgdsA)));
    if (m.prods == 2)
        paths.add("sire_path_B", number(static_cast<long long>(m.pgssB)))
            .add("dam_path_B", number(static_cast<long long>(m.pgdsB)));
    Json settings = Json::obj();
    settings.add("traced_group_system", text(traced.block.system))
        .add("traced_group_name", text(groupname(traced)))
        .add("traced_group_age", number(static_cast<long long>(traced.age)))
        .add("path_options", paths);
    if (m.prods == 2)
        settings.add("expression_weights", Json::obj().add("A", number(m.pdA)).add("B", number(m.pdB)));
    Json classes = Json::arr();
    for (int c = 1; c <= m.acm; ++c) {
        const ClassInfo info = describeclass(m, c);
        classes.items.push_back(Json::obj()
                                    .add("class", number(static_cast<long long>(c)))
                                    .add("system", text(info.block.system))
                                    .add("group", text(groupname(info)))
                                    .add("age", number(static_cast<long long>(info.age)))
                                    .add("traceable", truth(info.traceable))
                                    .add("cumulative", number(m.m_sum[c])));
    }
    // The weights as the rows of kalp-weights.csv, one object each.
    std::string rows;
    weightrows(m, runkey(m), traitfields(names), nullptr, &rows);
    Json weights = Json::arr();
    for (size_t at = rows.find('{'); at != std::string::npos;) {
        const size_t next = rows.find(",\n{", at);
        weights.items.push_back(Json::raw(rows.substr(at, next == std::string::npos ? next : next - at)));
        at = next == std::string::npos ? next : next + 2;
    }
    Json doc = Json::obj();
    doc.add("program", text("KALP"))
        .add("version", text(KALP_VERSION))
        .add("results_follow", text("KALP Version 1.0.3, 2011"))
        .add("scenario", scenario)
        .add("settings", settings)
        .add("classes", classes)
        .add("weights", weights);
    if (standard) {
        doc.add("sums", Json::obj()
                            .add("direct", number(m.ewsum_d))
                            .add("maternal", number(m.ewsum_m))
                            .add("total", number(m.ewsum)));
        doc.add("shares_percent",
                Json::obj()
                    .add("direct", number(static_cast<float>(sharepercent(m.ewsum_d, m.ewsum))))
                    .add("maternal", number(static_cast<float>(sharepercent(m.ewsum_m, m.ewsum)))));
    }
    std::string out;
    doc.write(out, 0);
    return out + "\n";
}

} // namespace kalp
