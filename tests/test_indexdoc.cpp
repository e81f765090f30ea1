// The index files as the editor composes them: every byte that no changed
// cell holds stays, rows come and go whole, and what the page cannot show
// is kept as it is.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/csv.h"
#include "serve/indexdoc.h"

using namespace kalp;

namespace {

const IndexTable& table(const char* file) { return *findindextable(file); }

// Every row of a file, as the page gives them back after edits in which
// they kept their values.
std::vector<IndexCells> rowsof(const IndexDoc& d) {
    std::vector<IndexCells> rows;
    for (const IndexDoc::Row& r : d.rows)
        rows.push_back(r.cells);
    return rows;
}

std::string compose(const char* file, const std::string* text, const std::vector<IndexCells>& rows,
                    const std::vector<std::string>& removed = {}) {
    std::optional<Unwritable> bad;
    const std::optional<std::string> out =
        composeindex(table(file), readindexdoc(table(file), text), IndexChanges{rows, removed}, bad);
    EXPECT_FALSE(bad) << bad->why;
    return out ? *out : "(missing)";
}

// A file as people write it: a comment, blank lines, quotes, blanks
// around fields, a row of separators, a comment at the end.
const std::string messy = "# parameters of 2024\r\n"
                          "trait , sd,h2,c2\r\n"
                          "\r\n"
                          "1, 0.6 ,\"0.20\",0.1\r\n"
                          ",,,\r\n"
                          "fat_depth,1.2,0.35\r\n"
                          "\r\n"
                          "# the end\r\n";

} // namespace

TEST(IndexDoc, AFileLoadedAndSavedKeepsEveryByte) {
    const std::string files[][2] = {
        {"index-traits.csv", messy},
        {"index-traits.csv", "\xEF\xBB\xBF" "trait;sd;h2\n8;0,65;0,1\n\x1A"},
        {"index-traits.csv", "trait,sd,h2\nd\xE9p\xF4t,1,0.2\n"},
        {"index-correlations.csv", "kind,trait_a,component_a,trait_b,component_b,value\n"
                                   "Genetic,02,Direct,1,direct,0.3\nphenotypic,1,,2,,0\nbogus,1,,2,,0.1"},
        {"index-sources.csv", "path,source,trait,records\nrams,own,1,1\nrams,own,1,2\nrams,dam,8,\n"},
        {"index-selection.csv", "path,proportion,intensity,generation_interval,traced_group,\nrams,0.05,,,,\n"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f[1]);
        const IndexDoc d = readindexdoc(table(f[0].c_str()), &f[1]);
        ASSERT_TRUE(d.readable) << d.why;
        EXPECT_EQ(compose(f[0].c_str(), &f[1], rowsof(d)), f[1]);
        EXPECT_EQ(compose(f[0].c_str(), &f[1], {}), f[1]);
    }
    // What the page cannot show, and a file it cannot read, stay as they are.
    const IndexDoc c = readindexdoc(table("index-sources.csv"), &files[4][1]);
    EXPECT_EQ(c.rows.size(), 2u);
    EXPECT_EQ(c.other.size(), 1u); // the second row of the rams' own records of trait 1
    const std::string open = "trait,sd\n\"1,2\n";
    const IndexDoc u = readindexdoc(table("index-traits.csv"), &open);
    EXPECT_FALSE(u.readable);
    EXPECT_NE(u.why.find("is not closed"), std::string::npos);
    EXPECT_EQ(compose("index-traits.csv", &open, {{{"trait", "2"}, {"sd", "1"}}}), open);
}

TEST(IndexDoc, KeysAreThoseOfTheReader) {
    const struct {
        const char* file;
        IndexCells cells;
        const char* key;
    } rows[] = {
        {"index-traits.csv", {{"trait", " 008 "}}, "8"},
        {"index-traits.csv", {{"trait", "fat_depth"}}, "fat_depth"},
        {"index-traits.csv", {{"trait", ""}}, ""},
        {"index-correlations.csv", {{"kind", "Genetic"}, {"trait_a", "2"}, {"component_a", "DIRECT"}, {"trait_b", "1"}, {"component_b", "maternal"}}, "genetic|1 maternal|2 direct"},
        {"index-correlations.csv", {{"kind", "litter"}, {"trait_a", "x"}, {"trait_b", "1"}}, "litter|1|x"},
        {"index-correlations.csv", {{"kind", "genetic"}, {"trait_a", "2"}, {"trait_b", "1"}}, ""},
        {"index-correlations.csv", {{"kind", "genetik"}, {"trait_a", "2"}, {"trait_b", "1"}}, ""},
        {"index-sources.csv", {{"path", "Rams"}, {"source", "HalfSibs"}, {"trait", "24"}}, "rams|halfsibs|24"},
        {"index-sources.csv", {{"path", "rams"}, {"source", "cousins"}, {"trait", "24"}}, ""},
        {"index-selection.csv", {{"path", "ewes"}}, "ewes"},
        {"index-selection.csv", {{"path", "lambs"}}, ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(rowkey(table(r.file), r.cells), r.key) << r.file << " " << r.key;
}

TEST(IndexDoc, EditsChangeOnlyTheirBytes) {
    using Rows = std::vector<IndexCells>;
    const std::string traits = messy;
    const IndexCells one = {{"trait", "1"}, {"sd", "0.6"}, {"h2", "0.20"}, {"c2", "0.1"}};
    const IndexCells fat = {{"trait", "fat_depth"}, {"sd", "1.2"}, {"h2", "0.35"}};
    const auto with = [](IndexCells c, const char* column, const char* value) {
        c[column] = value;
        return c;
    };
    const std::string corr = "kind;trait_a;component_a;trait_b;component_b;value\n"
                             "genetic;2;direct;1;direct;0,3\n"
                             "phenotypic;1;;2;;0\n"
                             "\n# sources of the values: a review\n";
    const auto pair = [](const char* kind, const char* a, const char* ca, const char* b, const char* cb, const char* v) {
        return IndexCells{{"kind", kind}, {"trait_a", a}, {"component_a", ca}, {"trait_b", b}, {"component_b", cb}, {"value", v}};
    };
    const IndexCells g12 = pair("genetic", "2", "direct", "1", "direct", "0,3");
    const IndexCells p12 = pair("phenotypic", "1", "", "2", "", "0");
    const struct {
        const char* what;
        const char* file;
        const std::string* text;
        Rows rows; // changed and new
        std::vector<std::string> removed;
        std::string want;
    } rows[] = {
        {"a cell changed, the quotes it had kept", "index-traits.csv", &traits, {with(one, "h2", "0.25"), fat}, {},
         "# parameters of 2024\r\ntrait , sd,h2,c2\r\n\r\n1, 0.6 ,\"0.25\",0.1\r\n,,,\r\nfat_depth,1.2,0.35\r\n\r\n# the end\r\n"},
        {"a cell of a short row", "index-traits.csv", &traits, {with(fat, "c2", "0.05")}, {},
         "# parameters of 2024\r\ntrait , sd,h2,c2\r\n\r\n1, 0.6 ,\"0.20\",0.1\r\n,,,\r\nfat_depth,1.2,0.35,0.05\r\n\r\n# the end\r\n"},
        {"a column the header lacks", "index-traits.csv", &traits, {with(one, "repeatability", "0.4")}, {},
         "# parameters of 2024\r\ntrait , sd,h2,c2,repeatability\r\n\r\n1, 0.6 ,\"0.20\",0.1,0.4\r\n,,,\r\nfat_depth,1.2,0.35\r\n\r\n# the end\r\n"},
        {"a row removed", "index-traits.csv", &traits, {}, {"1"},
         "# parameters of 2024\r\ntrait , sd,h2,c2\r\n\r\n,,,\r\nfat_depth,1.2,0.35\r\n\r\n# the end\r\n"},
        {"a row added, before the blank lines and comments at the end", "index-traits.csv", &traits,
         {{{"trait", "24"}, {"sd", "35"}, {"h2", "0.03"}, {"h2_maternal", "0.05"}}}, {},
         "# parameters of 2024\r\ntrait , sd,h2,c2,h2_maternal\r\n\r\n1, 0.6 ,\"0.20\",0.1\r\n,,,\r\nfat_depth,1.2,0.35\r\n24,35,0.03,,0.05\r\n\r\n# the end\r\n"},
        {"a pair in either order, its value changed", "index-correlations.csv", &corr, {with(g12, "value", "0,35"), p12}, {},
         "kind;trait_a;component_a;trait_b;component_b;value\ngenetic;2;direct;1;direct;0,35\nphenotypic;1;;2;;0\n\n# sources of the values: a review\n"},
        {"a pair set to 0 goes, one that was 0 stays, a new one of 0 is not written", "index-correlations.csv", &corr,
         {with(g12, "value", "0,0"), p12, pair("litter", "1", "", "2", "", "0")}, {},
         "kind;trait_a;component_a;trait_b;component_b;value\nphenotypic;1;;2;;0\n\n# sources of the values: a review\n"},
        {"a new pair in the file's separators, a decimal comma quoted in a file of commas", "index-correlations.csv", &corr,
         {pair("genetic", "1", "maternal", "2", "maternal", "0,4")}, {},
         "kind;trait_a;component_a;trait_b;component_b;value\ngenetic;2;direct;1;direct;0,3\nphenotypic;1;;2;;0\n"
         "genetic;1;maternal;2;maternal;0,4\n\n# sources of the values: a review\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(compose(r.file, r.text, r.rows, r.removed), r.want);
    }
}

TEST(IndexDoc, NewFilesAndValuesOnlyQuotesCanHold) {
    EXPECT_EQ(compose("index-sources.csv", nullptr, {}), "(missing)");
    EXPECT_EQ(compose("index-sources.csv", nullptr, {{{"path", "rams"}, {"source", "own"}, {"trait", "1"}, {"records", "1"}},
                                                     {{"path", "ewes"}, {"source", "dam"}, {"trait", "8"}, {"records", ""}}}),
              "path,source,trait,records\nrams,own,1,1\n");
    // A decimal comma in a file of commas stands quoted, so that the
    // reader names it; a # at the start of a line is no comment.
    const std::string comma = "trait,sd,h2\n1,0.6,0.2";
    EXPECT_EQ(compose("index-traits.csv", &comma, {{{"trait", "1"}, {"sd", "0,6"}, {"h2", "0.2"}}, {{"trait", "#2"}, {"sd", "1"}}}),
              "trait,sd,h2\n1,\"0,6\",0.2\n\"#2\",1");
    // A file saved as Windows-1252 gets its bytes; what it cannot hold,
    // and a line break, are not written, and the first is named.
    const std::string ansi = "trait,sd,h2\nd\xE9p\xF4t,1,0.2\n";
    const IndexTable& t = table("index-traits.csv");
    std::optional<Unwritable> bad;
    EXPECT_EQ(*composeindex(t, readindexdoc(t, &ansi),
                            {{{{"trait", "d\xC3\xA9p\xC3\xB4t"}, {"sd", "1\xC2\xB0"}, {"h2", "0.2\xE2\x89\xA5"}}}, {}}, bad),
              "trait,sd,h2\nd\xE9p\xF4t,1\xB0,0.2\n");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->column, "h2");
    EXPECT_EQ(bad->key, "d\xC3\xA9p\xC3\xB4t");
    bad.reset();
    composeindex(t, readindexdoc(t, &ansi), {{{{"trait", "x"}, {"sd", "1\n2"}}}, {}}, bad);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->why, "holds a line break or another control character");
    // Every text composed reads as the cells the page holds.
    const std::string made = compose("index-traits.csv", &comma, {{{"trait", "1"}, {"sd", "a \"b\""}, {"h2", " 0.3 "}}});
    const CsvTable read = parsecsv(made, "index-traits.csv");
    EXPECT_EQ(read.rows[0].cells, (std::vector<std::string>{"1", "a \"b\"", "0.3"}));
}
