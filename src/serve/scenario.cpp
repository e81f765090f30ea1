#include "serve/scenario.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>

#include "core/model.h"
#include "textio/utf8.h"

namespace kalp {

namespace {

// A replacement of the bytes offset .. offset + length of one file.
struct Edit {
    std::string file;
    long offset, length;
    std::string text;
};

// A count and the lists of values it governs.
struct CountRule {
    const char* count;
    int limit;
    std::vector<const char*> lists;
};
const CountRule countrules[] = {{"RRA", R - 1, {"l4RA"}},
                                {"LLA", L - 1, {"l4EA"}},
                                {"RRB", R - 1, {"l4RB"}},
                                {"LLB", L - 1, {"l4EB", "pcrossE"}}};

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// A whole number as the count scans read it, or -1.
long wholenumber(const std::string& text) {
    if (text.empty()) return -1;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0 ? n : -1;
}

// The text as the page shows it: bytes that are not UTF-8 become U+FFFD.
std::string displayed(const std::string& text) {
    const auto j = nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return nlohmann::json::parse(j).get<std::string>();
}

class Planner {
public:
    Planner(const Texts& t, const std::vector<Span>& s, const Values& v) : texts(t), spans(s), values(v) {}

    std::vector<Edit> plan() {
        for (const CountRule& rule : countrules)
            for (const Span& s : spans)
                if (s.var == rule.count && s.length > 0) count(s, rule);
        for (size_t i = 0; i < spans.size(); ++i) {
            const Span& s = spans[i];
            if (s.length == 0) {
                i = missing(i) - 1;
                continue;
            }
            if (covered(s)) continue;
            const std::string* v = value(s);
            if (v && !v->empty() && changes(s, *v)) edits.push_back({s.file, s.offset, s.length, *v});
        }
        return edits;
    }

private:
    const Texts& texts;
    const std::vector<Span>& spans;
    const Values& values;
    std::vector<Edit> edits;
    std::vector<Edit> regions; // rewritten lists and counts

    const std::string* value(const std::string& file, const std::string& var) const {
        const auto f = values.find(file);
        if (f == values.end()) return nullptr;
        const auto v = f->second.find(var);
        return v == f->second.end() ? nullptr : &v->second;
    }
    const std::string* value(const Span& s) const { return value(s.file, s.var); }

    bool changes(const Span& s, const std::string& v) const {
        const std::string now = spantext(texts, s);
        return v != now && v != displayed(now);
    }

    bool covered(const Span& s) const {
        return std::any_of(regions.begin(), regions.end(), [&](const Edit& r) {
            return r.file == s.file && s.offset >= r.offset && s.offset < r.offset + r.length;
        });
    }

    void add(const Edit& e) {
        edits.push_back(e);
        regions.push_back(e);
    }

    // A changed count, and the lists it governs when it stays in the model.
    void count(const Span& s, const CountRule& rule) {
        const std::string* v = value(s);
        if (!v || v->empty() || !changes(s, *v)) return;
        add({s.file, s.offset, s.length, *v});
        const long n = wholenumber(*v), before = wholenumber(spantext(texts, s));
        if (n < 1 || n > rule.limit) return;
        for (const char* list : rule.lists)
            rewrite(s.file, list, n, before);
    }

    // The list `name` of `file` with n items; only a list read in full is
    // rewritten.
    void rewrite(const std::string& file, const std::string& name, long n, long before) {
        std::vector<const Span*> items;
        for (const Span& s : spans)
            if (s.file == file && s.var.rfind(name + "[", 0) == 0) items.push_back(&s);
        if (items.empty() || static_cast<long>(items.size()) != before) return;
        const std::string& text = texts.at(file);
        std::vector<std::string> separators;
        for (size_t k = 1; k < items.size(); ++k) {
            const long from = items[k - 1]->offset + items[k - 1]->length;
            separators.push_back(text.substr(static_cast<size_t>(from),
                                             static_cast<size_t>(items[k]->offset - from)));
        }
        std::string list;
        for (long k = 1; k <= n; ++k) {
            const auto i = static_cast<size_t>(k - 1);
            if (k > 1) list += i - 1 < separators.size() ? separators[i - 1]
                               : separators.empty()     ? std::string(" ")
                                                        : separators.front();
            const std::string* v = value(file, indexed(name.c_str(), static_cast<int>(k)));
            if (v && !v->empty())
                list += *v;
            else
                list += i < items.size() ? spantext(texts, *items[i]) : std::string("0");
        }
        const long first = items.front()->offset;
        add({file, first, items.back()->offset + items.back()->length - first, list});
    }

    // Numbers missing at one place (a record given without its values):
    // the values typed for them, in order, up to the last one given, are
    // inserted there; an earlier one left empty becomes 0. Returns the
    // index after the group.
    size_t missing(size_t i) {
        size_t end = i;
        while (end < spans.size() && spans[end].length == 0 && spans[end].file == spans[i].file &&
               spans[end].offset == spans[i].offset)
            ++end;
        std::vector<std::string> given;
        size_t last = 0;
        for (size_t k = i; k < end; ++k) {
            const std::string* v = value(spans[k]);
            given.push_back(v ? *v : "");
            if (v && !v->empty()) last = given.size();
        }
        if (last == 0 || covered(spans[i])) return end;
        const std::string& text = texts.at(spans[i].file);
        const auto at = static_cast<size_t>(spans[i].offset);
        std::string ins;
        if (at > 0 && !blank(text[at - 1])) ins += ' ';
        for (size_t k = 0; k < last; ++k) {
            if (k) ins += ' ';
            ins += given[k].empty() ? std::string("0") : given[k];
        }
        if (at < text.size() && !blank(text[at])) ins += ' ';
        edits.push_back({spans[i].file, spans[i].offset, 0, ins});
        return end;
    }
};

void apply(Texts& texts, std::vector<Edit> edits) {
    std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
        return std::tie(a.file, a.offset) > std::tie(b.file, b.offset);
    });
    for (const Edit& e : edits)
        texts[e.file].replace(static_cast<size_t>(e.offset), static_cast<size_t>(e.length), e.text);
}

} // namespace

std::vector<Span> record(const Texts& texts, Request r, Outcome* outcome,
                         const Unreadable* unreadable) {
    MemoryFolder source(texts);
    if (unreadable)
        for (const auto& [name, error] : *unreadable)
            if (!texts.count(name)) source.setunreadable(name, error);
    std::vector<Span> all;
    r.files = &source;
    r.echo = false;
    r.spans = &all;
    Outcome o = runscenario(r);
    if (outcome) *outcome = std::move(o);
    // The parameter file is read twice.
    std::vector<Span> once;
    std::set<std::tuple<std::string, long, long, std::string>> seen;
    // cppcheck-suppress knownEmptyContainer ; the run fills it through r.spans
    for (Span& s : all)
        if (seen.insert({s.file, s.offset, s.length, s.var}).second) once.push_back(std::move(s));
    return once;
}

std::string spantext(const Texts& texts, const Span& s) {
    const auto f = texts.find(s.file);
    if (f == texts.end() || s.offset < 0 || static_cast<size_t>(s.offset) > f->second.size())
        return "";
    return f->second.substr(static_cast<size_t>(s.offset), static_cast<size_t>(s.length));
}

std::string badvalue(const std::string& text) {
    if (utf8length(text) > 64) return "is longer than 64 characters";
    for (const char c : text) {
        if (blank(c)) return "holds a blank; write one number";
        if (c == '"') return "holds a double quote; write one number";
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return "holds a control character";
    }
    return "";
}

const Span* emptied(const Values& values, const std::vector<Span>& spans) {
    for (const Span& s : spans) {
        if (s.length == 0) continue;
        const auto f = values.find(s.file);
        if (f == values.end()) continue;
        const auto v = f->second.find(s.var);
        if (v != f->second.end() && v->second.empty()) return &s;
    }
    return nullptr;
}

namespace {

// The numbers a file holds: a model variable with up to two indices, each
// from 1 to its bound (0: no such index).
struct Known {
    const char* file;
    const char* var;
    int first, second;
};
const Known knowns[] = {
    {"ERROR.TXT", "errmess", 0, 0},       {"P01.TXT", "prods", 0, 0},
    {"PARAVRD.TXT", "gstd", 0, 0},        {"INPUTVRD01A.TXT", "u", 0, 0},
    {"INPUTVRD01A.TXT", "RRA", 0, 0},     {"INPUTVRD01A.TXT", "l4RA", R - 1, 0},
    {"INPUTVRD01A.TXT", "LLA", 0, 0},     {"INPUTVRD01A.TXT", "l4EA", L - 1, 0},
    {"INPUTVRD01A.TXT", "evpA", 35, 1},   {"INPUTVRD01A.TXT", "ageR11A", 0, 0},
    {"INPUTVRD01A.TXT", "ageE1A", 0, 0},  {"INPUTVRD01B.TXT", "RRB", 0, 0},
    {"INPUTVRD01B.TXT", "l4RB", R - 1, 0}, {"INPUTVRD01B.TXT", "LLB", 0, 0},
    {"INPUTVRD01B.TXT", "l4EB", L - 1, 0}, {"INPUTVRD01B.TXT", "evpB", 35, 2},
    {"INPUTVRD01B.TXT", "ageR11B", 0, 0}, {"INPUTVRD01B.TXT", "ageR12A", 0, 0},
    {"INPUTVRD01B.TXT", "ageE1B", 0, 0},  {"INPUTVRD01B.TXT", "pcrossE", L - 1, 0},
    {"INPUTVRD02.TXT", "n_sac", 0, 0},    {"INPUTVRD02.TXT", "l_inv", 0, 0},
    {"INPUTVRD02.TXT", "pgssA", 0, 0},    {"INPUTVRD02.TXT", "pgdsA", 0, 0},
    {"INPUTVRD02.TXT", "P", ACM - 1, ACM - 1}, {"INPUTVRD03.TXT", "pdA", 0, 0},
    {"INPUTVRD03.TXT", "pdB", 0, 0},      {"INPUTVRD03.TXT", "n_sac", 0, 0},
    {"INPUTVRD03.TXT", "l_inv", 0, 0},    {"INPUTVRD03.TXT", "pgssA", 0, 0},
    {"INPUTVRD03.TXT", "pgdsA", 0, 0},    {"INPUTVRD03.TXT", "pgssB", 0, 0},
    {"INPUTVRD03.TXT", "pgdsB", 0, 0},    {"INPUTVRD03.TXT", "P", ACM - 1, ACM - 1},
    {"INPUTVRD04.TXT", "gstd_d", 35, 0},  {"INPUTVRD04.TXT", "gstd_m", 35, 0},
    {"INPUTVRD05.TXT", "flag", 6, 0},
};

// The index in `var` at `at` ("[12]"), within 1 .. bound; -1 when there is
// none such. `at` moves past it.
int indexat(const std::string& var, size_t& at, int bound) {
    if (bound == 0 || at >= var.size() || var[at] != '[') return -1;
    const size_t close = var.find(']', at);
    if (close == std::string::npos || close - at < 2 || close - at > 3) return -1;
    const std::string digits = var.substr(at + 1, close - at - 1);
    if (digits[0] == '0' || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    at = close + 1;
    const int k = std::stoi(digits);
    return k <= bound ? k : -1;
}

} // namespace

bool knownvalue(const std::string& file, const std::string& var) {
    const std::string base = var.substr(0, var.find('['));
    for (const Known& k : knowns) {
        if (file != k.file || base != k.var) continue;
        size_t at = base.size();
        if (k.first > 0 && indexat(var, at, k.first) < 0) return false;
        if (k.second > 0 && indexat(var, at, k.second) < 0) return false;
        return at == var.size();
    }
    return false;
}

Composed compose(const Texts& base, const std::vector<Span>& basespans, const Values& values,
                 const Recorder& rec) {
    Composed c{base, basespans};
    // Each pass puts in the values whose numbers the previous one read; a
    // pass that finds nothing to change ends.
    for (int pass = 0; pass < 8; ++pass) {
        const std::vector<Edit> edits = Planner(c.texts, c.spans, values).plan();
        if (edits.empty()) break;
        apply(c.texts, edits);
        c.spans = rec ? rec(c.texts) : record(c.texts);
    }
    return c;
}

} // namespace kalp
