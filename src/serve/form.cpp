#include "serve/form.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "model/classes.h"
#include "model/standardise.h"
#include "input/values.h"
#include "report/catalogue.h"
#include "report/exports.h"
#include "report/results.h"
#include "textio/numbers.h"
#include "textio/utf8.h"

namespace kalp {

using json = nlohmann::json;

namespace {

// The captions of the tables of trait values.
const char* tablecaption(const std::string& group) {
    if (group == "evpA") return "Economic values (per unit of each trait)";
    if (group == "evpB") return "Economic values for purebred and for crossbred progeny of B";
    return "Genetic standard deviations (in the units of the traits)";
}

const char* const sectiontitles[][2] = {
    {"INPUTVRD01A.TXT", "System A"},
    {"INPUTVRD01B.TXT", "System B"},
    {"INPUTVRD02.TXT", "Gene flow"},
    {"INPUTVRD03.TXT", "Gene flow through both systems"},
    {"INPUTVRD04.TXT", "Genetic standard deviations"},
    {"INPUTVRD05.TXT", "Pairs of alternative traits"},
};

bool annotated(const std::string& file) {
    const InputFile* f = findinput(file);
    return f && f->annotated;
}

std::string basename(const std::string& var) { return var.substr(0, var.find('[')); }

// The indices of a model variable: "evpB[8][2]" gives 8 and 2.
std::vector<int> indices(const std::string& var) {
    std::vector<int> v;
    for (size_t at = var.find('['); at != std::string::npos; at = var.find('[', at + 1))
        v.push_back(std::atoi(var.c_str() + at + 1));
    return v;
}

// The first quoted text from `from` on: the description of a record.
struct Words {
    std::string description;
    size_t at = std::string::npos; // its opening quote
};
Words words(const std::string& text, size_t from) {
    Words w;
    const size_t q1 = text.find('"', from);
    const size_t q2 = q1 == std::string::npos ? q1 : text.find('"', q1 + 1);
    if (q2 == std::string::npos) return w;
    w.at = q1;
    w.description = text.substr(q1 + 1, q2 - q1 - 1);
    return w;
}

// Runs of blanks and line breaks as one blank.
std::string oneline(const std::string& s) {
    std::string out;
    bool space = false;
    for (const char c : s) {
        const bool b = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (b && !out.empty()) space = true;
        if (b) continue;
        if (space) out += ' ';
        space = false;
        out += c;
    }
    return out;
}

// The comment of an annotated file: the words between its two slashes.
std::string comment(const std::string& text) {
    const size_t a = text.find('/');
    const size_t b = a == std::string::npos ? a : text.find('/', a + 1);
    return b == std::string::npos ? "" : oneline(text.substr(a + 1, b - a - 1));
}

// A whole number as the annotated files write it (2 or 2.0), or -1.
long wholevalue(const std::string& text) {
    if (text.empty()) return -1;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || errno != 0) return -1;
    if (*end == '.') {
        ++end;
        while (*end == '0')
            ++end;
    }
    return *end == '\0' ? n : -1;
}

struct Option {
    long value;
    std::string label;
};

// A choice among `options`; the option of the file's number keeps the
// file's text, and a number that is none of them is one more option.
json choices(json f, const std::vector<Option>& options) {
    const std::string text = f["text"].get<std::string>();
    const long n = wholevalue(text);
    json list = json::array();
    bool found = false;
    for (const Option& o : options) {
        const bool here = !found && n == o.value;
        found = found || here;
        list.push_back({{"value", here ? text : std::to_string(o.value)}, {"label", o.label}});
    }
    if (!found)
        list.push_back({{"value", text}, {"label", (text.empty() ? std::string("no number") : text) +
                                                       ": as in the file"}});
    f["input"] = "select";
    f["options"] = list;
    return f;
}

class Builder {
public:
    Builder(const Texts& t, const std::vector<Span>& s, const Model& model, const TraitNames& n,
            const std::map<std::string, std::string>& no)
        : texts(t), spans(s), m(model), names(n), notes(no) {}

    json form() const {
        json sections = json::array();
        json top = {{"id", "top"}, {"title", "Scenario"}, {"items", json::array()}};
        for (const char* var : {"prods", "gstd", "errmess"}) {
            const auto s = std::find_if(spans.begin(), spans.end(), [&](const Span& x) { return x.var == var; });
            if (s != spans.end()) top["items"].push_back({{"type", "field"}, {"id", var}, {"field", single(*s)}});
        }
        sections.push_back(top);
        for (const auto& [file, title] : sectiontitles) {
            json items = section(file);
            const auto note = notes.find(file);
            if (items.empty() && note == notes.end()) continue;
            json sec = {{"id", file}, {"file", file}, {"title", title}, {"items", items}};
            if (annotated(file) && texts.count(file)) sec["note"] = asutf8(comment(texts.at(file)));
            if (note != notes.end()) sec["note"] = note->second;
            sections.push_back(sec);
        }
        json f = {{"sections", sections}};
        if (texts.count("PARAVRD.TXT"))
            f["title"] = asutf8(words(texts.at("PARAVRD.TXT"), 0).description);
        return f;
    }

private:
    const Texts& texts;
    const std::vector<Span>& spans;
    const Model& m;
    const TraitNames& names;
    const std::map<std::string, std::string>& notes;

    bool laidout() const { return m.acm > 0 && m.acm < ACM; }

    std::string classname(int c) const {
        if (!laidout() || c < 1 || c > m.acm) return "class " + std::to_string(c);
        return std::to_string(c) + ": " + groupname(describeclass(m, c));
    }

    Words wordsafter(const Span& s) const {
        const auto t = texts.find(s.file);
        if (t == texts.end()) return {};
        return words(t->second, static_cast<size_t>(s.offset + s.length));
    }

    json field(const Span& s, const std::string& label) const {
        json f = {{"file", s.file}, {"var", s.var}, {"label", label}, {"text", spantext(texts, s)}};
        if (s.length == 0) f["optional"] = true;
        return f;
    }

    std::string label(const Span& s) const {
        if (annotated(s.file)) {
            const Words w = wordsafter(s);
            // The file's own words, as a Windows editor may have saved them.
            if (!w.description.empty()) return asutf8(oneline(w.description));
        }
        const ValueInfo* v = findvalue(basename(s.var));
        if (!v) return s.var;
        const std::vector<int> k = indices(s.var);
        return withnumber(v->label, k.empty() ? 0 : k.front());
    }

    json single(const Span& s) const {
        json f = field(s, label(s));
        const std::string var = basename(s.var);
        if (var == "prods") return choices(f, {{1, "1: one production system"}, {2, "2: two linked systems"}});
        if (var == "gstd") {
            // The box says what it does; the file's own words explain its numbers.
            f["label"] = findvalue("gstd")->label;
            const std::string text = f["text"];
            const bool on = wholevalue(text) == 2;
            f["input"] = "check";
            f["on"] = on ? text : "2";
            f["off"] = on ? "1" : text;
            return f;
        }
        if (var == "n_sac") {
            std::vector<Option> o;
            for (int c = 1; laidout() && c <= tracedbound(m); ++c)
                o.push_back({c, classname(c)});
            return choices(f, o);
        }
        if (var.rfind("pg", 0) == 0)
            return choices(f, {{1, "1: given below"}, {2, "2: computed from the age weights"}});
        if (var == "flag") {
            const int k = indices(s.var).at(0);
            if (k < 1 || k > 6) return f;
            const int a = traitpairs[k].first, b = traitpairs[k].second;
            return choices(f, {{a, std::to_string(a) + ": " + names[a]},
                               {b, std::to_string(b) + ": " + names[b]},
                               {0, "0: both traits count"}});
        }
        return f;
    }

    // The group a value belongs to: a list, a table of traits, a given
    // path (by its record), or none.
    std::string group(const Span& s) const {
        static const std::set<std::string> groups = {"l4RA", "l4EA", "l4RB", "l4EB", "pcrossE", "evpA", "evpB"};
        std::string b = basename(s.var);
        if (groups.count(b)) return b;
        if (b == "gstd_d" || b == "gstd_m") return "gstd";
        if (b == "P") return "P@" + std::to_string(wordsafter(s).at);
        return "";
    }

    json section(const std::string& file) const {
        std::vector<const Span*> own;
        for (const Span& s : spans)
            if (s.file == file) own.push_back(&s);
        json items = json::array();
        for (size_t i = 0; i < own.size();) {
            const std::string g = group(*own[i]);
            size_t end = i + 1;
            while (!g.empty() && end < own.size() && group(*own[end]) == g)
                ++end;
            const std::vector<const Span*> run(own.begin() + static_cast<long>(i),
                                               own.begin() + static_cast<long>(end));
            json item;
            if (g.empty())
                item = {{"type", "field"}, {"field", single(*own[i])}};
            else if (g == "evpA" || g == "evpB" || g == "gstd")
                item = traits(g, run);
            else
                item = list(g, run);
            // An item keeps its id while its values change: a given path is
            // known by its first value.
            item["id"] = g.empty() || g[0] == 'P' ? own[i]->var : g;
            items.push_back(item);
            i = end;
        }
        return items;
    }

    json list(const std::string& g, const std::vector<const Span*>& run) const {
        const bool path = g[0] == 'P';
        json fields = json::array();
        for (const Span* s : run) {
            const std::vector<int> k = indices(s->var);
            fields.push_back(field(*s, path ? classname(k.at(1)) : "class " + std::to_string(k.at(0))));
        }
        const ValueInfo* v = findvalue(g);
        return {{"type", "list"},
                {"label", path ? label(*run.front()) : std::string(v ? v->label : g.c_str())},
                {"fields", fields}};
    }

    json traits(const std::string& g, const std::vector<const Span*>& run) const {
        json columns = g == "evpA"   ? json{"Economic value"}
                       : g == "evpB" ? json{"Purebred progeny of B", "Crossbred progeny"}
                                     : json{"Direct", "Maternal"};
        std::map<int, json> rows;
        for (const Span* s : run) {
            const std::vector<int> k = indices(s->var);
            const int trait = k.at(0);
            if (trait < 1 || trait > 35) continue;
            json& row = rows[trait];
            if (row.is_null()) {
                json cells = json::array();
                for (size_t c = 0; c < columns.size(); ++c)
                    cells.push_back(nullptr);
                row = {{"trait", trait}, {"name", names[trait]}, {"cells", cells}};
                if (g == "gstd") row["words"] = asutf8(oneline(wordsafter(*s).description));
            }
            const size_t column = g == "gstd" ? (basename(s->var) == "gstd_d" ? 0 : 1)
                                              : static_cast<size_t>(k.at(1) - 1);
            if (column < columns.size()) row["cells"][column] = field(*s, names[trait]);
        }
        json out = json::array();
        for (auto& [trait, row] : rows)
            out.push_back(row);
        return {{"type", "traits"}, {"label", tablecaption(g)}, {"columns", columns}, {"rows", out}};
    }
};

// One table of trait values as the results file prints it: a row for every
// trait whose test values are not both negligible, both components, the
// direct one or the maternal one by the trait's type, the other as "-".
json traittable(const Model& m, const TraitNames& names, const float* testd, const float* testm,
                const float* d, const float* mat, std::string (*text)(double)) {
    json rows = json::array();
    for (int k = 1; k <= 35; ++k) {
        if (negligible(testd[k]) && negligible(testm[k])) continue;
        json cells = json::array();
        cells.push_back(hasdirect(m, k) ? json{{"component", "direct"}, {"text", text(d[k])}}
                                        : json{{"text", "-"}});
        cells.push_back(hasmaternal(m, k) ? json{{"component", "maternal"}, {"text", text(mat[k])}}
                                          : json{{"text", "-"}});
        rows.push_back({{"trait", k}, {"name", names[k]}, {"cells", cells}});
    }
    return rows;
}

// The relative weights of one component (within it, or within the
// total), with the sign of their economic weights, as the exports give them.
std::array<float, NT> signedrelative(const Model& m, bool direct, bool within) {
    std::array<float, NT> v{};
    for (int k = 1; k <= 35; ++k) {
        const float share = direct ? (within ? m.ewr_dd[k] : m.ewr_da[k]) : (within ? m.ewr_mm[k] : m.ewr_ma[k]);
        v[static_cast<size_t>(k)] = signedshare(share, direct ? m.ew_d[k] : m.ew_m[k]);
    }
    return v;
}

const char* kindname(StopKind k) {
    switch (k) {
    case StopKind::gate: return "gate";
    case StopKind::traced: return "traced";
    case StopKind::matrix: return "matrix";
    case StopKind::input: return "input";
    case StopKind::notfinite: return "notfinite";
    case StopKind::output: return "output";
    case StopKind::option: return "option";
    }
    return "input";
}

// The line that a run writes on standard error after its report, as the
// page shows it: without the model variable that the line names for the
// command line ("the 4 age weights ... (l4EA) add up to 0.77").
std::string pagedetail(const RunStop& stop) {
    std::string d = stop.detail;
    const std::string var = " (" + stop.value + ")";
    if (!stop.value.empty())
        for (size_t at; (at = d.find(var)) != std::string::npos;)
            d.erase(at, var.size());
    return asutf8(d);
}

} // namespace

namespace {

// A field's label as the page gives it: of a list item, the list's label
// with the item's; of a table of traits, the trait with the column.
std::string label(const json& item, const json& field) {
    const std::string type = item.value("type", "");
    if (type == "field") return field.value("label", "");
    if (type == "list") return item.value("label", "") + ", " + field.value("label", "");
    for (const json& r : item["rows"])
        for (size_t c = 0; c < r["cells"].size(); ++c)
            if (r["cells"][c] == field) return r.value("name", "") + ", " + item["columns"][c].get<std::string>();
    return field.value("label", "");
}

} // namespace

std::optional<FieldName> fieldname(const json& form, const std::string& file, const std::string& var) {
    std::optional<FieldName> item;
    for (const json& sec : form.value("sections", json::array()))
        for (const json& it : sec.value("items", json::array())) {
            const std::string type = it.value("type", "");
            std::vector<json> fields;
            if (type == "field") fields.push_back(it["field"]);
            if (type == "list") fields.assign(it["fields"].begin(), it["fields"].end());
            if (type == "traits")
                for (const json& r : it["rows"])
                    fields.insert(fields.end(), r["cells"].begin(), r["cells"].end());
            for (const json& f : fields) {
                if (!f.is_object() || f.value("file", "") != file) continue;
                const std::string v = f.value("var", "");
                const std::string title = sec.value("title", "the form");
                if (v == var) return FieldName{label(it, f), title};
                if (!item && v.rfind(var + "[", 0) == 0)
                    item = type == "list" ? FieldName{it.value("label", ""), title, true} : FieldName{label(it, f), title};
            }
        }
    return item;
}

std::optional<FieldName> valuename(const std::string& file, const std::string& var) {
    const std::string b = basename(var);
    const ValueInfo* v = findvalue(b);
    if (!v) return std::nullopt;
    const std::vector<int> k = indices(var);
    const auto title = std::find_if(std::begin(sectiontitles), std::end(sectiontitles),
                                    [&](const auto& s) { return file == s[0]; });
    FieldName name{withnumber(v->label, k.empty() ? 0 : k.front()),
                   title == std::end(sectiontitles) ? "the form" : (*title)[1]};
    const bool list = b == "l4RA" || b == "l4EA" || b == "l4RB" || b == "l4EB" || b == "pcrossE";
    if (list && !k.empty()) name.label += ", class " + std::to_string(k.front());
    name.list = list && k.empty();
    return name;
}

std::string stopadvice(const json& form, const RunStop& stop) {
    if (!stop.value.empty()) {
        const std::optional<FieldName> f = fieldname(form, stop.file, stop.value);
        if (f && !f->label.empty())
            return std::string("Correct the ") + (f->list ? "list" : "field") + " \"" + f->label + "\" in " +
                   f->section + "; the report of the run follows.";
    }
    if (stop.file.empty()) return "";
    if (stop.what.find("cannot be opened.") != std::string::npos)
        return "Put the file " + stop.file +
               " into the folder, or choose above what does without it; the report of the run "
               "follows.";
    return "The form cannot correct this: correct " + stop.file +
           " in the folder with an editor and open this page again; the report of the run follows.";
}

TraitNames traitnames(const Texts& texts) {
    const MemoryFolder source(texts);
    Streams s;
    s.files = &source;
    try {
        return readtraitnames(s);
    } catch (const RunStop&) {
        TraitNames names;
        for (int k = 1; k <= 35; ++k)
            names[k] = "trait " + std::to_string(k);
        return names;
    }
}

json formjson(const Texts& texts, const std::vector<Span>& spans, const Model& m,
              const TraitNames& names, const std::map<std::string, std::string>& notes) {
    return Builder(texts, spans, m, names, notes).form();
}

json resultjson(const Outcome& o, const TraitNames& names, const YearTable& years) {
    if (o.stop)
        return {{"complete", false},
                {"stop",
                 {{"kind", kindname(o.stop->kind)},
                  {"file", o.stop->file},
                  {"value", o.stop->value},
                  {"report", o.stop->report()},
                  {"detail", pagedetail(*o.stop)}}}};
    const Model& m = *o.model;
    json classes = json::array();
    for (int c = 1; c <= m.acm; ++c) {
        const ClassInfo info = describeclass(m, c);
        classes.push_back({{"class", c},
                           {"system", info.block.system},
                           {"block", info.block.name},
                           {"group", groupname(info)},
                           {"age", info.age},
                           {"traceable", info.traceable},
                           {"flow", flowtext(m.m_sum[c])}});
    }
    json tables = json::array();
    tables.push_back({{"id", "weights"},
                      {"title", "Economic weights (per unit of trait, per discounted expression)"},
                      {"rows", traittable(m, names, m.ew_d, m.ew_m, m.ew_d, m.ew_m, weighttext)}});
    if (m.gstd == 2) {
        const double sd = sharepercent(m.ewsum_d, m.ewsum), sm = sharepercent(m.ewsum_m, m.ewsum);
        tables.push_back({{"id", "standardised"},
                          {"title", "Standardised economic weights (per genetic standard deviation)"},
                          {"rows", traittable(m, names, m.ew_d, m.ew_m, m.ewst_d, m.ewst_m, weighttext)},
                          {"sum", {weighttext(m.ewsum_d), weighttext(m.ewsum_m)}},
                          {"share", {weighttext(sd), weighttext(sm)}}});
        tables.push_back({{"id", "relative-component"},
                          {"title", "Relative weights within each component (%)"},
                          {"rows", traittable(m, names, m.ewr_dd, m.ewr_mm, signedrelative(m, true, true).data(),
                                              signedrelative(m, false, true).data(), relativetext)}});
        tables.push_back({{"id", "relative-total"},
                          {"title", "Relative weights within the total (%)"},
                          {"rows", traittable(m, names, m.ewr_da, m.ewr_ma, signedrelative(m, true, false).data(),
                                              signedrelative(m, false, false).data(), relativetext)},
                          {"share", {relativetext(sd), relativetext(sm)}}});
    }
    const ClassInfo traced = describeclass(m, m.n_sac);
    return {{"complete", true},
            {"traced", {{"class", m.n_sac}, {"group", groupname(traced)}}},
            {"years", m.l_inv},
            {"prods", m.prods},
            {"classes", classes},
            {"tables", tables},
            {"charts",
             {{"geneflow", geneflowchart(m, years)},
              {"weights", m.gstd == 2 ? json(weightschart(m, names)) : json(nullptr)}}}};
}

} // namespace kalp
