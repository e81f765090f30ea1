// End-to-end runs of kalp in a temporary working directory: the gate, the
// echo of the input files, complete runs and every way a run can fail.
#include <gtest/gtest.h>

#include <functional>

#include "scenario.h"
#include "workdir.h"

using namespace kalp::test;

namespace {

const std::string banner = "\nRunning KALP Version 1.0.3, 2011\n"
                           "Economic weights of sheep traits by the gene flow method\n"
                           "Part of the program suite for the economics of sheep breeding\n";
const std::string working = "\nI am working\nReading data from PARAVRD.TXT\n";

std::string notcalculated(int from, int to) {
    std::string s;
    for (int k = from; k <= to; ++k)
        s += "{" + std::to_string(k) + "} not calculated";
    return s;
}

// Runs a scenario and expects it to end with an error report whose text
// contains `report`; only a run that failed after the dump leaves CHECKVRD.
Outcome failing(Workdir& w, const std::string& report, bool dumped = false) {
    const Outcome r = w.run();
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.endswithtime()) << r.output;
    EXPECT_NE(r.beforetime().find(report), std::string::npos) << r.output;
    EXPECT_EQ(r.beforetime().substr(r.beforetime().size() - 2), "\n\n") << r.output;
    EXPECT_EQ(w.exists("CHECKVRD"), dumped);
    return r;
}

} // namespace

TEST(Gate, OneStopsBeforeAnyFile) {
    for (const char* flag : {"1", "1.0", "  1\n"}) {
        Workdir w;
        Scenario s = Scenario::one();
        s.error = flag;
        s.write(w);
        const Outcome r = w.run();
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.beforetime(), banner +
                                      "\nError message:\n"
                                      "Program was stopped because there was an error message in "
                                      "one of the\n  preceding runs of TORM2.\n\n");
        EXPECT_TRUE(r.endswithtime());
        EXPECT_FALSE(w.exists("resgfps01"));
        EXPECT_FALSE(w.exists("CHECKVRD"));
    }
}

TEST(Gate, OtherValuesLetTheRunGoOn) {
    for (const char* flag : {"0", "2", "-1", "", "text", "0.5"}) {
        Workdir w;
        Scenario s = Scenario::one();
        s.error = flag;
        s.write(w);
        if (!*flag) w.write("ERROR.TXT", "");
        const Outcome r = w.run();
        EXPECT_EQ(r.status, 0) << flag << r.output;
        EXPECT_TRUE(w.exists("CHECKVRD"));
    }
}

TEST(OneSystem, CompleteRunEchoesAndReports) {
    Workdir w;
    Scenario::one().write(w);
    const Outcome r = w.run();
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.beforetime(), banner + working +
                                  "Reading data from INPUTVRD01A.TXT\n"
                                  "Reading data from INPUTVRD02.TXT\n"
                                  "Writing results to file CHECKVRD\n"
                                  "Writing the results to the results file resgfps01.\n"
                                  "\nThank you for using the program KALP.\n"
                                  "The results are given in the file resgfps01.\n"
                                  "The values of all variables are given in the file CHECKVRD.\n");
    EXPECT_TRUE(r.endswithtime());

    const std::string row = spaces(10) + "  ";
    const std::string gap = spaces(37) + "   ";
    const std::string want =
        // preamble and parameter file
        "{1}  1{2}KALPParameters of the run   Standardisation (2 = yes):  1\n{3}"
        // system A
        "2.1 Data from file INPUTVRD01A.TXT\n" +
        std::string(34, '-') + "{4}   0.05{5}   2{6}" + spaces(10) + "1" + spaces(22) +
        "0.60000\n" + spaces(10) + "2" + spaces(22) + "0.40000{7}{8}   3{9}" + spaces(10) + "1" +
        spaces(22) + "0.50000\n" + spaces(10) + "2" + spaces(22) + "0.30000\n" + spaces(10) + "3" +
        spaces(22) + "0.20000{10}{11}    2.500" + notcalculated(12, 13) + "{14}    0.000" +
        notcalculated(15, 17) + "{18}   -1.250" + notcalculated(19, 45) +
        "{46}   365.0{47}   365.0\n\n"
        // settings: the 81 segments of system B are dropped
        "2.2 Data from file INPUTVRD02.TXT\n" +
        std::string(33, '-') +
        " Traced class    (n_sac):  1  Years    (l_inv):  3  Sire path given    (pgssA):  1  "
        "Dam path computed    (pgdsA):  2 \nSire path    (PS): 0.000 0.300 0.200"
        // results section
        "{129} 1.\n{130}  1{131}{138}   3\n{139}" +
        row + "1" + gap + "0.445\n" + row + "2" + gap + "1.212\n" + row + "3" + gap +
        "0.907\n{140}" + row + "1" + gap + "0.445\n" + row + "2" + gap + "0.259\n" + row + "3" +
        gap + "0.000\n" + row + "4" + gap + "0.000\n{144}" + row + "1" + gap + "0.445{147}{148}" +
        spaces(44) + "    1.1122" + spaces(9) + "    0.3239\n{155}" + spaces(50) + "-" +
        spaces(12) + "   -0.1620\n{183}";
    EXPECT_EQ(w.read("resgfps01"), want);
}

TEST(OneSystem, TracedClassOutOfRange) {
    // acm is 8: classes 1..7 may be traced.
    for (const char* traced : {"0", "9", "-3"}) {
        Workdir w;
        Scenario s = Scenario::one();
        s.settings2.replace(s.settings2.find("1 \"Traced"), 1, traced);
        s.write(w);
        const Outcome r =
            failing(w, "\n\n\nError message:\n"
                       "The number of the sex and age group for which the gene flow "
                       "will be calculated\n  is wrong. Its value must be between 1 and "
                       "7.\n  Correct the value in INPUTVRD02.TXT and restart the "
                       "program.\n\n\n");
        // The whole settings file was echoed before the test.
        const std::string res = w.read("resgfps01");
        EXPECT_NE(res.find(std::string(" Traced class    (n_sac):  ") + traced + " "),
                  std::string::npos);
        EXPECT_NE(res.find("Sire path    (PS): 0.000 0.300 0.200"), std::string::npos);
        EXPECT_EQ(res.find("{129}"), std::string::npos);
    }
    Workdir w;
    Scenario s = Scenario::one();
    s.settings2.replace(s.settings2.find("1 \"Traced"), 1, "7");
    s.write(w);
    EXPECT_EQ(w.run().status, 0);
    EXPECT_NE(w.read("resgfps01").find("{130}  4{132}{138}"), std::string::npos);
}

TEST(OneSystem, UnusablePathOptionFailsRowOne) {
    Workdir w;
    Scenario s = Scenario::one();
    s.settings2.replace(s.settings2.find("1 \"Sire path given"), 1, "0");
    s.write(w);
    failing(w, "\nError message:\nSomething is going wrong with matrix P.\n"
               "  The row # 1 does not sum to 1.\n"
               "  Check your data in input files INPUTVRD01A.TXT and INPUTVRD02.TXT. \n\n\n");
    // A path skipped with its option writes nothing.
    EXPECT_EQ(w.read("resgfps01").find("(PS)"), std::string::npos);
}

// Every input a user can get wrong before the model: the first problem is
// reported with the file it is in, and the run ends with status 1.
TEST(InputErrors, MissingFilesInTheOrderTheyAreOpened) {
    const char* order[] = {"ERROR.TXT",   "TEXTVRD_OUT.TXT", "P01.TXT",
                           "PARAVRD.TXT", "INPUTVRD01A.TXT", "INPUTVRD02.TXT"};
    for (const char* name : order) {
        Workdir w;
        Scenario::one().write(w);
        w.remove(name);
        failing(w, std::string("\nError message:\nThe input file ") + name +
                       " cannot be opened.\n  Put the file " + name +
                       " into the working directory and restart the program.\n\n");
        const bool created = std::string(name) != "ERROR.TXT" &&
                             std::string(name) != "TEXTVRD_OUT.TXT" &&
                             std::string(name) != "P01.TXT";
        EXPECT_EQ(w.exists("resgfps01"), created) << name;
    }
    Workdir w;
    Scenario::two().write(w);
    w.remove("INPUTVRD01B.TXT");
    failing(w, "The input file INPUTVRD01B.TXT cannot be opened.");
    // Files of the other mode are not needed.
    Workdir w1;
    Scenario::one().write(w1);
    EXPECT_FALSE(w1.exists("INPUTVRD01B.TXT"));
    EXPECT_EQ(w1.run().status, 0);
}

TEST(InputErrors, NumberOfSystems) {
    for (const char* prods : {"3", "0", "", "two"}) {
        Workdir w;
        Scenario s = Scenario::one();
        s.write(w);
        w.write("P01.TXT", prods);
        const std::string report = *prods == '3' || *prods == '0'
                                       ? std::string("The file P01.TXT gives ") + prods +
                                             " as the number of production systems.\n  Write 1 "
                                             "(one production system) or 2 (two linked "
                                             "systems) in P01.TXT and restart the program."
                                       : "The file P01.TXT holds no readable number for the "
                                         "number of production systems.";
        failing(w, report);
        EXPECT_FALSE(w.exists("resgfps01"));
        EXPECT_FALSE(w.exists("resgfps03"));
    }
}

// Where a report's fixed words cannot say where the fault lies, a line on
// standard error after it does: the line of the value, a quote left open,
// the list of age weights and its sum.
TEST(InputErrors, DetailsNameTheLine) {
    const auto replace = [](std::string& text, const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
    };
    struct Row {
        const char* name;
        std::function<void(Scenario&)> change;
        const char* report; // in the fixed report on standard output
        const char* detail; // on standard error
    };
    const Row rows[] = {
        {"a label not closed in line 3",
         [&](Scenario& s) { replace(s.settings2, "\"l_inv\"\n", "\"l_inv\n"); },
         "holds no readable number for the sire path option of system A",
         "kalp: INPUTVRD02.TXT, line 3: the text that begins with the double quote there runs on "
         "to the next line and takes in the number written there; its closing double quote is "
         "missing\n"},
        {"a description not closed in line 2",
         [&](Scenario& s) { replace(s.settings2, "\"Traced class\"", "\"Traced class"); },
         "", "kalp: INPUTVRD02.TXT, line 2: the text that begins with the double quote there"},
        {"a letter for a number in line 4",
         [&](Scenario& s) { replace(s.settings2, "1 \"Sire path given", "x \"Sire path given"); },
         "holds no readable number for the sire path option of system A",
         "kalp: INPUTVRD02.TXT, line 4 holds that value\n"},
        {"ewe weights adding up to 1.1",
         [&](Scenario& s) { replace(s.a, "0.5 0.3 0.2", "0.5 0.3 0.3"); }, "The row # ",
         "kalp: INPUTVRD01A.TXT: the 3 age weights of the reproductive ewe classes of A (l4EA) add "
         "up to 1.1; they must add up to 1\n"},
        {"a traced group outside the table",
         [&](Scenario& s) { replace(s.settings2, "1 \"Traced", "8 \"Traced"); }, "Its value 8",
         "kalp: INPUTVRD02.TXT, line 2: the traced group 8 stands there\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Workdir w;
        Scenario s = Scenario::one();
        row.change(s);
        s.write(w);
        const Outcome r = w.run();
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find(row.report), std::string::npos) << r.output;
        EXPECT_EQ(r.errors.rfind(row.detail, 0), 0u) << r.errors;
    }
}

TEST(InputErrors, UnreadableValues) {
    struct Case {
        const char* file;
        std::string text;
        std::string report;
    };
    const Scenario one = Scenario::one();
    const std::string a = one.a;
    auto withA = [&](const std::string& from, const std::string& to) {
        std::string t = a;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const Case cases[] = {
        {"PARAVRD.TXT", "KALP\"Parameters\"\n\"Standardisation\"",
         "The file PARAVRD.TXT holds no readable number for the standardisation switch."},
        {"INPUTVRD01A.TXT", "",
         "The file INPUTVRD01A.TXT holds no readable number for the "
         "discount rate.\n  Write that value as a number in "
         "INPUTVRD01A.TXT and restart the program.\n\n"},
        {"INPUTVRD01A.TXT", withA("\n3\n", "\n\"3\"\n"),
         "no readable number for the number of reproductive ewe classes."},
        {"INPUTVRD01A.TXT", a.substr(0, a.size() - 5),
         "no readable number for the age of the ewes at first use."},
        {"INPUTVRD01A.TXT", withA("0.6 0.4", "0.6 nan"),
         "The value of the age weight of ram class 2 in INPUTVRD01A.TXT is not a finite number "
         "or is too large.\n  Correct the value in INPUTVRD01A.TXT and restart the program."},
        {"INPUTVRD01A.TXT", withA("2.5", "1e39"),
         "The value of the economic value of trait 1 in INPUTVRD01A.TXT is not a finite"},
        {"INPUTVRD01A.TXT", withA("0.6 0.4", "0.6 1e309"), "age weight of ram class 2"},
        {"INPUTVRD01A.TXT", withA("\n2\n", "\n99999999999\n"),
         "The value of the number of reproductive ram classes in INPUTVRD01A.TXT is not a"},
        {"INPUTVRD01A.TXT", withA("\n2\n", "\n2.0\n"),
         "In INPUTVRD01A.TXT, the number of reproductive ram classes is not followed by a blank "
         "or a line break.\n  Write it as a whole number without a decimal point in "
         "INPUTVRD01A.TXT and restart the program."},
        {"INPUTVRD01A.TXT", withA("\n2\n0.6 0.4", "\n6\n0.1 0.1 0.1 0.1 0.1 0.5"),
         "In INPUTVRD01A.TXT, the number of reproductive ram classes is 6, more than the 5 that "
         "the model holds.\n  Give at most 5 classes in INPUTVRD01A.TXT and restart the program."},
        {"INPUTVRD01A.TXT", withA("\n3\n", "\n16\n"),
         "the number of reproductive ewe classes is 16, more than the 15"},
        {"TEXTVRD_OUT.TXT", numberedtemplate(20) + "\"{21",
         "The report template TEXTVRD_OUT.TXT holds 41 double quotes, an odd number"},
        {"TEXTVRD_OUT.TXT", numberedtemplate(140),
         "The report template TEXTVRD_OUT.TXT holds 140 text segments, fewer than the 297"},
        {"INPUTVRD02.TXT", "/ comment", "The file INPUTVRD02.TXT ends inside its comment."},
        {"INPUTVRD02.TXT", "// 1 \"Traced\" \"n\" 3 \"Years\" \"l\" 2 \"S\" \"s\" \"D\" \"d\"",
         "The file INPUTVRD02.TXT holds no readable number for the dam path option of system A."},
        {"INPUTVRD02.TXT",
         "// 1 \"Traced\" \"n\" 3 \"Years\" \"l\" 2 \"S\" \"s\" 2 \"D\" \"d\" "
         "\"P\" \"p\" \"Q\" \"q",
         "The file INPUTVRD02.TXT ends inside a record."},
    };
    for (const Case& c : cases) {
        Workdir w;
        one.write(w);
        w.write(c.file, c.text);
        failing(w, c.report);
    }
}

TEST(InputErrors, ValuesLeftAsTheyAre) {
    // A path with fewer numbers than classes leaves the rest at 0; surplus
    // numbers before the words are dropped; the row-sum test judges them.
    Workdir w;
    Scenario s = Scenario::one();
    s.settings2.replace(s.settings2.find("0 0.3 0.2 \"Sire"), 9, "0 0.3 0.2 7 7");
    s.write(w);
    EXPECT_EQ(w.run().status, 0);
    EXPECT_NE(w.read("resgfps01").find("(PS): 0.000 0.300 0.200"), std::string::npos);
    Workdir w2;
    s = Scenario::one();
    s.settings2.replace(s.settings2.find("0 0.3 0.2 \"Sire"), 9, "0 0.3");
    s.write(w2);
    failing(w2, "The row # 1 does not sum to 1.");
    EXPECT_NE(w2.read("resgfps01").find("(PS): 0.000 0.300 0.000"), std::string::npos);
}

// Valid ways of writing the same inputs: a byte-order mark, Windows line
// ends, a final Ctrl-Z, an integer with a decimal point and zeros. The run
// gives the same files as the plain inputs; only the fraction of 2.0 stays
// in the echo.
TEST(InputErrors, EquivalentSpellingsGiveTheSameRun) {
    Workdir plain;
    Scenario::one().write(plain);
    ASSERT_EQ(plain.run().status, 0);
    const std::string bom = "\xEF\xBB\xBF";
    struct Variant {
        std::string Scenario::*file;
        std::string from, to;
        std::string echo; // the lead-in of the echo, when it changes
    };
    const Variant variants[] = {
        {&Scenario::error, "0", bom + "0", ""},
        {&Scenario::prods, "1", bom + "1.0", ""},
        {&Scenario::paravrd, "KALP", bom + "KALP", ""},
        {&Scenario::a, "0.05", bom + "0.05", ""},
        {&Scenario::a, "\n", "\r\n", ""},
        {&Scenario::settings2, "/", bom + "/", ""},
        {&Scenario::tpl, "\"{1}", bom + "\"{1}", ""},
        {&Scenario::settings2, "2 \"Dam", "2.0 \"Dam", ".0 "},
        {&Scenario::settings2, "2 \"Dam", "2. \"Dam", ". "},
        {&Scenario::settings2, "2 \"Dam", "2.000\"Dam", ".000"},
        // A Ctrl-Z that only line ends follow ends a file of any kind.
        {&Scenario::error, "0", "0\x1A", ""},
        {&Scenario::prods, "1", "1\x1A\r\n", ""},
        {&Scenario::paravrd, "yes)\"\n", "yes)\"\n\x1A", ""},
        {&Scenario::a, "365 365\n", "365 365\x1A", ""},
        {&Scenario::settings2, "\"PD\"\n", "\"PD\"\n\x1A\r\n\n", ""},
        {&Scenario::tpl, "{297}\"", "{297}\"\x1A", ""},
    };
    for (const Variant& v : variants) {
        Scenario s = Scenario::one();
        std::string& text = s.*v.file;
        text.replace(text.find(v.from), v.from.size(), v.to);
        Workdir w;
        s.write(w);
        const Outcome r = w.run();
        SCOPED_TRACE(v.to);
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(w.read("CHECKVRD"), plain.read("CHECKVRD"));
        std::string want = plain.read("resgfps01");
        // The plain echo has a lead-in of one space before the description.
        if (!v.echo.empty()) want.replace(want.find(" Dam path"), 1, v.echo);
        EXPECT_EQ(w.read("resgfps01"), want);
    }
}

TEST(InputErrors, OutputThatCannotBeCreated) {
    Workdir w;
    Scenario::one().write(w);
    w.place("resgfps01", kalp::Entry::folder);
    failing(w, "The output file resgfps01 cannot be created.\n  Make sure that resgfps01 can be "
               "written in the working directory and restart the program.");
    Workdir w2;
    Scenario::one().write(w2);
    w2.place("CHECKVRD", kalp::Entry::folder);
    const Outcome r = w2.run();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("The output file CHECKVRD cannot be created."), std::string::npos);
    // The results section is not written.
    EXPECT_EQ(w2.read("resgfps01").find("{129}"), std::string::npos);
}

TEST(TwoSystems, EchoOfSystemBAndSettings) {
    Workdir w;
    Scenario::two().write(w);
    const Outcome r = w.run();
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Reading data from INPUTVRD01A.TXT\nReading data from "
                            "INPUTVRD01B.TXT\nReading data from INPUTVRD03.TXT\n"),
              std::string::npos);
    EXPECT_NE(r.output.find("The results are given in the file resgfps02.\n"), std::string::npos);
    const std::string res = w.read("resgfps02");
    EXPECT_EQ(res.substr(0, 9), "{1}  2{2}");
    const std::string b = "{47}   730.0\n\n2.2 Data from file INPUTVRD01B.TXT\n" +
                          std::string(34, '-') + "{48}   2{49}" + spaces(10) + "1" + spaces(22) +
                          "0.70000\n" + spaces(10) + "2" + spaces(22) + "0.30000{50}{51}   4{52}";
    EXPECT_NE(res.find(b), std::string::npos);
    const std::string values = "{53}{54}    1.000{55} not calculated{56} not calculated{57}    "
                               "3.000{58} not calculated{59} not calculated{60} not calculated"
                               "{61}    2.000{62} not calculated";
    EXPECT_NE(res.find(values), std::string::npos);
    EXPECT_NE(res.find("{89}    1.500{90} not calculated{91} not calculated{92}    3.500"),
              std::string::npos);
    const std::string tail =
        "{123} not calculated{124}   400.0{125}     0.0{126}   365.0{127}" + spaces(10) + "1" +
        spaces(17) + "0.50000\n" + spaces(10) + "2" + spaces(17) + "0.50000\n" + spaces(10) + "3" +
        spaces(17) + "0.50000\n" + spaces(10) + "4" + spaces(17) +
        "0.50000{128}2.3 Data from file INPUTVRD03.TXT\n" + std::string(33, '-') +
        " Expression weight of A    (pdA):      0.4000  Expression weight of B    (pdB):      "
        "0.6000  Traced class    (n_sac):  17 ";
    EXPECT_NE(res.find(tail), std::string::npos);
    // Traced class 17 is the newborn B-dam class; five blocks of class rows
    // and three progeny rows follow.
    EXPECT_NE(res.find("{129} 2.\n{130}  1{137}{138}  10\n{139}"), std::string::npos);
    size_t at = res.find("{139}");
    for (const char* seg :
         {"{140}", "{141}", "{142}", "{143}", "{144}", "{145}", "{146}", "{147}"}) {
        const size_t next = res.find(seg, at);
        ASSERT_NE(next, std::string::npos) << seg;
        at = next;
    }
    EXPECT_EQ(res.substr(res.size() - 5), "{183}");
}

TEST(TwoSystems, TracedClassInEachBlock) {
    // Blocks: A-sire 1..4, A-dam 5..11, crossing sires 12..13, B-sire
    // 14..16, B-dam 17..21; progeny 22..24.
    const std::pair<int, std::string> cases[] = {
        {1, "{130}  1{133}{138}"},  {4, "{130}  4{133}{138}"},  {5, "{130}  1{134}{138}"},
        {12, "{130}  1{135}{138}"}, {16, "{130}  3{136}{138}"}, {21, "{130}  5{137}{138}"},
    };
    for (const auto& [traced, want] : cases) {
        Workdir w;
        Scenario s = Scenario::two();
        s.settings3.replace(s.settings3.find("17 \"Traced"), 2, std::to_string(traced));
        s.write(w);
        ASSERT_EQ(w.run().status, 0) << traced;
        EXPECT_NE(w.read("resgfps02").find(want), std::string::npos) << traced;
    }
    for (const char* traced : {"0", "25"}) {
        Workdir w;
        Scenario s = Scenario::two();
        s.settings3.replace(s.settings3.find("17 \"Traced"), 2, traced);
        s.write(w);
        failing(w, "  is wrong. Its value must be between 1 and 21.\n  Correct the value in "
                   "INPUTVRD03.TXT and restart the program.\n\n\n");
        EXPECT_EQ(w.read("resgfps02").find("{129}"), std::string::npos);
    }
}

TEST(TwoSystems, MatrixFailures) {
    Workdir w;
    Scenario s = Scenario::two();
    s.b.replace(s.b.find("0.4 0.3 0.2 0.1"), 15, "0.4 0.3 0.2 0.0");
    s.write(w);
    failing(w, "  The row # 14 does not sum to 1.\n  Check your data in input files "
               "INPUTVRD01A.TXT, INPUTVRD01B.TXT and INPUTVRD03.TXT. \n\n\n");

    Workdir w2;
    s = Scenario::two();
    s.b.replace(s.b.find("0.5 0.5 0.5 0.5"), 15, "1 1 1 1");
    s.write(w2);
    failing(w2, "The crossing shares in INPUTVRD01B.TXT leave the purebred progeny of system B "
                "without dams.");

    Workdir w3;
    s = Scenario::two();
    s.b.replace(s.b.find("400 0 365"), 9, "400 -400 365");
    s.write(w3);
    failing(w3, "The data in INPUTVRD01B.TXT give a class layout outside the model: the age of "
                "the A rams at first use on B ewes is 365 days or more below zero.");
}

// One system with standardisation: deviations of the weighted traits only,
// the trait-pair choices, and the standardised and relative tables.
TEST(Standardisation, OneSystemTables) {
    Workdir w;
    Scenario s = Scenario::one();
    s.paravrd = "KALP\"Parameters\"\n2 \"Standardisation\"\n";
    s.deviations = "/ Genetic standard deviations /\n0.5 0.2 \"Birth weight\" \"BW\"\n";
    for (int i = 2; i <= 35; ++i)
        s.deviations += i == 8 ? "0.3 \"Litter size\" \"LS\"\n" : "9 9 \"Trait\" \"T\"\n";
    s.flags = "/ pairs /";
    for (int k = 1; k <= 6; ++k)
        s.flags += "\n0 \"Pair\" \"F" + std::to_string(k) + "\"";
    s.write(w);
    const Outcome r = w.run();
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("INPUTVRD02.TXT\nReading data from INPUTVRD04.TXT\nReading data from "
                            "INPUTVRD05.TXT\nWriting results"),
              std::string::npos);
    const std::string res = w.read("resgfps01");
    const std::string echo =
        "(PS): 0.000 0.300 0.200\n\n2.3 Data from file INPUTVRD04.TXT\n" + std::string(33, '-') +
        "\nBirth weight    (BW):      0.5000       0.2000\nLitter size    (LS):      0.3000\n\n"
        "2.4 Data from file INPUTVRD05.TXT\n" +
        std::string(33, '-') + " Pair    (F1):  0  Pair    (F2):  0 ";
    EXPECT_NE(res.find(echo), std::string::npos);
    const std::string tables =
        "{183}{184}{185}" + spaces(44) + "    0.5561" + spaces(9) + "    0.0648\n{192}" +
        spaces(50) + "-" + spaces(12) + "   -0.0486\n{220}" + spaces(44) + "    0.5561" +
        spaces(9) + "    0.1134\n{221}" + spaces(44) + "   83.0645" + spaces(9) +
        "   16.9355\n{222}{223}{224}" + spaces(44) + "   100.000" + spaces(9) +
        "    57.143\n{231}" + spaces(50) + "-" + spaces(12) + "    42.857\n{259}{260}{261}" +
        spaces(44) + "    83.065" + spaces(9) + "     9.677\n{268}" + spaces(50) + "-" +
        spaces(12) + "     7.258\n{296}" + spaces(41) + "    83.065" + spaces(9) +
        "    16.935{297}";
    EXPECT_EQ(res.substr(res.size() - tables.size()), tables);
}

// A trait left out by its pair choice keeps its weights in the first two
// tables but has no relative weights.
TEST(Standardisation, TraitLeftOutByItsPair) {
    Workdir w;
    Scenario s = Scenario::one();
    s.a.replace(s.a.find("2.5 0 "), 6, "2.5 4 ");
    s.paravrd = "KALP\"Parameters\"\n2 \"Standardisation\"\n";
    s.deviations = "//";
    for (int i = 1; i <= 35; ++i)
        s.deviations += " 1 1 \"T\" \"T\"";
    s.flags =
        "// 3 \"a\" \"b\" 0 \"a\" \"b\" 0 \"a\" \"b\" 0 \"a\" \"b\" 0 \"a\" \"b\" 0 \"a\" \"b\"";
    s.write(w);
    ASSERT_EQ(w.run().status, 0);
    const std::string res = w.read("resgfps01");
    // Trait 2 is caption 149 of the weights, 186 of the standardised
    // weights, 225 and 262 of the relative tables.
    EXPECT_NE(res.find("{149}"), std::string::npos);
    EXPECT_NE(res.find("{186}"), std::string::npos);
    EXPECT_EQ(res.find("{225}"), std::string::npos);
    EXPECT_EQ(res.find("{262}"), std::string::npos);
    EXPECT_NE(res.find("{224}"), std::string::npos); // trait 1 still counts
}

TEST(Standardisation, FilesNeededOnlyWhenAskedFor) {
    Workdir w;
    Scenario s = Scenario::one();
    s.paravrd = "KALP\"Parameters\"\n2 \"Standardisation\"\n";
    s.write(w);
    failing(w, "The input file INPUTVRD04.TXT cannot be opened.");
}
