// The index in the page: kalp index on the texts in memory, its tables,
// chart and report as its files and console give them, or its stop.
#include <algorithm>
#include <iterator>
#include <memory>

#include "index/index.h"
#include "input/indexfiles.h"
#include "program/index.h"
#include "report/indexreport.h"
#include "report/indexworth.h"
#include "serve/indexform.h"
#include "textio/folder.h"
#include "textio/utf8.h"

namespace kalp {

using json = nlohmann::json;

namespace {

// A table of the index's files as the page gets it: its columns, the
// cells of its first `most` rows as the file writes them, and how many
// rows it has.
json tablejson(const tables::Table& t, size_t most) {
    json rows = json::array();
    for (const auto& r : t.rows) {
        if (rows.size() == most) break;
        json cells = json::array();
        std::transform(r.begin(), r.end(), std::back_inserter(cells),
                       [](const tables::Cell& c) { return asutf8(c.text); });
        rows.push_back(std::move(cells));
    }
    return {{"columns", t.columns}, {"rows", std::move(rows)}, {"total", t.rows.size()}};
}

json resultjson(const IndexRun& run, const IndexShown& shown) {
    const IndexView& v = *run.view;
    const auto table = [&](const char* id, const tables::Table& t) {
        return tablejson(t, shown.all.count(id) ? t.rows.size() : shown.rows);
    };
    return {{"tables",
             {{"index", table("index", indextable(v))},
              {"response", table("response", responsetable(v))},
              {"weights", table("weights", weightstable(v))},
              {"sources", table("sources", sourcestable(v))},
              {"sensitivity", table("sensitivity", sensitivitytable(v))}}},
            {"chart", indexchart(v)}};
}

std::string sourcewords(const IndexData& d, Path path, const IndexSource& s) {
    return std::string(pathname(path)) + ": " + sourcename(s.source) + " " +
           d.traits[static_cast<size_t>(s.trait)].name;
}

// The correlations that bending moved, as the page lists them, and the
// cells of the tables they come from: a genetic correlation between two
// components; between two sources of different traits, their phenotypic
// correlation and the two sources.
json bentjson(const IndexRun& run, json& marks) {
    const IndexData& d = run.in.data;
    const IndexResult& r = *run.result;
    json list = json::array();
    const auto comp = [&](Eigen::Index i) { return r.components[static_cast<size_t>(i)]; };
    const auto name = [&](int trait) { return d.traits[static_cast<size_t>(trait)].name; };
    const auto genetic = [&](const IndexComponent& a, const IndexComponent& b) {
        if (a.trait == b.trait) {
            marks.push_back({{"file", indexfiles()[0].name}, {"key", name(a.trait)}, {"column", "r_direct_maternal"}});
            return;
        }
        const std::string x = name(a.trait) + " " + effectname(a.effect), y = name(b.trait) + " " + effectname(b.effect);
        marks.push_back({{"file", indexfiles()[1].name}, {"key", "genetic|" + std::min(x, y) + "|" + std::max(x, y)}});
    };
    for (const Moved& m : r.bentgenetic) {
        list.push_back({{"between", componenttext(d, comp(m.i))}, {"and", componenttext(d, comp(m.j))},
                        {"given", m.before}, {"bent", m.after}});
        genetic(comp(m.i), comp(m.j));
    }
    for (const PathIndex& p : r.paths) {
        const auto n = static_cast<Eigen::Index>(p.sources.size());
        const auto words = [&](Eigen::Index i) {
            return i < n ? sourcewords(d, p.path, p.sources[static_cast<size_t>(i)])
                         : std::string(pathname(p.path)) + ": the candidate's " + componenttext(d, comp(i - n));
        };
        for (const Moved& m : p.bent) {
            list.push_back({{"between", words(m.i)}, {"and", words(m.j)}, {"given", m.before}, {"bent", m.after}});
            if (m.i >= n && m.j >= n) genetic(comp(m.i - n), comp(m.j - n));
            if (m.i >= n || m.j >= n) continue;
            const IndexSource &a = p.sources[static_cast<size_t>(m.i)], &b = p.sources[static_cast<size_t>(m.j)];
            const auto source = [&](const IndexSource& s) {
                return json{{"file", indexfiles()[2].name},
                            {"key", std::string(pathname(p.path)) + "|" + sourcename(s.source) + "|" + name(s.trait)}};
            };
            marks.push_back(source(a));
            marks.push_back(source(b));
            if (a.trait != b.trait) {
                const std::string x = name(a.trait), y = name(b.trait);
                marks.push_back({{"file", indexfiles()[1].name}, {"key", "phenotypic|" + std::min(x, y) + "|" + std::max(x, y)}});
            }
        }
    }
    return list;
}

} // namespace

json indexresult(const Texts& texts, const Outcome& o, const IndexDocs& docs, const IndexShown& shown) {
    const MemoryFolder folder(texts);
    Options options;
    options.command = Options::Command::index;
    auto run = std::make_unique<IndexRun>();
    try {
        runindex(folder, options, *run, &o);
        return {{"result", resultjson(*run, shown)}};
    } catch (const RunStop& stop) {
        json place = stopplace(stop, docs);
        place["report"] = asutf8(stop.report());
        if (!stop.detail.empty()) place["detail"] = asutf8(stop.detail);
        json out = {{"stop", place}};
        // Parameters that are not possible together: what bending them
        // would move, and the index it would give, for the page to offer.
        if (!stop.file.empty() || stop.kind != StopKind::input) return out;
        options.bend = true;
        auto bent = std::make_unique<IndexRun>();
        try {
            runindex(folder, options, *bent, &o);
        } catch (const RunStop&) {
            return out;
        }
        json marks = json::array();
        json moved = bentjson(*bent, marks);
        if (moved.empty()) return out;
        out["stop"]["marks"] = marks;
        out["bent"] = {{"moved", moved}, {"result", resultjson(*bent, shown)}};
        return out;
    }
}

} // namespace kalp
