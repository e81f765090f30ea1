#include "report/scenarios.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <numeric>

#include "report/exports.h"
#include "textio/numbers.h"
#include "textio/stream.h"

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

std::string hex(char letter, std::uint64_t h) {
    char text[20];
    std::snprintf(text, sizeof text, "%c%016llx", letter, static_cast<unsigned long long>(h));
    return text;
}

// The shortest text that reads back as the same double: the age weights
// are read as doubles.
std::string shortestdouble(double v) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

// The values read that have no column of their own, "name=value;" each
// by the names of the dump, in the order the files give them; only the
// values that the files hold for this scenario (the given paths only when
// their option is 1, the pair choices only with standardisation).
class Inputs {
public:
    explicit Inputs(const Model& m) {
        system(m.RRA, m.l4RA, m.LLA, m.l4EA, "A");
        real("ageR11A", m.ageR11A);
        real("ageE1A", m.ageE1A);
        if (m.prods == 2) {
            system(m.RRB, m.l4RB, m.LLB, m.l4EB, "B");
            real("ageR11B", m.ageR11B);
            real("ageR12A", m.ageR12A);
            real("ageE1B", m.ageE1B);
            for (int i = 1; i <= m.LLB && i < L; ++i)
                real(indexed("pcrossE", i), m.pcrossE[i]);
            real("pdA", m.pdA);
            real("pdB", m.pdB);
        }
        whole("pgssA", m.pgssA);
        whole("pgdsA", m.pgdsA);
        path(m, m.pgssA, 1, 1, m.acsA);
        path(m, m.pgdsA, 1, m.acsA + 1, m.acdA);
        if (m.prods == 2) {
            whole("pgssB", m.pgssB);
            whole("pgdsB", m.pgdsB);
            const Blocks b = blocks(m);
            path(m, m.pgssB, b.s2 + 1, b.s2 + 1, m.acsB);
            path(m, m.pgdsB, b.s2 + 1, b.s3 + 1, m.acdB);
        }
        if (m.gstd == 2)
            for (int k = 1; k <= 6; ++k)
                whole(indexed("flag", k), m.flag[k]);
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
    void put(const std::string& name, const std::string& value) {
        text_ += name + "=" + value + ";";
    }
    void whole(const std::string& name, int v) { put(name, std::to_string(v)); }
    void real(const std::string& name, float v) { put(name, shortest(v)); }
    void system(int rams, const double* lr, int ewes, const double* le, const char* sys) {
        const std::string r = std::string("RR") + sys, e = std::string("LL") + sys;
        whole(r, rams);
        for (int i = 1; i <= rams && i < R; ++i)
            put(indexed(("l4R" + std::string(sys)).c_str(), i), shortestdouble(lr[i]));
        whole(e, ewes);
        for (int i = 1; i <= ewes && i < L; ++i)
            put(indexed(("l4E" + std::string(sys)).c_str(), i), shortestdouble(le[i]));
    }
    // The shares of a path given in its record: classes first .. first+n-1
    // of row `row` of P.
    void path(const Model& m, int option, int row, int first, int n) {
        if (option != 1) return;
        for (int j = first; j < first + n && j < ACM; ++j)
            real(indexed("P", row, j), m.P[row][j]);
    }
};

} // namespace

std::string inputstext(const Model& m) { return Inputs(m).text(); }

std::string inputsdigest(const Model& m) { return hex('i', fnv(inputstext(m))); }

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
        c.emplace_back("inputs");
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
    f.values.push_back(inputsdigest(m));
    return f;
}

std::string ScenarioFields::id() const {
    const std::uint64_t h =
        std::accumulate(values.begin(), values.end(), fnv(""),
                        [](std::uint64_t sum, const std::string& v) { return fnv(v + ",", sum); });
    return hex('s', h);
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
