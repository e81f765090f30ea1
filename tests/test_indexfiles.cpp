// The input files of kalp index: every rule a value must meet, each a row
// that changes one file of the worked example and gives the report's file,
// line and column; the CSV files of spreadsheets; a run that stops writes
// nothing and keeps the earlier files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>

#include "input/csv.h"
#include "core/stop.h"
#include "workdir.h"

using namespace kalp;
using namespace kalp::test;

namespace {

// Replaces the first `from` in file `name` of the folder by `to`.
void edit(Workdir& w, const std::string& name, const std::string& from, const std::string& to) {
    std::string text = w.read(name);
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << name << ": " << from;
    text.replace(at, from.size(), to);
    w.write(name, text);
}

struct Fault {
    const char* what;
    const char* file;
    const char* from; // the text replaced in the file; "" appends
    const char* to;
    const char* report; // a part of the report that names where and what
    const char* file2 = nullptr, *from2 = nullptr, *to2 = nullptr; // a second change, if any
};

const Fault faults[] = {
    // index-traits.csv
    {"heritability above 1", "index-traits.csv", "4,60,0.30", "4,60,1.2",
     "index-traits.csv, line 4, column 3 (h2), the heritability is 1.2; it must lie between 0 and 1"},
    {"negative c2", "index-traits.csv", "4,60,0.30,,,0.05", "4,60,0.30,,,-0.05",
     "line 4, column 6 (c2), the litter share c2 is -0.05; it must lie between 0 and 1"},
    {"sd of 0", "index-traits.csv", "9,1.0,", "9,0,", "line 6, column 2 (sd), the phenotypic standard deviation is 0"},
    {"sd missing", "index-traits.csv", "9,1.0,", "9,,", "line 6, column 2 (sd), the phenotypic standard deviation is missing"},
    {"shares above 1", "index-traits.csv", "2,40,0.20,0.12,-0.25,0.12", "2,40,0.50,0.40,0.25,0.12",
     "line 3, column 6 (c2), h2 + h2_maternal + r_direct_maternal x sqrt(h2 x h2_maternal) + c2 is 1.1318"},
    {"repeatability below the permanent share", "index-traits.csv", "8,0.65,0.10,,,,0.15", "8,0.65,0.10,,,,0.05",
     "line 5, column 7 (repeatability), the repeatability is 0.05, below 0.1"},
    {"maternal heritability of a direct trait", "index-traits.csv", "4,60,0.30,,", "4,60,0.30,0.1,",
     "line 4, column 4 (h2_maternal), trait 4 has no maternal component in KALP"},
    {"maternal heritability of a ewe trait", "index-traits.csv", "8,0.65,0.10,,", "8,0.65,0.10,0.1,",
     "trait 8 is a trait of the ewe"},
    {"correlation of effects without a maternal one", "index-traits.csv", "9,1.0,0.30,,", "9,1.0,0.30,,0.2",
     "line 6, column 5 (r_direct_maternal), the trait has a correlation of direct and maternal effects"},
    {"correlation of effects out of range", "index-traits.csv", "-0.20,0.10", "-1.20,0.10",
     "column 5 (r_direct_maternal), the correlation of the direct and maternal effects is -1.2"},
    {"trait 36", "index-traits.csv", "11,3.0", "36,3.0", "line 7, column 1 (trait), trait 36 is no trait of KALP"},
    {"a name with a blank", "index-traits.csv", "fat_depth,1.2", "fat depth,1.2",
     "line 9, column 1 (trait), \"fat depth\" is neither a trait number of KALP nor a trait name"},
    {"a trait twice", "index-traits.csv", "11,3.0", "9,3.0", "trait 9 is given a second time (first on line 6)"},
    {"a typo in a column", "index-traits.csv", "h2_maternal", "h2_maternel",
     "line 1, column 4 of the header, \"h2_maternel\", is no column of index-traits.csv"},
    {"a column missing", "index-traits.csv", ",sd,", ",deviation,", "column 2 of the header, \"deviation\""},
    {"a decimal comma in a comma file", "index-traits.csv", "9,1.0,0.30", "9,1.0,0,30",
     "line 6 has 8 fields, but the header (line 1) names 7 columns"},
    {"text for a number", "index-traits.csv", "9,1.0,", "9,one,", "column 2 (sd), the value \"one\" is not a number"},
    {"nan", "index-traits.csv", "9,1.0,", "9,nan,", "the value \"nan\" is not a number"},
    {"too large", "index-traits.csv", "9,1.0,", "9,1e999,", "the number \"1e999\" is too large"},
    {"a quote left open", "index-traits.csv", "fat_depth,", "\"fat_depth,", "the double quote opened on line 9 is not closed"},
    // index-correlations.csv
    {"a correlation above 1", "index-correlations.csv", "9,direct,11,direct,-0.60", "9,direct,11,direct,-1.60",
     "index-correlations.csv, line 11, column 6 (value), the correlation is -1.6"},
    {"a pair twice", "index-correlations.csv", "genetic,4,direct,9,direct,0.20",
     "genetic,4,direct,9,direct,0.20\ngenetic,9,direct,4,direct,0.25",
     "line 9, column 4 (trait_b), this genetic correlation is given a second time (first on line 8)"},
    {"an unknown trait", "index-correlations.csv", "genetic,4,direct,11", "genetic,4,direct,12",
     "line 9, column 4 (trait_b), trait 12 has no row in index-traits.csv"},
    {"a component the trait lacks", "index-correlations.csv", "genetic,4,direct,9,direct", "genetic,4,maternal,9,direct",
     "line 8, column 3 (component_a), trait 4 has no maternal component in index-traits.csv"},
    {"the direct component of a ewe trait", "index-correlations.csv", "2,maternal,8,maternal", "2,maternal,8,direct",
     "trait 8 is a trait of the ewe: its only component is maternal"},
    {"components of a phenotypic correlation", "index-correlations.csv", "phenotypic,9,,11,,", "phenotypic,9,direct,11,,",
     "column 3 (component_a), a phenotypic correlation is one between traits, not components"},
    {"a litter correlation without a litter effect", "index-correlations.csv", "litter,1,,24", "litter,1,,9",
     "column 4 (trait_b), trait 9 has no litter effect"},
    {"an unknown kind", "index-correlations.csv", "phenotypic,9,,11", "environmental,9,,11",
     "column 1 (kind), the kind \"environmental\" is none of genetic, phenotypic and litter"},
    {"a trait with itself", "index-correlations.csv", "phenotypic,9,,11", "phenotypic,9,,9",
     "a phenotypic correlation of trait 9 with itself is 1"},
    // index-sources.csv
    {"an unknown path", "index-sources.csv", "rams,own,1,1", "bulls,own,1,1",
     "index-sources.csv, line 2, column 1 (path), the path \"bulls\" is neither rams nor ewes"},
    {"an unknown source", "index-sources.csv", "rams,dam,8,3", "rams,granddam,8,3", "the source \"granddam\" is unknown"},
    {"no records", "index-sources.csv", "rams,dam,8,3", "rams,dam,8,0",
     "line 6, column 4 (records), the number of records is 0"},
    {"records not whole", "index-sources.csv", "rams,dam,8,3", "rams,dam,8,2.5",
     "column 4 (records), the value \"2.5\" is not a whole number"},
    {"a ram's own litter size", "index-sources.csv", "rams,dam,8,3", "rams,own,8,3",
     "line 6, column 2 (source), a ram has no record of trait 8, a trait of the ewe"},
    {"the sire's litter size", "index-sources.csv", "ewes,sire,4,1", "ewes,sire,8,1",
     "the sire is a ram, which has no record of trait 8, a trait of the ewe"},
    {"a source twice", "index-sources.csv", "rams,own,2,1", "rams,own,1,1",
     "line 3, column 3 (trait), this source is given a second time for the rams (first on line 2)"},
    {"repeated records without repeatability", "index-sources.csv", "rams,own,4,1", "rams,own,4,2",
     "line 4, column 4 (records), 2 repeated records of trait 4 need its repeatability"},
    {"a trait beside repeated records", "index-sources.csv", "ewes,own,1,1", "ewes,own,1,1\newes,own,8,2",
     "index-sources.csv, line 11, trait 1 stands beside 2 records of trait 8 (line 12) of the same animal: "
     "the covariance of their means needs the repeatability of trait 1",
     "index-correlations.csv", "litter,1,,24,,0.20", "litter,1,,24,,0.20\nphenotypic,1,,8,,0.1"},
    {"an unknown trait of a source", "index-sources.csv", "rams,own,4,1", "rams,own,8x,1",
     "line 4, column 3 (trait), \"8x\" is neither a trait number of KALP nor a trait name"},
    // index-selection.csv
    {"a proportion of 0", "index-selection.csv", "rams,0.05", "rams,0",
     "index-selection.csv, line 2, column 2 (proportion), the proportion selected is 0"},
    {"a proportion above 1", "index-selection.csv", "rams,0.05", "rams,1.5", "the proportion selected is 1.5"},
    {"proportion and intensity", "index-selection.csv", "rams,0.05,,", "rams,0.05,2,",
     "both the proportion selected and the intensity are given"},
    {"neither", "index-selection.csv", "rams,0.05,,", "rams,,,", "neither the proportion selected nor the intensity"},
    {"a negative intensity", "index-selection.csv", "rams,0.05,,", "rams,,-1,", "column 3 (intensity), the intensity is -1"},
    {"an interval of 0", "index-selection.csv", "rams,0.05,,", "rams,0.05,,0",
     "column 4 (generation_interval), the generation interval is 0 years"},
    {"a traced group outside the classes", "index-selection.csv", "ewes,0.5,,,5", "ewes,0.5,,,12",
     "line 3, column 5 (traced_group), the traced group is 12; it must lie between 1 and 11"},
    {"a path twice", "index-selection.csv", "ewes,0.5", "rams,0.5", "the rams are given a second time (first on line 2)"},
    {"no path", "index-selection.csv", "rams,0.05,,,\newes,0.5,,,5\n", "", "The file index-selection.csv selects no path"},
};

TEST(IndexFiles, EveryRuleOfTheFilesIsReportedWithItsPlace) {
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.what);
        Workdir w;
        copyexample(w, "index");
        ASSERT_EQ(w.run("index --csv").status, 0);
        const std::string before = w.read("kalp-index.csv");
        const size_t placed = w.folder().placed().size();
        edit(w, f.file, f.from, f.to);
        if (f.file2) edit(w, f.file2, f.from2, f.to2);
        const Outcome r = w.run("index --csv --json --plot");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find("Error message:"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(f.report), std::string::npos) << r.output;
        EXPECT_TRUE(r.endswithtime());
        // Nothing written, the earlier files kept.
        EXPECT_EQ(w.read("kalp-index.csv"), before);
        EXPECT_FALSE(w.exists("kalp-index.json"));
        EXPECT_FALSE(w.exists("kalp-index.svg"));
        EXPECT_EQ(w.folder().placed().size(), placed);
    }
}

TEST(IndexFiles, DesiredGainsAndRestrictionsAreCheckedAsTheFilesAre) {
    const struct {
        const char* what;
        const char* desired; // index-desired.csv, or none
        const char* args;
        int status;
        const char* report;
    } rows[] = {
        {"a gain for a trait without parameters", "trait,component,gain\n5,direct,1\n", "", 1,
         "index-desired.csv, line 2, column 1 (trait), trait 5 has no row in index-traits.csv"},
        {"a component the trait lacks", "trait,component,gain\n11,direct,1\n4,maternal,1\n", "", 1,
         "index-desired.csv, line 3, column 2 (component), trait 4 has no maternal component"},
        {"a component that is no word of them", "trait,component,gain\n4,both,1\n", "", 1,
         "column 2 (component), a desired gain needs the component of the trait, direct or maternal"},
        {"a gain missing", "trait,component,gain\n4,direct,\n", "", 1, "column 3 (gain), the desired gain is missing"},
        {"a component twice", "trait,component,gain\n4,direct,1\n9,direct,0\n4,Direct,2\n", "", 1,
         "line 4, column 2 (component), the direct gain of trait 4 is given a second time (first on line 2)"},
        {"no direction", "trait,component,gain\n4,direct,0\n", "", 1, "Every gain of index-desired.csv is 0"},
        {"a column that is not the file's", "trait,component,gain,weight\n4,direct,1,2\n", "", 1,
         "column 4 of the header, \"weight\", is no column of index-desired.csv"},
        {"a gain of a trait only recorded is fine", "trait,component,gain\nfat_depth,direct,-1\n4,direct,1\n", "", 0,
         ""},
        {"a restriction on a trait without parameters", nullptr, " --restrict 5:direct", 1,
         "The option --restrict 5:direct names a component that is not in the objective:\n  trait 5 has no row"},
        {"a restriction on a maternal component the trait lacks", nullptr, " --restrict 04:maternal", 1,
         "trait 4 has no maternal heritability in index-traits.csv"},
        {"a restriction on the direct component of a ewe trait", nullptr, " --restrict 8:direct", 1,
         "trait 8 is a trait of the ewe, whose only component is maternal"},
        {"more held than the sources can tell apart", nullptr,
         " --restrict 1:direct --restrict 1:maternal --restrict 2:direct --restrict 2:maternal --restrict 4:direct "
         "--restrict 8:maternal --restrict 9:direct --restrict 11:direct --restrict 24:direct --restrict "
         "24:maternal --restrict fat_depth:direct",
         1, "The restriction cannot be met on the rams path: its sources cannot tell the\n  responses of 1 direct"},
        {"a restriction without its component", nullptr, " --restrict 4", 2, "--restrict 4: give a trait and its component"},
        {"a restriction given twice", nullptr, " --restrict 4:direct --restrict 4:DIRECT", 2,
         "--restrict 4:DIRECT is given twice"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Workdir w;
        copyexample(w, "index");
        ASSERT_EQ(w.run("index --csv").status, 0);
        const std::string before = w.read("kalp-index.csv");
        const size_t placed = w.folder().placed().size();
        if (row.desired) w.write("index-desired.csv", row.desired);
        const Outcome r = w.run(std::string("index --csv --json") + row.args);
        EXPECT_EQ(r.status, row.status) << r.output;
        if (row.status == 0) {
            EXPECT_TRUE(w.exists("kalp-index-constrained.csv"));
            continue;
        }
        EXPECT_NE((row.status == 1 ? r.output : r.errors).find(row.report), std::string::npos)
            << r.output << r.errors;
        EXPECT_EQ(w.read("kalp-index.csv"), before);
        EXPECT_FALSE(w.exists("kalp-index.json"));
        EXPECT_FALSE(w.exists("kalp-index-constrained.csv"));
        EXPECT_EQ(w.folder().placed().size(), placed);
    }
}

} // namespace

namespace {

// What a spreadsheet in a decimal-comma country saves: semicolons between
// the fields, decimal commas, a byte-order mark, Windows line ends.
std::string spreadsheet(const std::string& csv) {
    std::string s = "\xEF\xBB\xBF";
    for (const char c : csv)
        s += c == ',' ? std::string(";") : c == '.' ? std::string(",") : c == '\n' ? std::string("\r\n")
                                                                        : std::string(1, c);
    return s;
}

TEST(IndexFiles, SpreadsheetFilesGiveTheSameIndex) {
    Workdir w;
    copyexample(w, "index");
    ASSERT_EQ(w.run("index --csv --json --plot").status, 0);
    const char* outputs[] = {"kalp-index.csv", "kalp-index-weights.csv", "kalp-index-response.csv",
                             "kalp-index.json", "kalp-index.svg"};
    std::vector<std::string> before;
    for (const char* o : outputs)
        before.push_back(w.read(o));
    for (const char* f : {"index-traits.csv", "index-correlations.csv", "index-sources.csv", "index-selection.csv"})
        w.write(f, spreadsheet(w.read(f)));
    const Outcome r = w.run("index --csv --json --plot");
    ASSERT_EQ(r.status, 0) << r.output;
    for (size_t i = 0; i < std::size(outputs); ++i)
        EXPECT_EQ(w.read(outputs[i]), before[i]) << outputs[i];
}

TEST(IndexFiles, CsvAsSpreadsheetsAndEditorsWriteIt) {
    const struct {
        const char* what;
        std::string text;
        std::vector<std::vector<std::string>> rows; // header first
    } rows[] = {
        {"plain", "a,b\n1,2\n", {{"a", "b"}, {"1", "2"}}},
        {"Windows line ends and blanks", "a , b\r\n 1,2 \r\n", {{"a", "b"}, {"1", "2"}}},
        {"old Mac line ends", "a,b\r1,2\r", {{"a", "b"}, {"1", "2"}}},
        {"byte-order mark and Ctrl-Z", "\xEF\xBB\xBF" "a,b\n1,2\n\x1A\r\n", {{"a", "b"}, {"1", "2"}}},
        {"semicolons", "a;b\n1,5;2\n", {{"a", "b"}, {"1,5", "2"}}},
        {"quotes", "a,b\n\"x, \"\"y\"\"\",\"two\nlines\"\n", {{"a", "b"}, {"x, \"y\"", "two\nlines"}}},
        {"empty rows and rows of separators", "a;b\n\n;\n1;2\n;;\n", {{"a", "b"}, {"1", "2"}}},
        {"short rows", "a,b,c\n1\n", {{"a", "b", "c"}, {"1", "", ""}}},
        {"a spreadsheet's empty columns", "a,b,,\n1,2,,\n", {{"a", "b"}, {"1", "2"}}},
        {"Windows-1252", "a,b\n\xE9t\xE9,\x80\n", {{"a", "b"}, {"\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC"}}},
        {"comment lines", "# traits, \"first\n a,b\n  # 1,2\n1,2\n#\n", {{"a", "b"}, {"1", "2"}}},
        {"a spreadsheet's comment", "# note;;\na;b\n#x;;\n1;2\n", {{"a", "b"}, {"1", "2"}}},
        {"a quoted field that begins with #", "a,b\n\"#1\",2\n", {{"a", "b"}, {"#1", "2"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const CsvTable t = parsecsv(row.text, "f.csv");
        EXPECT_EQ(t.decimalcomma, row.text.find(';') != std::string::npos);
        ASSERT_EQ(t.rows.size() + 1, row.rows.size());
        EXPECT_EQ(t.header, row.rows[0]);
        for (size_t i = 0; i < t.rows.size(); ++i)
            EXPECT_EQ(t.rows[i].cells, row.rows[i + 1]);
    }
    // Lines are counted as the file has them, quoted line breaks included.
    EXPECT_EQ(parsecsv("a\n\n\"x\ny\"\n3\n", "f.csv").rows[1].line, 5);
    // A comment's semicolons and commas do not choose the separator.
    EXPECT_FALSE(parsecsv("# a; b\na,b\n1,2\n", "f.csv").decimalcomma);
    EXPECT_TRUE(parsecsv("# a, b\na;b\n1;2\n", "f.csv").decimalcomma);

    const struct {
        const char* what;
        std::string text;
        const char* report;
    } faults[] = {
        {"UTF-16", std::string("\xFF\xFE" "a\0,\0b\0", 8), "saved as UTF-16"},
        {"UTF-16 without a mark", std::string("a\0,\0b\0", 6), "saved as UTF-16"},
        {"a NUL byte", std::string("a,b\n1,\0\n", 8), "holds a NUL byte (a byte of value 0) on line 2"},
        {"nothing but blanks", "\n \n", "holds no header line"},
        {"too many fields", "a,b\n1,2,3\n", "line 2 has 3 fields, but the header (line 1) names 2 columns"},
        {"text after a quote", "a,b\n\"1\"x,2\n", "line 2, text follows the closing double quote"},
        {"a quote not closed", "a,b\n\n1,\"2\n", "the double quote opened on line 3 is not closed"},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.what);
        try {
            parsecsv(f.text, "f.csv");
            ADD_FAILURE() << "no report";
        } catch (const RunStop& stop) {
            EXPECT_NE(stop.what.find(f.report), std::string::npos) << stop.what;
            EXPECT_EQ(stop.file, "f.csv");
            // The line the report names, for the editor that marks it.
            const size_t line = stop.what.find_first_of("0123456789", stop.what.find("line "));
            EXPECT_EQ(stop.line, line == std::string::npos ? 0 : std::stoi(stop.what.substr(line)));
        }
    }
}

// The records of a text know where each field's bytes stand, so that an
// editor can change a field and keep every other byte.
TEST(IndexFiles, RecordsKnowWhereTheirBytesStand) {
    const struct {
        const char* what;
        std::string text;
        char sep;
        // Each record: comment or empty, and the bytes of its fields.
        std::vector<std::pair<char, std::vector<std::string>>> records;
    } rows[] = {
        {"plain", "a,b\n1,2", ',', {{' ', {"a", "b"}}, {' ', {"1", "2"}}}},
        {"blanks around fields", " a , b \r\n1,\t2\r\n", ',', {{' ', {"a", "b"}}, {' ', {"1", "2"}}}},
        {"quotes", "\"x,y\" ,\"a\"\"b\"\n", ',', {{' ', {"\"x,y\"", "\"a\"\"b\""}}}},
        {"a quoted line break", "\"two\nlines\",3\nz,4\n", ',', {{' ', {"\"two\nlines\"", "3"}}, {' ', {"z", "4"}}}},
        {"comments and empty rows", "# c,d\n\n;;\n1;2\n", ';', {{'#', {}}, {'e', {""}}, {'e', {"", "", ""}}, {' ', {"1", "2"}}}},
        {"empty fields", "1,,3,\n", ',', {{' ', {"1", "", "3", ""}}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<CsvRecord> records = splitcsv(row.text, "f.csv", row.sep);
        ASSERT_EQ(records.size(), row.records.size());
        size_t at = 0;
        for (size_t i = 0; i < records.size(); ++i) {
            const CsvRecord& r = records[i];
            EXPECT_EQ(r.begin, at);
            at = r.end;
            EXPECT_EQ(r.comment, row.records[i].first == '#');
            EXPECT_EQ(r.empty, row.records[i].first == 'e');
            ASSERT_EQ(r.fields.size(), row.records[i].second.size());
            for (size_t k = 0; k < r.fields.size(); ++k) {
                const CsvRecord::Field& f = r.fields[k];
                EXPECT_EQ(row.text.substr(f.offset, f.length), row.records[i].second[k]);
                EXPECT_EQ(f.quoted, row.records[i].second[k].rfind('"', 0) == 0);
            }
        }
        EXPECT_EQ(at, row.text.size());
    }
    EXPECT_EQ(splitcsv("\"a\"\"b\",2\n", "f.csv", ',')[0].fields[0].text, "a\"b");
}

TEST(IndexFiles, ColumnsAreFoundByTheirNames) {
    const std::vector<CsvColumn> known = {{"trait", true}, {"sd", true}, {"c2", false}};
    const struct {
        const char* header;
        bool others;
        const char* report; // "" when the columns are found
    } rows[] = {
        {"SD,Trait", false, ""},
        {"trait,sd,extra", true, ""},
        {"trait,sd,extra", false, "column 3 of the header, \"extra\", is no column of f.csv"},
        {"trait,sd,SD", false, "column 3 of the header names the column sd, which column 2 names already"},
        {"trait,c2", false, "The file f.csv has no column sd in its header (line 1)"},
        {"trait,,sd", false, "column 2 of the header has no name"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.header);
        const std::string header = row.header;
        const CsvTable t = parsecsv(header + (std::count(header.begin(), header.end(), ',') == 1 ? "\n1,2\n" : "\n1,2,3\n"), "f.csv");
        try {
            const CsvColumns c(t, known, row.others);
            EXPECT_STREQ(row.report, "");
            EXPECT_TRUE(c.has("sd"));
            EXPECT_EQ(c.cell(t.rows[0], "trait"), row.header[0] == 'S' ? "2" : "1");
            EXPECT_FALSE(c.has("c2"));
            EXPECT_EQ(c.cell(t.rows[0], "c2"), "");
        } catch (const RunStop& stop) {
            EXPECT_NE(std::string(row.report), "") << stop.what;
            EXPECT_NE(stop.what.find(row.report), std::string::npos) << stop.what;
        }
    }
}

TEST(IndexFiles, NumbersAreReadWithTheFilesDecimalSign) {
    const struct {
        const char* text; // the file
        double value;     // the number of column x, or NAN for a report
        const char* report;
    } rows[] = {
        {"x,y\n0.25,1\n", 0.25, ""},
        {"x,y\n-1.5e-3,1\n", -1.5e-3, ""},
        {"x,y\n+.5,1\n", 0.5, ""},
        {"x;y\n0,25;1\n", 0.25, ""},
        {"x;y\n1.000;1\n", NAN, "line 2, column 1 (x), the number \"1.000\" is written with a point"},
        {"x,y\n\"0,25\",1\n", NAN, "the number \"0,25\" is written with a decimal comma"},
        {"x,y\n0x10,1\n", NAN, "the value \"0x10\" is not a number"},
        {"x,y\ninf,1\n", NAN, "the value \"inf\" is not a number"},
        {"x,y\n1e400,1\n", NAN, "the number \"1e400\" is too large"},
        {"x,y\n3 5,1\n", NAN, "the value \"3 5\" is not a number"},
        {"x;y\n0,3\xB0;1\n", NAN, "the value \"0,3\xC2\xB0\" is not a number"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const CsvTable t = parsecsv(row.text, "f.csv");
        const CsvColumns c(t, {{"x", true}, {"y", false}});
        try {
            const std::optional<double> v = c.number(t.rows[0], "x");
            ASSERT_TRUE(v.has_value());
            EXPECT_EQ(*v, row.value);
        } catch (const RunStop& stop) {
            EXPECT_TRUE(std::isnan(row.value)) << stop.what;
            EXPECT_NE(stop.what.find(row.report), std::string::npos) << stop.what;
            EXPECT_EQ(stop.line, 2);
            EXPECT_EQ(stop.value, "x");
        }
        // The same rule without a report, for the editor.
        double v = 0;
        EXPECT_EQ(csvnumber(c.cell(t.rows[0], "x"), t.decimalcomma, v), !std::isnan(row.value));
        if (!std::isnan(row.value)) {
            EXPECT_EQ(v, row.value);
        }
    }
}

} // namespace
