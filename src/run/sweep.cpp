#include "run/sweep.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/stop.h"
#include "input/standards.h"
#include "model/finite.h"
#include "model/geneflow.h"
#include "model/standardise.h"
#include "model/weights.h"
#include "report/charts.h"
#include "report/progress.h"

namespace kalp {

namespace {

// More values than anyone sweeps; it keeps the scenarios countable.
constexpr long long mostvalues = 100000;
constexpr long long mostscenarios = 1000000;

// A plain decimal number: optional sign, digits, optional point and
// digits, as scaled units: 0.05 is 5 units of 10^-2.
bool parsedecimal(const std::string& t, long long& units, int& places) {
    size_t i = t[0] == '-' || t[0] == '+' ? 1 : 0;
    units = 0;
    places = -1;
    int digits = 0;
    for (; i < t.size(); ++i) {
        if (t[i] == '.' && places < 0) {
            places = 0;
            continue;
        }
        if (t[i] < '0' || t[i] > '9' || ++digits > 15) return false;
        units = units * 10 + (t[i] - '0');
        if (places >= 0) ++places;
    }
    if (digits == 0) return false;
    if (places < 0) places = 0;
    if (t[0] == '-') units = -units;
    return true;
}

std::string formatunits(long long units, int places) {
    const unsigned long long whole = units < 0 ? -static_cast<unsigned long long>(units) : units;
    unsigned long long scale = 1;
    for (int p = 0; p < places; ++p)
        scale *= 10;
    char text[64];
    if (places == 0)
        std::snprintf(text, sizeof text, "%s%llu", units < 0 ? "-" : "", whole);
    else
        std::snprintf(text, sizeof text, "%s%llu.%0*llu", units < 0 ? "-" : "", whole / scale,
                      places, whole % scale);
    return text;
}

// A value as the input files read it: "%f" for the discount rate, "%d"
// (which may be followed by a point and zeros, as 20.0) for the others.
bool sweptfloat(const std::string& t, float& v) {
    if (t.empty() || t.find_first_of("xX") != std::string::npos) return false;
    char* end = nullptr;
    v = std::strtof(t.c_str(), &end);
    return *end == '\0' && std::isfinite(v);
}

bool sweptint(const std::string& t, int& v) {
    if (t.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long x = std::strtol(t.c_str(), &end, 10);
    if (end == t.c_str() || errno == ERANGE || x < INT_MIN || x > INT_MAX) return false;
    if (*end == '.')
        for (++end; *end == '0';)
            ++end;
    v = static_cast<int>(x);
    return *end == '\0';
}

std::vector<std::string> split(const std::string& s, char by) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = s.find(by, from)) != std::string::npos; from = at + 1)
        parts.push_back(s.substr(from, at - from));
    parts.push_back(s.substr(from));
    return parts;
}

// The plan of a sweep: the values of the three parameters.
struct Plan {
    std::vector<float> u;
    std::vector<int> l_inv, n_sac;
    int first = 0; // the parameter of the chart's x axis: 0 u, 1 l_inv, 2 n_sac
    int longest = 0;
};

// What the scenarios of one discount rate and one traced group give.
struct Result {
    std::string csv, flow, json;
    std::string error;                     // the report when a scenario fails
    std::vector<std::array<double, 3>> on; // chart points: component, x, y
    bool done = false;
};

// Standard deviations as a normal run reads them: only for the traits with
// a weight, so they depend on which traits have one.
class Deviations {
public:
    // gstd_d and gstd_m for the weights in `m`; a report when reading fails.
    std::string read(Model& m) {
        unsigned long long mask = 0;
        for (int k = 1; k <= 35; ++k)
            if (hasweight(m, k)) mask |= 1ULL << k;
        std::lock_guard<std::mutex> lock(mu_);
        auto found = known_.find(mask);
        if (found == known_.end()) found = known_.emplace(mask, load(m)).first;
        const Entry& e = found->second;
        std::copy(std::begin(e.d), std::end(e.d), m.gstd_d);
        std::copy(std::begin(e.m), std::end(e.m), m.gstd_m);
        return e.error;
    }

private:
    struct Entry {
        float d[NT] = {}, m[NT] = {};
        std::string error;
    };
    static Entry load(const Model& from) {
        auto scratch = std::make_unique<Model>(from);
        Entry e;
        Streams s;
        s.quiet = true;
        try {
            s.res = opensink();
            readdeviations(*scratch, s);
            closeout(s.res);
        } catch (const RunStop& stop) {
            closein(s.in);
            if (s.res.fp) std::fclose(s.res.fp);
            e.error = stop.report;
        }
        std::copy(std::begin(scratch->gstd_d), std::end(scratch->gstd_d), e.d);
        std::copy(std::begin(scratch->gstd_m), std::end(scratch->gstd_m), e.m);
        return e;
    }
    std::mutex mu_;
    std::map<unsigned long long, Entry> known_;
};

// The rows of one scenario.
struct Rows {
    const TraitNames& names;
    std::array<std::string, NT> csvnames, jsonnames;
    bool json;
};

// The relative weights of a component, or empty fields when its trait
// pair leaves it out of the sums.
void appendrelative(std::string& out, const Component& c, const char* between, const char* none) {
    if (!c.included) {
        out += none;
        out += between;
        out += none;
        return;
    }
    append9(out, c.within);
    out += between;
    append9(out, c.total);
}

void appendscenario(const Model& m, const Rows& rows, Result& r, const std::string& key,
                    const std::string& jsonkey) {
    const bool standard = m.gstd == 2;
    for (const Component& x : components(m)) {
        const std::string trait = std::to_string(x.trait);
        std::string& c = r.csv;
        c += key;
        c += trait;
        c += ',';
        c += rows.csvnames[x.trait];
        c += ',';
        c += componentname(x.direct);
        c += ',';
        append9(c, x.ew);
        if (standard) {
            c += ',';
            append9(c, x.standardised);
            c += ',';
            appendrelative(c, x, ",", "");
        }
        c += '\n';
        if (!rows.json) continue;
        std::string& j = r.json;
        j += jsonkey;
        j += "\"trait\":";
        j += trait;
        j += ",\"name\":";
        j += rows.jsonnames[x.trait];
        j += ",\"component\":\"";
        j += componentname(x.direct);
        j += "\",\"economic_weight\":";
        append9(j, x.ew);
        if (standard) {
            j += ",\"standardised\":";
            append9(j, x.standardised);
            j += ",\"relative_in_component\":";
            appendrelative(j, x, ",\"relative_in_total\":", "null");
        }
        j += "},\n";
    }
}

// The chart's value of each trait component: the relative weight within the
// total with standardisation, else the economic weight.
void chartpoints(const Model& m, double x, Result& r) {
    for (const Component& c : components(m, false)) {
        if (m.gstd == 2 && !c.included) continue;
        r.on.push_back({2.0 * c.trait + (c.direct ? 0 : 1), x, m.gstd == 2 ? c.total : c.ew});
    }
}

// "In the sweep scenario u = 0.02, l_inv = 5, n_sac = 1:" before the
// report of a normal run.
std::string inscenario(const std::string& report, const std::string& u, const std::string& l,
                       const std::string& n) {
    const std::string head = "\nError message:\n";
    if (report.rfind(head, 0) != 0) return report;
    return head + "In the sweep scenario u = " + u + ", l_inv = " + l + ", n_sac = " + n + ":\n" +
           report.substr(head.size());
}

// The scenarios of discount rate ui and traced group ni, over all periods:
// one gene flow to the longest period serves every shorter one, since the
// discounted sum after T years does not depend on the years that follow.
void runjob(const Model& base, const Plan& plan, int ui, int ni, Deviations& deviations,
            const Rows& rows, Result& r) {
    auto mine = std::make_unique<Model>(base);
    Model& m = *mine;
    m.u = plan.u[ui];
    m.n_sac = plan.n_sac[ni];
    m.l_inv = plan.longest;
    std::fill(std::begin(m.m_gf), std::end(m.m_gf), 0.0f);
    std::fill(std::begin(m.m_gft), std::end(m.m_gft), 0.0f);
    std::fill(std::begin(m.m_sum), std::end(m.m_sum), 0.0f);
    std::map<int, std::array<float, ACM>> sums;
    for (int years : plan.l_inv)
        sums[years];
    geneflow(m, [&](const Model& g, int t) {
        const auto at = sums.find(t);
        if (at != sums.end()) std::copy(std::begin(g.m_sum), std::end(g.m_sum), at->second.begin());
    });
    const std::string u = shortest(m.u), n = std::to_string(m.n_sac);
    for (size_t li = 0; li < plan.l_inv.size(); ++li) {
        const int years = plan.l_inv[li];
        const std::string l = std::to_string(years);
        m.l_inv = years;
        const auto& sum = sums[years];
        std::copy(sum.begin(), sum.end(), m.m_sum);
        try {
            economicweights(m);
            if (m.gstd == 2) {
                const std::string error = deviations.read(m);
                if (!error.empty()) throw RunStop{error};
                for (float* a : {m.ewst_d, m.ewst_m, m.ewr_dd, m.ewr_da, m.ewr_mm, m.ewr_ma})
                    std::fill(a, a + NT, 0.0f);
                standardise(m);
                requirefinitestandardised(m);
            }
        } catch (const RunStop& stop) {
            r.error = inscenario(stop.report, u, l, n);
            return;
        }
        std::string key = u, jsonkey = "{\"u\":";
        key += ',';
        key += l;
        key += ',';
        key += n;
        key += ',';
        jsonkey += u;
        jsonkey += ",\"l_inv\":";
        jsonkey += l;
        jsonkey += ",\"n_sac\":";
        jsonkey += n;
        jsonkey += ',';
        appendscenario(m, rows, r, key, jsonkey);
        for (int c = 1; c <= m.acm; ++c) {
            r.flow += key;
            r.flow += std::to_string(c);
            r.flow += ',';
            append9(r.flow, m.m_sum[c]);
            r.flow += '\n';
        }
        // The chart follows the first parameter, the others at their first value.
        const int index[3] = {ui, static_cast<int>(li), ni};
        bool onchart = true;
        for (int p = 0; p < 3; ++p)
            if (p != plan.first && index[p] != 0) onchart = false;
        if (onchart) {
            const double x[3] = {m.u, static_cast<double>(years), static_cast<double>(m.n_sac)};
            chartpoints(m, x[plan.first], r);
        }
    }
}

Plan makeplan(const Model& base, const std::vector<Sweep>& sweeps) {
    Plan plan;
    plan.u = {base.u};
    plan.l_inv = {base.l_inv};
    plan.n_sac = {base.n_sac};
    const int bound = base.prods == 1 ? base.acm - 1 : base.acm - 3;
    for (size_t i = 0; i < sweeps.size(); ++i) {
        const Sweep& s = sweeps[i];
        const int p = s.name == "u" ? 0 : s.name == "l_inv" ? 1 : 2;
        if (i == 0) plan.first = p;
        if (p == 0) plan.u.clear();
        if (p == 1) plan.l_inv.clear();
        if (p == 2) plan.n_sac.clear();
        for (const double value : s.values) {
            const int v = static_cast<int>(value);
            if (p == 0) plan.u.push_back(static_cast<float>(value));
            if (p > 0) (p == 1 ? plan.l_inv : plan.n_sac).push_back(v);
            if (p == 2 && v > bound)
                fail("The option --sweep n_sac gives the traced sex and age group " +
                         std::to_string(v) + ", outside the class table of the input files.",
                     "Give traced groups from 1 to " + std::to_string(bound) +
                         " (kalp --classes lists them) and restart the program.");
        }
    }
    plan.longest = *std::max_element(plan.l_inv.begin(), plan.l_inv.end());
    return plan;
}

const char* parameterlabel(int p) {
    const char* labels[] = {"Discount rate", "Period of the gene flow (years)",
                            "Traced sex and age group"};
    return labels[p];
}

std::string sweepchart(const Model& base, const Plan& plan, const TraitNames& names,
                       const std::vector<std::array<double, 3>>& points) {
    std::map<int, Line> lines;
    for (const auto& [key, x, y] : points) {
        const int k = static_cast<int>(key) / 2;
        Line& l = lines[static_cast<int>(key)];
        if (l.label.empty()) {
            const bool direct = static_cast<int>(key) % 2 == 0;
            // Long names are cut so that the legend keeps its columns.
            std::string name = names[k];
            if (name.size() > 44) name.replace(42, std::string::npos, "...");
            l.label = std::to_string(k) + " " + name + ", " + componentname(direct);
            l.dashed = !direct;
        }
        l.x.push_back(x);
        l.y.push_back(y);
    }
    std::vector<Line> drawn;
    for (auto& [key, l] : lines) {
        bool weighted = false;
        for (double y : l.y)
            weighted = weighted || std::fabs(y) >= 1e-6;
        if (weighted) drawn.push_back(std::move(l));
    }
    std::string others;
    const std::string values[3] = {"discount rate " + shortest(plan.u[0]),
                                   "period " + std::to_string(plan.l_inv[0]) +
                                       (plan.l_inv[0] == 1 ? " year" : " years"),
                                   "traced group " + std::to_string(plan.n_sac[0])};
    for (int p = 0; p < 3; ++p)
        if (p != plan.first) others += (others.empty() ? "" : ", ") + values[p];
    const bool standard = base.gstd == 2;
    const std::string title =
        std::string(standard ? "Relative economic weights" : "Economic weights") + " against the " +
        (plan.first == 0   ? "discount rate"
         : plan.first == 1 ? "period"
                           : "traced group") +
        " (" + others + ")";
    return lineschart(title, parameterlabel(plan.first),
                      standard ? "Relative weight within the total (%)" : "Economic weight", drawn);
}

} // namespace

std::vector<std::string> rangetexts(const std::string& range) {
    const auto parts = split(range, ':');
    if (parts.size() != 3) throw BadSweep("a range is START:STOP:STEP, such as 0:0.1:0.01");
    long long v[3];
    int places[3];
    for (int i = 0; i < 3; ++i)
        if (!parsedecimal(parts[i], v[i], places[i]))
            throw BadSweep("\"" + parts[i] + "\" in " + range + " is no plain decimal number");
    const int most = std::max({places[0], places[1], places[2]});
    for (int i = 0; i < 3; ++i)
        for (int p = places[i]; p < most; ++p) {
            if (std::llabs(v[i]) > LLONG_MAX / 100) throw BadSweep(range + " has too many digits");
            v[i] *= 10;
        }
    const long long start = v[0], stop = v[1], step = v[2];
    if (step == 0) throw BadSweep("the step of " + range + " is 0");
    if ((stop - start) / step < 0 || (stop != start && (stop - start > 0) != (step > 0)))
        throw BadSweep("the range " + range + " runs the wrong way for its step");
    const long long count = (stop - start) / step + 1;
    if (count > mostvalues) throw BadSweep(range + " gives more than 100000 values");
    std::vector<std::string> texts;
    for (long long k = 0; k < count; ++k)
        texts.push_back(formatunits(start + k * step, most));
    return texts;
}

Sweep parsesweep(const std::string& arg) {
    const size_t eq = arg.find('=');
    if (eq == std::string::npos) throw BadSweep("write NAME=VALUES, such as u=0.02,0.05");
    Sweep s{arg.substr(0, eq), {}, {}};
    const std::string values = arg.substr(eq + 1);
    if (s.name != "u" && s.name != "l_inv" && s.name != "n_sac")
        throw BadSweep("NAME is u (discount rate), l_inv (period in years) or n_sac (traced "
                       "group), not \"" +
                       s.name + "\"");
    s.texts = values.find(':') != std::string::npos ? rangetexts(values) : split(values, ',');
    for (const std::string& t : s.texts) {
        float f = 0;
        int v = 0;
        if (s.name == "u" && !sweptfloat(t, f))
            throw BadSweep("\"" + t + "\" is no decimal number for the discount rate");
        if (s.name == "u" && f <= -1) throw BadSweep("the discount rate " + t + " is not above -1");
        if (s.name != "u" && !sweptint(t, v))
            throw BadSweep("\"" + t + "\" is no whole number for " + s.name);
        if (s.name != "u" && v < 1) throw BadSweep(s.name + " " + t + " is below 1");
        s.values.push_back(s.name == "u" ? static_cast<double>(f) : v);
    }
    return s;
}

void runsweeps(const Model& base, const std::vector<Sweep>& sweeps, bool json, bool plot,
               const TraitNames& names, std::vector<Export>& finished) {
    const Plan plan = makeplan(base, sweeps);
    const size_t jobs = plan.u.size() * plan.n_sac.size();
    const long long scenarios = static_cast<long long>(jobs) * plan.l_inv.size();
    if (scenarios > mostscenarios)
        fail("The sweep asks for " + std::to_string(scenarios) + " scenarios.",
             "Sweep at most " + std::to_string(mostscenarios) +
                 " combinations of values and restart the program.");
    Rows rows{names, {}, {}, json};
    for (int k = 1; k <= 35; ++k) {
        rows.csvnames[k] = csvfield(names[k]);
        rows.jsonnames[k] = nlohmann::json(names[k]).dump();
    }

    Export csv = beginexport("kalp-sweep.csv");
    finished.push_back(csv);
    Export flow = beginexport("kalp-sweep-geneflow.csv");
    finished.push_back(flow);
    Export js;
    if (json) {
        js = beginexport("kalp-sweep.json");
        finished.push_back(js);
        std::fputs("[\n", js.fp);
    }
    std::fputs(base.gstd == 2 ? "u,l_inv,n_sac,trait,name,component,economic_weight,standardised,"
                                "relative_in_component,relative_in_total\n"
                              : "u,l_inv,n_sac,trait,name,component,economic_weight\n",
               csv.fp);
    std::fputs("u,l_inv,n_sac,class,cumulative\n", flow.fp);

    // Scenarios of different discount rates and traced groups are
    // independent: workers take them in order, the results are written in
    // order as they come.
    std::vector<Result> results(jobs);
    std::mutex mu;
    std::condition_variable ready;
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    Deviations deviations;
    const unsigned cores = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    std::vector<std::thread> workers;
    for (unsigned w = 0; w < std::min<size_t>(cores, jobs); ++w)
        workers.emplace_back([&] {
            for (size_t j; !stop && (j = next++) < jobs;) {
                Result r;
                runjob(base, plan, static_cast<int>(j / plan.n_sac.size()),
                       static_cast<int>(j % plan.n_sac.size()), deviations, rows, r);
                r.done = true;
                std::lock_guard<std::mutex> lock(mu);
                results[j] = std::move(r);
                ready.notify_all();
            }
        });
    auto finish = [&] {
        stop = true;
        for (std::thread& t : workers)
            t.join();
        workers.clear();
    };
    std::vector<std::array<double, 3>> points;
    Progress progress = startprogress("Sweep", "scenarios");
    try {
        bool firstrow = true;
        for (size_t j = 0; j < jobs; ++j) {
            Result r;
            {
                std::unique_lock<std::mutex> lock(mu);
                ready.wait(lock, [&] { return results[j].done; });
                r = std::move(results[j]);
                results[j] = Result{};
            }
            if (!r.error.empty()) throw RunStop{r.error};
            std::fwrite(r.csv.data(), 1, r.csv.size(), csv.fp);
            std::fwrite(r.flow.data(), 1, r.flow.size(), flow.fp);
            if (json && !r.json.empty()) {
                // Objects are separated by commas: the last one of a job
                // gets its comma when the next one follows.
                r.json.pop_back();
                r.json.pop_back();
                if (!firstrow) std::fputs(",\n", js.fp);
                std::fwrite(r.json.data(), 1, r.json.size(), js.fp);
                firstrow = false;
            }
            points.insert(points.end(), r.on.begin(), r.on.end());
            showprogress(progress, static_cast<long>((j + 1) * plan.l_inv.size()), scenarios);
        }
    } catch (...) {
        endprogress(progress);
        finish();
        throw;
    }
    endprogress(progress);
    finish();
    if (json) std::fputs("\n]\n", js.fp);
    for (Export& e : finished)
        endexport(e);
    if (plot) {
        Export svg = beginexport("kalp-sweep.svg");
        finished.push_back(svg);
        const std::string text = sweepchart(base, plan, names, points);
        std::fputs(text.c_str(), finished.back().fp);
        endexport(finished.back());
    }
}

} // namespace kalp
