// The editor's texts: typed values replace the bytes of their numbers and
// nothing else; counts rewrite their lists in the file's own layout; values
// of numbers that a file leaves out are put in front of their words.
#include <gtest/gtest.h>

#include <utility>

#include "scenario.h"
#include "serve/scenario.h"
#include "workdir.h"

using namespace kalp;
using namespace kalp::test;

namespace {

Texts texts(const Scenario& s) {
    Texts t;
    const std::pair<const char*, const std::string*> files[] = {
        {"ERROR.TXT", &s.error},         {"P01.TXT", &s.prods},           {"PARAVRD.TXT", &s.paravrd},
        {"TEXTVRD_OUT.TXT", &s.tpl},     {"INPUTVRD01A.TXT", &s.a},       {"INPUTVRD01B.TXT", &s.b},
        {"INPUTVRD02.TXT", &s.settings2}, {"INPUTVRD03.TXT", &s.settings3}};
    for (const auto& [name, text] : files)
        if (!text->empty()) t[name] = *text;
    return t;
}

Texts example(const char* name) {
    Workdir w;
    copyexample(w, name);
    Texts t;
    for (const std::string& f : w.files())
        if (f != "README.md") t[f] = w.read(f);
    return t;
}

void replace(std::string& s, const std::string& from, const std::string& to) {
    const size_t at = s.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    s.replace(at, from.size(), to);
}

} // namespace

TEST(Scenario, ValuesReplaceTheBytesOfTheirNumbers) {
    struct Change {
        const char* file;
        std::string from, to;
    };
    struct Row {
        const char* name;
        Texts base;
        std::vector<Change> setup; // the files before
        Values values;
        std::vector<Change> expected; // from the files before to the files after
    };
    const Texts one = texts(Scenario::one()), two = texts(Scenario::two());
    const Texts standard = example("one-system-standardised");
    const char* a = "INPUTVRD01A.TXT";
    const char* b = "INPUTVRD01B.TXT";
    const char* s2 = "INPUTVRD02.TXT";
    const char* d = "INPUTVRD04.TXT";
    const Row rows[] = {
        {"no value changes", one, {}, {{a, {{"u", "0.05"}, {"l4RA[2]", "0.4"}}}}, {}},
        {"one value", one, {}, {{a, {{"u", "0.06"}}}}, {{a, "0.05\n", "0.06\n"}}},
        {"an empty value leaves the number", one, {}, {{a, {{"u", ""}}}}, {}},
        {"values for no number", one, {}, {{a, {{"l4RA[7]", "1"}}}, {"INPUTVRD09.TXT", {{"u", "1"}}}}, {}},
        {"more ram classes", one, {}, {{a, {{"RRA", "3"}, {"l4RA[3]", "0.1"}}}},
         {{a, "2\n0.6 0.4\n", "3\n0.6 0.4 0.1\n"}}},
        {"fewer ewe classes", one, {}, {{a, {{"LLA", "2"}, {"l4EA[1]", "0.7"}}}},
         {{a, "3\n0.5 0.3 0.2\n", "2\n0.7 0.3\n"}}},
        {"a list on its own lines", one, {{a, "0.5 0.3 0.2", "0.5\n0.3\n0.2"}}, {{a, {{"LLA", "4"}}}},
         {{a, "3\n0.5\n0.3\n0.2\n", "4\n0.5\n0.3\n0.2\n0\n"}}},
        {"a count the model does not hold", one, {}, {{a, {{"LLA", "16"}}}}, {{a, "3\n0.5", "16\n0.5"}}},
        {"a number glued to text", one, {{s2, "1 \"Traced", "1.0 \"Traced"}}, {{s2, {{"n_sac", "2"}}}},
         {{s2, "1.0 \"Traced", "2 \"Traced"}}},
        {"a path given", one, {}, {{s2, {{"pgdsA", "1"}, {"P[1][4]", "0.5"}, {"P[1][6]", "0.5"}}}},
         {{s2, "2 \"Dam path computed", "1 \"Dam path computed"},
          {s2, "\"Dam path\"", "0.5 0 0.5 \"Dam path\""}}},
        {"the crossing shares follow the ewe classes of B", two, {}, {{b, {{"LLB", "3"}}}},
         {{b, "4\n0.4 0.3 0.2 0.1\n", "3\n0.4 0.3 0.2\n"}, {b, "0.5 0.5 0.5 0.5\n", "0.5 0.5 0.5\n"}}},
        {"a trait that gets a weight has its deviation read", standard,
         {{d, "0.3 \"Greasy fleece weight of lambs", "\"Greasy fleece weight of lambs"}},
         {{a, {{"evpA[12][1]", "3"}}}, {d, {{"gstd_d[12]", "0.25"}}}},
         {{a, "0.90 0 0 0\n", "0.90 3 0 0\n"},
          {d, "\"Greasy fleece weight of lambs", "0.25 \"Greasy fleece weight of lambs"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Texts base = row.base;
        for (const Change& c : row.setup)
            replace(base[c.file], c.from, c.to);
        Texts want = base;
        for (const Change& c : row.expected)
            replace(want[c.file], c.from, c.to);
        const Composed c = compose(base, record(base), row.values);
        EXPECT_EQ(c.texts, want);
        // The spans are those of the new texts.
        EXPECT_EQ(c.spans.size(), record(c.texts).size());
    }
}

TEST(Scenario, SpansCoverTheWordsOfTheNumbers) {
    Texts t = texts(Scenario::one());
    replace(t["INPUTVRD02.TXT"], "3 \"Years", "3.0 \"Years");
    const std::vector<Span> spans = record(t);
    auto find = [&](const std::string& var) {
        for (const Span& s : spans)
            if (s.var == var) return s;
        return Span{};
    };
    EXPECT_EQ(spantext(t, find("u")), "0.05");
    EXPECT_EQ(spantext(t, find("l_inv")), "3.0");
    EXPECT_EQ(spantext(t, find("l4EA[3]")), "0.2");
    // The sire path is given with three of its three values, the dam path
    // is computed: its record is not read.
    EXPECT_EQ(spantext(t, find("P[1][3]")), "0.2");
    EXPECT_EQ(find("P[1][4]").var, "");
    EXPECT_EQ(badvalue("0.05"), "");
    EXPECT_NE(badvalue("0 .05"), "");
    EXPECT_NE(badvalue("1\"x"), "");
}
