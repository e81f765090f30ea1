#include "serve/indexform.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "core/indexdata.h"
#include "input/indexfiles.h"
#include "model/classes.h"
#include "textio/utf8.h"

namespace kalp {

using json = nlohmann::json;

namespace {

enum { traitsfile, correlationsfile, sourcesfile, selectionfile };

std::string cell(const IndexCells& c, const char* column) {
    const auto x = c.find(column);
    return x == c.end() ? "" : x->second;
}

// A parameter of a trait above 0, as the reader takes it.
bool positive(const IndexDoc& d, const IndexCells& c, const char* column) {
    double v = 0;
    return csvnumber(cell(c, column), d.decimalcomma(), v) && v > 0;
}

// A trait as the tables show it: by its key, with KALP's number and name,
// whether it is a trait of the ewe, and the parameters that give it a
// maternal component and a litter effect.
struct Shown {
    std::string key;
    IndexTrait trait;
    bool intable = true; // a row of index-traits.csv
    bool litter = false;
};

int kalpnumber(const std::string& key) {
    if (key.empty() || key.size() > 2 || key.find_first_not_of("0123456789") != std::string::npos) return 0;
    const int k = std::stoi(key);
    return k >= 1 && k < NT ? k : 0;
}

Shown shown(const std::string& key) {
    Shown s;
    s.key = key;
    s.trait.name = key;
    s.trait.number = kalpnumber(key);
    s.trait.ewe = s.trait.number && traittype(s.trait.number) == 1;
    return s;
}

// The traits of the tables: those of index-traits.csv in their order,
// then those that other rows name without a row there.
std::vector<Shown> traitsof(const IndexDocs& docs) {
    std::vector<Shown> out;
    std::set<std::string> seen;
    const IndexDoc& t = *docs[traitsfile];
    for (const IndexDoc::Row& r : t.rows) {
        Shown s = shown(r.key);
        s.trait.h2m = positive(t, r.cells, "h2_maternal") ? 1 : 0;
        s.litter = positive(t, r.cells, "c2");
        seen.insert(r.key);
        out.push_back(s);
    }
    const auto named = [&](const std::string& key) {
        if (!key.empty() && seen.insert(key).second) {
            out.push_back(shown(key));
            out.back().intable = false;
        }
    };
    for (const IndexDoc::Row& r : docs[correlationsfile]->rows) {
        named(traitkey(cell(r.cells, "trait_a")));
        named(traitkey(cell(r.cells, "trait_b")));
    }
    for (const IndexDoc::Row& r : docs[sourcesfile]->rows)
        named(traitkey(cell(r.cells, "trait")));
    return out;
}

json filesjson(const IndexDocs& docs, bool rows) {
    json files = json::object();
    for (size_t k = 0; k < docs.size(); ++k) {
        const IndexDoc& d = *docs[k];
        json f = {{"exists", d.exists}, {"readable", d.readable}, {"decimalcomma", d.decimalcomma()}};
        if (!d.readable) f["why"] = asutf8(d.why);
        json other = json::array();
        for (const size_t i : d.other) {
            const CsvRecord& r = d.records[i];
            std::string text = d.body.substr(r.begin, r.end - r.begin);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            other.push_back({{"line", r.line}, {"text", asutf8(text)}});
        }
        f["other"] = other;
        if (rows) {
            json list = json::array();
            std::transform(d.rows.begin(), d.rows.end(), std::back_inserter(list), [](const IndexDoc::Row& r) {
                return json{{"key", r.key}, {"cells", r.cells}};
            });
            f["rows"] = list;
        }
        files[indextables()[k].file] = f;
    }
    return files;
}

// What the tables show: the traits, the components of the genetic
// triangle, the traits with a litter effect, the sources each path may
// use of each trait, the traced groups of the selection and KALP's traits
// to add.
json layoutjson(const IndexDocs& docs, const Outcome& o, const TraitNames& names) {
    const std::vector<Shown> traits = traitsof(docs);
    json list = json::array(), components = json::array(), litter = json::array(), allowed = json::object();
    std::set<std::string> comps, withlitter;
    for (const Shown& s : traits) {
        const std::string& k = s.key;
        list.push_back({{"key", k},
                        {"number", s.trait.number},
                        {"name", s.trait.number ? names[static_cast<size_t>(s.trait.number)] : k},
                        {"ewe", s.trait.ewe},
                        {"intable", s.intable}});
        for (const Effect e : {Effect::direct, Effect::maternal})
            if (s.intable && hascomponent(s.trait, e)) comps.insert(k + " " + effectname(e));
        if (s.intable && s.litter) withlitter.insert(k);
        json paths = json::object();
        for (const Path p : {Path::rams, Path::ewes}) {
            json sources = json::array();
            for (int x = 0; x < sourcecount; ++x)
                if (!s.intable || sourceallowed(s.trait, p, static_cast<Source>(x)))
                    sources.push_back(sourcename(static_cast<Source>(x)));
            paths[pathname(p)] = sources;
        }
        allowed[k] = paths;
    }
    // Components and traits that rows of the file give beyond those: the
    // page shows their values, marked, so that none goes unseen.
    for (const IndexDoc::Row& r : docs[correlationsfile]->rows) {
        const std::string kind = lowercase(cell(r.cells, "kind"));
        for (const char* end : {"a", "b"}) {
            const std::string trait = traitkey(cell(r.cells, (std::string("trait_") + end).c_str()));
            if (kind == "genetic")
                comps.insert(trait + " " + lowercase(cell(r.cells, (std::string("component_") + end).c_str())));
            if (kind == "litter") withlitter.insert(trait);
        }
    }
    for (const Shown& s : traits)
        for (const Effect e : {Effect::direct, Effect::maternal}) {
            const std::string c = s.key + " " + effectname(e);
            if (!comps.count(c)) continue;
            components.push_back({{"key", c},
                                  {"trait", s.key},
                                  {"effect", effectname(e)},
                                  {"has", s.intable && hascomponent(s.trait, e)}});
        }
    for (const Shown& s : traits)
        if (withlitter.count(s.key)) litter.push_back({{"key", s.key}, {"has", s.intable && s.litter}});
    json classes = json::array();
    if (o.model && o.model->acm > 0 && o.model->acm < ACM)
        for (int c = 1; c <= tracedbound(*o.model); ++c)
            classes.push_back({{"value", std::to_string(c)},
                               {"label", std::to_string(c) + ": " + groupname(describeclass(*o.model, c))}});
    json kalptraits = json::array();
    for (int k = 1; k < NT; ++k)
        kalptraits.push_back({{"number", k}, {"name", names[static_cast<size_t>(k)]}});
    return {{"traits", list},       {"components", components}, {"litter", litter},
            {"allowed", allowed},   {"classes", classes},       {"kalptraits", kalptraits},
            {"paths", {pathname(Path::rams), pathname(Path::ewes)}},
            {"sources", [] {
                 json s = json::array();
                 for (int x = 0; x < sourcecount; ++x)
                     s.push_back(sourcename(static_cast<Source>(x)));
                 return s;
             }()}};
}

// A cell of a table in the words of the page.
std::string cellwords(size_t file, const IndexDoc::Row& r, const std::string& column) {
    const auto c = [&](const char* name) { return cell(r.cells, name); };
    switch (file) {
    case traitsfile: return "\"" + column + "\" of trait " + r.key + " in the traits";
    case correlationsfile:
        return "the " + lowercase(c("kind")) + " correlation of " + traitkey(c("trait_a")) +
               (c("component_a").empty() ? "" : " " + lowercase(c("component_a"))) + " and " +
               traitkey(c("trait_b")) + (c("component_b").empty() ? "" : " " + lowercase(c("component_b")));
    case sourcesfile:
        return "the records of the " + lowercase(c("source")) + " of trait " + traitkey(c("trait")) + " for the " +
               lowercase(c("path"));
    default: return "\"" + column + "\" of the " + r.key;
    }
}

} // namespace

const std::vector<std::string>& indexfilenames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n(indextables().size());
        std::transform(indextables().begin(), indextables().end(), n.begin(),
                       [](const IndexTable& t) { return std::string(t.file); });
        n.emplace_back(desiredfile);
        return n;
    }();
    return names;
}

IndexDocs readindexdocs(const Texts& texts) {
    IndexDocs docs;
    for (const IndexTable& t : indextables()) {
        const auto text = texts.find(t.file);
        docs.push_back(std::make_shared<const IndexDoc>(readindexdoc(t, text == texts.end() ? nullptr : &text->second)));
    }
    return docs;
}

std::optional<Unwritable> composeindexfiles(const IndexDocs& docs, const IndexEdits& edits, Texts& texts,
                                            IndexDocs& now) {
    std::optional<Unwritable> bad;
    now = docs;
    for (size_t k = 0; k < indextables().size(); ++k) {
        const IndexTable& t = indextables()[k];
        const auto changes = edits.find(t.file);
        if (changes == edits.end()) continue;
        std::optional<Unwritable> here;
        const std::optional<std::string> text = composeindex(t, *docs[k], changes->second, here);
        if (here && !bad) {
            bad = here;
            bad->file = t.file;
        }
        if (text)
            texts[t.file] = *text;
        else
            texts.erase(t.file);
        now[k] = std::make_shared<const IndexDoc>(readindexdoc(t, text ? &*text : nullptr));
    }
    return bad;
}

json stopplace(const RunStop& stop, const IndexDocs& docs) {
    json place = {{"file", stop.file}, {"line", stop.line}, {"column", stop.value}};
    const auto t = std::find_if(indextables().begin(), indextables().end(),
                                [&](const IndexTable& x) { return stop.file == x.file; });
    if (t == indextables().end() || stop.line <= 0) return place;
    const size_t k = static_cast<size_t>(t - indextables().begin());
    const IndexDoc& d = *docs[k];
    std::string where;
    if (d.header >= 0 && d.records[static_cast<size_t>(d.header)].line == stop.line) {
        place["header"] = true;
        where = "the columns of " + stop.file;
    }
    for (const IndexDoc::Row& r : d.rows)
        if (d.records[r.record].line == stop.line) {
            place["key"] = r.key;
            where = cellwords(k, r, stop.value);
        }
    if (where.empty())
        place["advice"] = "The page cannot show line " + std::to_string(stop.line) + " of " + stop.file +
                          ": correct it in the folder with an editor and reload the page; the report "
                          "of kalp index follows.";
    else
        place["advice"] = "Correct " + where + "; the report of kalp index follows.";
    return place;
}

json indexjson(const Texts& texts, const IndexDocs& docs, const Outcome& o, const TraitNames& names, bool rows,
               const std::optional<Unwritable>& bad, const IndexShown& shown) {
    json out = {{"files", filesjson(docs, rows)}, {"layout", layoutjson(docs, o, names)}};
    const bool present =
        std::any_of(docs.begin(), docs.end(), [](const std::shared_ptr<const IndexDoc>& d) { return d->exists; });
    out["present"] = present;
    if (!present) return out;
    if (bad) {
        const std::string &file = bad->file, &column = bad->column;
        const std::string what = "In " + file + ", the value of \"" + column + "\" in the row of " + bad->key +
                                 " " + bad->why + ".";
        out["stop"] = {{"file", file},
                       {"key", bad->key},
                       {"column", column},
                       {"report", "\nError message:\n" + what + "\n  Correct the value; nothing of it is "
                                                                "written until it can stand in the file.\n"},
                       {"advice", "Correct the cell; the report follows."},
                       {"invalid", true}};
        return out;
    }
    if (!o.complete()) {
        out["waiting"] = "The index takes the economic weights of the scenario, which stops above: correct the "
                         "scenario first.";
        return out;
    }
    out.update(indexresult(texts, o, docs, shown));
    return out;
}

} // namespace kalp
