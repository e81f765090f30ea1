#include "report/scenarios.h"

#include <cstdint>
#include <cstdio>
#include <numeric>

#include "report/exports.h"
#include "textio/numbers.h"

namespace kalp {

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
    std::string fix;
    const double v = p.get(m, k);
    if (!p.fits(m, k, v, fix).empty()) return "";
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

} // namespace kalp
