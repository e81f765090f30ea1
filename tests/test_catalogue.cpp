// Every way a user can make a run fail, end to end: the exact report, the
// time line last, status 1, which files the run leaves and what they hold,
// and nothing written outside the working directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "scenario.h"
#include "workdir.h"

using namespace kalp::test;

namespace {

std::string report(const std::string& what, const std::string& fix) {
    return "\nError message:\n" + what + "\n  " + fix + "\n\n";
}
std::string nonumber(const std::string& file, const std::string& value) {
    return report("The file " + file + " holds no readable number for " + value + ".",
                  "Write that value as a number in " + file + " and restart the program.");
}
std::string notfinite(const std::string& file, const std::string& value) {
    return report("The value of " + value + " in " + file +
                      " is not a finite number or is too large.",
                  "Correct the value in " + file + " and restart the program.");
}
std::string cannotopen(const std::string& file) {
    return report("The input file " + file + " cannot be opened.",
                  "Put the file " + file + " into the working directory and restart the program.");
}
std::string endsinrecord(const std::string& file) {
    return report("The file " + file + " ends inside a record.",
                  "Give every value of " + file +
                      " its description and its label, each between two double quotes, and "
                      "restart the program.");
}
std::string layout(const std::string& file, const std::string& what) {
    return report("The data in " + file + " give a class layout outside the model: " + what + ".",
                  "Correct the counts and ages in " + file + " and restart the program.");
}

std::vector<std::string> tokens(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> v;
    for (std::string t; in >> t;)
        v.push_back(t);
    return v;
}
std::string join(const std::vector<std::string>& v, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += v[i] + " ";
    return s;
}
std::string replacefirst(std::string s, const std::string& from, const std::string& to) {
    s.replace(s.find(from), from.size(), to);
    return s;
}
// ASCII text as Notepad saves it as "Unicode": UTF-16, little-endian with
// its byte-order mark, or big-endian without one.
std::string utf16(const std::string& text, bool little) {
    std::string s = little ? "\xFF\xFE" : "";
    for (const char c : text)
        s += little ? std::string{c, '\0'} : std::string{'\0', c};
    return s;
}

// What a failed run may leave in its directory.
enum class Results { none, echo };

struct Case {
    std::string name;
    Scenario s;
    std::string report;
    Results results = Results::echo;
    std::function<void(Workdir&)> prepare = nullptr;
};

Scenario standardised(Scenario s) {
    s.paravrd = "KALP\"Parameters\"\n2 \"Standardisation\"\n";
    s.deviations = "/ sd /\n0.5 0.2 \"Birth weight\" \"BW\"\n";
    for (int i = 2; i <= 35; ++i)
        s.deviations += "1 1 \"Trait\" \"T\"\n";
    s.flags = "/ pairs /";
    for (int k = 1; k <= 6; ++k)
        s.flags += "\n0 \"Pair\" \"F\"";
    return s;
}

std::vector<Case> catalogue() {
    std::vector<Case> c;
    const Scenario one = Scenario::one(), two = Scenario::two();
    const char* a = "INPUTVRD01A.TXT";
    const char* b = "INPUTVRD01B.TXT";

    // The gate.
    Scenario s = one;
    s.error = "1";
    c.push_back({"gate", s,
                 "\nError message:\nProgram was stopped because there was an error message in one "
                 "of the\n  preceding runs of TORM2.\n\n",
                 Results::none});
    s = one;
    s.error = "123456789012";
    c.push_back(
        {"huge gate value", s, notfinite("ERROR.TXT", "the error flag of TORM2"), Results::none});

    // Missing files, in the order the run needs them.
    for (const char* f : {"ERROR.TXT", "TEXTVRD_OUT.TXT", "P01.TXT"}) {
        c.push_back({std::string("missing ") + f, one, cannotopen(f), Results::none,
                     [f](Workdir& w) { w.remove(f); }});
    }
    for (const char* f : {"PARAVRD.TXT", "INPUTVRD01A.TXT", "INPUTVRD02.TXT"})
        c.push_back({std::string("missing ") + f, one, cannotopen(f), Results::echo,
                     [f](Workdir& w) { w.remove(f); }});
    for (const char* f : {"INPUTVRD01B.TXT", "INPUTVRD03.TXT"})
        c.push_back({std::string("missing ") + f, two, cannotopen(f), Results::echo,
                     [f](Workdir& w) { w.remove(f); }});
    for (const char* f : {"INPUTVRD04.TXT", "INPUTVRD05.TXT"})
        c.push_back({std::string("missing ") + f, standardised(one), cannotopen(f), Results::echo,
                     [f](Workdir& w) { w.remove(f); }});

    // The number of systems.
    for (const char* p : {"3", "0", "-2"}) {
        s = one;
        s.prods = p;
        c.push_back({std::string("P01 ") + p, s,
                     report(std::string("The file P01.TXT gives ") + p +
                                " as the number of production systems.",
                            "Write 1 (one production system) or 2 (two linked systems) in P01.TXT "
                            "and restart the program."),
                     Results::none});
    }
    s = one;
    s.prods = "x";
    c.push_back(
        {"P01 text", s, nonumber("P01.TXT", "the number of production systems"), Results::none});

    // The parameter file.
    s = one;
    s.paravrd = "\"Title\"\n\"Standardisation\"";
    c.push_back({"PARAVRD no number", s, nonumber("PARAVRD.TXT", "the standardisation switch")});
    s = one;
    s.paravrd = "\"Title\"\n1 \"Standardisation";
    c.push_back({"PARAVRD truncated", s, endsinrecord("PARAVRD.TXT")});

    // Every value of the production-system files, each missing in turn.
    std::vector<std::string> anames = {
        "the discount rate", "the number of reproductive ram classes",
        "the age weight of ram class 1", "the age weight of ram class 2",
        "the number of reproductive ewe classes"};
    for (int i = 1; i <= 3; ++i)
        anames.push_back("the age weight of ewe class " + std::to_string(i));
    for (int i = 1; i <= 35; ++i)
        anames.push_back("the economic value of trait " + std::to_string(i));
    anames.push_back("the age of the rams at first use");
    anames.push_back("the age of the ewes at first use");
    const auto at = tokens(one.a);
    EXPECT_EQ(at.size(), anames.size());
    for (size_t k = 0; k < anames.size(); ++k) {
        s = one;
        s.a = join(at, k) + (k % 2 ? "\"" : "x");
        c.push_back({"01A value " + std::to_string(k), s, nonumber(a, anames[k])});
    }
    std::vector<std::string> bnames = {
        "the number of reproductive ram classes", "the age weight of ram class 1",
        "the age weight of ram class 2", "the number of reproductive ewe classes"};
    for (int i = 1; i <= 4; ++i)
        bnames.push_back("the age weight of ewe class " + std::to_string(i));
    for (int i = 1; i <= 35; ++i)
        bnames.push_back("the economic value for purebred progeny of trait " + std::to_string(i));
    for (int i = 1; i <= 35; ++i)
        bnames.push_back("the economic value for crossbred progeny of trait " + std::to_string(i));
    bnames.push_back("the age of the B rams at first use");
    bnames.push_back("the age of the A rams at first use on B ewes");
    bnames.push_back("the age of the B ewes at first use");
    for (int i = 1; i <= 4; ++i)
        bnames.push_back("the crossing share of ewe class " + std::to_string(i));
    const auto bt = tokens(two.b);
    EXPECT_EQ(bt.size(), bnames.size());
    for (size_t k = 0; k < bnames.size(); ++k) {
        s = two;
        s.b = join(bt, k) + (k % 2 ? "\"" : "x");
        c.push_back({"01B value " + std::to_string(k), s, nonumber(b, bnames[k])});
    }
    s = one;
    s.a = replacefirst(one.a, "0.05", "inf");
    c.push_back({"01A inf", s, notfinite(a, "the discount rate")});
    s = two;
    s.b = replacefirst(two.b, "0.5 0.5 0.5 0.5", "0.5 0.5 0.5 -nan");
    c.push_back({"01B nan", s, notfinite(b, "the crossing share of ewe class 4")});
    s = two;
    s.b = replacefirst(two.b, "0.7 0.3", "0.7 1e999");
    c.push_back({"01B weight overflow", s, notfinite(b, "the age weight of ram class 2")});

    // Counts: whole numbers within the arrays.
    const std::string fixint = "Write it as a whole number without a decimal point in ";
    s = one;
    s.a = replacefirst(one.a, "\n3\n", "\n3.0\n");
    c.push_back({"01A count 3.0", s,
                 report(std::string("In ") + a +
                            ", the number of reproductive ewe classes is not followed by a blank "
                            "or a line break.",
                        fixint + a + " and restart the program.")});
    auto toomany = [](const char* file, const char* what, int n, int limit) {
        return report("In " + std::string(file) + ", " + what + " is " + std::to_string(n) +
                          ", more than the " + std::to_string(limit) + " that the model holds.",
                      "Give at most " + std::to_string(limit) + " classes in " + file +
                          " and restart the program.");
    };
    s = one;
    s.a = replacefirst(one.a, "\n2\n", "\n6\n");
    c.push_back({"RRA 6", s, toomany(a, "the number of reproductive ram classes", 6, 5)});
    s = one;
    s.a = replacefirst(one.a, "\n3\n", "\n16\n");
    c.push_back({"LLA 16", s, toomany(a, "the number of reproductive ewe classes", 16, 15)});
    s = two;
    s.b = "7" + two.b.substr(1);
    c.push_back({"RRB 7", s, toomany(b, "the number of reproductive ram classes", 7, 5)});
    s = two;
    s.b = replacefirst(two.b, "\n4\n", "\n99\n");
    c.push_back({"LLB 99", s, toomany(b, "the number of reproductive ewe classes", 99, 15)});

    // Layouts outside the model.
    const std::string below = " is 365 days or more below zero";
    s = one;
    s.a = replacefirst(one.a, "365 365", "-365 365");
    c.push_back({"age rams", s, layout(a, "the age of the rams at first use" + below)});
    s = one;
    s.a = replacefirst(one.a, "365 365", "365 -1000");
    c.push_back({"age ewes", s, layout(a, "the age of the ewes at first use" + below)});
    s = two;
    s.b = replacefirst(two.b, "400 0 365", "-400 0 365");
    c.push_back({"age B rams", s, layout(b, "the age of the B rams at first use" + below)});
    s = two;
    s.b = replacefirst(two.b, "400 0 365", "400 0 -365");
    c.push_back({"age B ewes", s, layout(b, "the age of the B ewes at first use" + below)});
    s = two;
    s.b = replacefirst(two.b, "400 0 365", "400 -400 365");
    c.push_back({"age crossing rams", s,
                 layout(b, "the age of the A rams at first use on B ewes" + below)});
    s = one;
    s.a = replacefirst(one.a, "365 365", "365 27740");
    c.push_back({"too many classes", s,
                 layout(a, "it has 83 sex-age classes, more than the 79 that the model holds")});
    s = two;
    s.b = replacefirst(two.b, "400 0 365", "400 0 22000");
    c.push_back({"too many classes B", s,
                 layout("INPUTVRD01A.TXT and INPUTVRD01B.TXT",
                        "it has 83 sex-age classes, more than the 79 that the model holds")});

    // Settings files.
    s = one;
    s.settings2 = "/ no end";
    c.push_back({"02 comment", s,
                 report("The file INPUTVRD02.TXT ends inside its comment.",
                        "Enclose the comment at the start of INPUTVRD02.TXT in two slashes and "
                        "restart the program.")});
    const char* settingnames[] = {"the traced sex and age group", "the number of years",
                                  "the sire path option of system A",
                                  "the dam path option of system A"};
    for (int k = 0; k < 4; ++k) {
        s = one;
        const std::string mark = std::to_string("1312"[k] - '0') + " \"";
        size_t pos = 0;
        for (int i = 0; i <= k; ++i)
            pos = s.settings2.find('\n', pos) + 1;
        s.settings2.replace(pos, 1, "");
        c.push_back(
            {"02 value " + std::to_string(k), s, nonumber("INPUTVRD02.TXT", settingnames[k])});
    }
    s = one;
    s.settings2 = replacefirst(one.settings2, "0.3 0.2", "0.3 nan");
    c.push_back({"02 path nan", s,
                 notfinite("INPUTVRD02.TXT", "the share of class 3 in the sire path of system A")});
    s = one;
    s.settings2 = one.settings2.substr(0, one.settings2.size() - 6);
    c.push_back({"02 truncated", s, endsinrecord("INPUTVRD02.TXT")});
    s = two;
    s.settings3 = replacefirst(two.settings3, "0.4 \"", "\"");
    c.push_back({"03 pdA", s, nonumber("INPUTVRD03.TXT", "the expression weight of system A")});
    s = two;
    s.settings3 = replacefirst(two.settings3, "0.6 \"", "1e50 \"");
    c.push_back({"03 pdB", s, notfinite("INPUTVRD03.TXT", "the expression weight of system B")});
    s = two;
    s.settings3 = two.settings3.substr(0, two.settings3.size() - 3);
    c.push_back({"03 truncated", s, endsinrecord("INPUTVRD03.TXT")});

    // The traced class and the matrix.
    s = one;
    s.settings2 = replacefirst(one.settings2, "1 \"Traced", "9 \"Traced");
    c.push_back({"traced one", s,
                 "\n\n\nError message:\nThe number of the sex and age group for which the gene "
                 "flow will be calculated\n  is wrong. Its value must be between 1 and 7.\n  "
                 "Correct the value in INPUTVRD02.TXT and restart the program.\n\n\n"});
    // The progeny classes follow the parental ones and pass no genes on.
    const std::string progeny = "\n\n\nError message:\nThe number of the sex and age group for "
                                "which the gene flow will be calculated\n  is wrong. Its value ";
    const std::string cannot =
        " is a progeny class, which cannot be traced; it must be\n  between 1 and ";
    s = one;
    s.settings2 = replacefirst(one.settings2, "1 \"Traced", "8 \"Traced");
    c.push_back({"traced progeny one", s,
                 progeny + "8" + cannot +
                     "7 (kalp --classes lists the traceable groups).\n  Correct the value in "
                     "INPUTVRD02.TXT and restart the program.\n\n\n"});
    s = two;
    s.settings3 = replacefirst(two.settings3, "17 \"Traced", "22 \"Traced");
    c.push_back({"traced progeny two", s,
                 progeny + "22" + cannot +
                     "21 (kalp --classes lists the traceable groups).\n  Correct the value in "
                     "INPUTVRD03.TXT and restart the program.\n\n\n"});
    s = two;
    s.settings3 = replacefirst(two.settings3, "17 \"Traced", "0 \"Traced");
    c.push_back({"traced two", s,
                 "\n\n\nError message:\nThe number of the sex and age group for which the gene "
                 "flow will be calculated\n  is wrong. Its value must be between 1 and 21.\n  "
                 "Correct the value in INPUTVRD03.TXT and restart the program.\n\n\n"});
    s = one;
    s.a = replacefirst(one.a, "0.5 0.3 0.2", "0.5 0.3 0.3");
    c.push_back({"bad row one", s,
                 "\nError message:\nSomething is going wrong with matrix P.\n  The row # 1 does "
                 "not sum to 1.\n  Check your data in input files INPUTVRD01A.TXT and "
                 "INPUTVRD02.TXT. \n\n\n"});
    s = two;
    s.b = replacefirst(two.b, "0.7 0.3", "0.7 0.2");
    c.push_back({"bad row two", s,
                 "\nError message:\nSomething is going wrong with matrix P.\n  The row # 14 does "
                 "not sum to 1.\n  Check your data in input files INPUTVRD01A.TXT, "
                 "INPUTVRD01B.TXT and INPUTVRD03.TXT. \n\n\n"});
    const std::string shares = "Give some reproductive ewe classes of system B a crossing share "
                               "below 1 and some above 0 in INPUTVRD01B.TXT and restart the "
                               "program.";
    s = two;
    s.b = replacefirst(two.b, "0.5 0.5 0.5 0.5", "1 1 1 1");
    c.push_back({"no purebred dams", s,
                 report("The crossing shares in INPUTVRD01B.TXT leave the purebred progeny of "
                        "system B without dams.",
                        shares)});
    s = two;
    s.b = replacefirst(two.b, "0.5 0.5 0.5 0.5", "0 0 0 0");
    c.push_back({"no crossbred dams", s,
                 report("The crossing shares in INPUTVRD01B.TXT leave the crossbred progeny of "
                        "system B without dams.",
                        shares)});

    // Standardisation files.
    s = standardised(one);
    s.deviations = "/ sd / 0.5";
    c.push_back({"04 truncated", s, endsinrecord("INPUTVRD04.TXT")});
    s = standardised(one);
    s.deviations = replacefirst(s.deviations, "0.5 0.2", "0.5 inf");
    c.push_back(
        {"04 inf", s, notfinite("INPUTVRD04.TXT", "the maternal standard deviation of trait 1")});
    s = standardised(one);
    s.flags = replacefirst(s.flags, "\n0 \"Pair\"", "\n\"Pair\"");
    c.push_back({"05 flag", s, nonumber("INPUTVRD05.TXT", "the choice between traits 2 and 3")});

    // The template, checked before the results file is created.
    auto tpl = [](const std::string& what) {
        return report("The report template TEXTVRD_OUT.TXT holds " + what,
                      "Use a complete TEXTVRD_OUT.TXT, such as the one delivered with KALP, in "
                      "which every text stands between two double quotes, and restart the "
                      "program.");
    };
    for (int n : {1, 60, 296}) {
        s = one;
        s.tpl = numberedtemplate(n);
        c.push_back({"template of " + std::to_string(n), s,
                     tpl(std::to_string(n) + " text segments, fewer than the 297 that KALP needs."),
                     Results::none});
    }
    s = one;
    s.tpl = replacefirst(numberedtemplate(), "{40}", "{40\"}");
    c.push_back({"template stray quote", s,
                 tpl("595 double quotes, an odd number: a quote is missing or one too many."),
                 Results::none});
    s = one;
    s.tpl = replacefirst(numberedtemplate(), "{148}", std::string("{148\0}", 6));
    c.push_back({"NUL in a template segment", s,
                 report("The report template TEXTVRD_OUT.TXT holds the control byte 0x00 in its "
                        "text segment 148.",
                        "Remove that byte from segment 148 of TEXTVRD_OUT.TXT, or use the one "
                        "delivered with KALP, and restart the program."),
                 Results::none});

    // Files saved as UTF-16 ("Unicode"), whatever they hold.
    auto unicode = [](const std::string& file) {
        return report("The file " + file +
                          " is saved as UTF-16 (\"Unicode\"), which KALP cannot read.",
                      "Open " + file +
                          " in an editor, save it as plain text (ANSI or UTF-8) and restart the "
                          "program.");
    };
    for (const bool little : {true, false}) {
        s = one;
        s.tpl = utf16(s.tpl, little);
        c.push_back({little ? "UTF-16 LE template" : "UTF-16 BE template", s,
                     unicode("TEXTVRD_OUT.TXT"), Results::none});
    }
    s = one;
    s.error = utf16("1\r\n", true);
    c.push_back({"UTF-16 gate holding 1", s, unicode("ERROR.TXT"), Results::none});
    // One character is two bytes: never a gate left open.
    for (const bool little : {true, false}) {
        s = one;
        s.error = utf16("1", little);
        c.push_back({little ? "UTF-16 LE gate of one character" : "UTF-16 BE gate of one character", s,
                     unicode("ERROR.TXT"), Results::none});
    }
    // A NUL byte where a number stands is never read as the end of it.
    const auto nul = [](const std::string& file, const std::string& value) {
        return report("The file " + file + " holds a NUL byte (a byte of value 0) where " + value +
                          " is written; a text file holds none.",
                      "Open " + file + " in an editor, save it as plain text (ANSI or UTF-8) and "
                                       "restart the program.");
    };
    s = one;
    s.error = std::string("0\0\n", 3);
    c.push_back({"NUL after the gate's 0", s, nul("ERROR.TXT", "the error flag of TORM2"), Results::none});
    s = one;
    s.error = std::string("\0\0001\n", 4);
    c.push_back({"NULs before the gate's 1", s, nul("ERROR.TXT", "the error flag of TORM2"), Results::none});
    s = one;
    s.a = utf16(one.a, true);
    c.push_back({"UTF-16 INPUTVRD01A.TXT", s, unicode(a)});

    // A number must end cleanly: at white space, a double quote (annotated
    // files) or the end of the file.
    auto written = [](const char* file, const std::string& what, const std::string& text,
                      const std::string& tail, const std::string& fix) {
        return report("In " + std::string(file) + ", " + what + " is written as \"" + text + "\"" +
                          tail,
                      fix + " in " + file + " and restart the program.");
    };
    const std::string whole = ", which is not a whole number.";
    const std::string digits = "Write it with digits only, without a decimal fraction or exponent,";
    const std::string decimal = "Write it as a decimal number (such as 0.05, -1.5 or 2e-3) "
                                "followed by a blank";
    const char* f2 = "INPUTVRD02.TXT";
    struct Bad {
        const char* name;
        bool two;
        std::string Scenario::*file;
        std::string from, to;
        std::string report;
    };
    const Bad bad[] = {
        {"1e3 years", false, &Scenario::settings2, "3 \"Years", "1e3 \"Years",
         written(f2, "the number of years", "1e3", whole, digits)},
        {"1.5 traced", false, &Scenario::settings2, "1 \"Traced", "1.5 \"Traced",
         written(f2, "the traced sex and age group", "1.5", whole, digits)},
        {"3abc option", false, &Scenario::settings2, "1 \"Sire", "1abc \"Sire",
         written(f2, "the sire path option of system A", "1abc", whole, digits)},
        {"hex years", false, &Scenario::settings2, "3 \"Years", "0x10 \"Years",
         written(f2, "the number of years", "0x10", ", a hexadecimal number.",
                 "Write it as a decimal number")},
        {"0,6 crossing share", true, &Scenario::b, "0.5 0.5 0.5 0.5", "0,6 0.5 0.5 0.5",
         written(b, "the crossing share of ewe class 1", "0,6", " with a decimal comma.",
                 "Write decimals with a point (0.6, not 0,6)")},
        {"0.05abc", false, &Scenario::a, "0.05", "0.05abc",
         written(a, "the discount rate", "0.05abc", ", which is not a number.", decimal)},
        {"hex value", false, &Scenario::a, "2.5", "0x1p3",
         written(a, "the economic value of trait 1", "0x1p3", ", a hexadecimal number.",
                 "Write it as a decimal number")},
        {"infx pdA", true, &Scenario::settings3, "0.4 \"", "infx \"",
         written("INPUTVRD03.TXT", "the expression weight of system A", "infx",
                 ", which is not a number.", decimal)},
        {"NUL after a path value", false, &Scenario::settings2, "0.3 0.2", "0.3\x01 0.2",
         written(f2, "the share of class 2 in the sire path of system A", "0.3\\x01",
                 ", which is not a number.", decimal)},
        {"P01 1x", false, &Scenario::prods, "1", "1x",
         written("P01.TXT", "the number of production systems", "1x", whole, digits)},
        {"PARAVRD 1abc", false, &Scenario::paravrd, "1   \"", "1abc   \"",
         written("PARAVRD.TXT", "the standardisation switch", "1abc", whole, digits)},
        // Values that no valid file holds.
        {"discount rate -1", false, &Scenario::a, "0.05", "-1",
         report("In INPUTVRD01A.TXT, the discount rate is -1; it must be above -1.",
                "Correct the value in INPUTVRD01A.TXT and restart the program.")},
        {"RRA 0", false, &Scenario::a, "\n2\n0.6 0.4\n", "\n0\n",
         report("In INPUTVRD01A.TXT, the number of reproductive ram classes is 0, fewer than the "
                "1 that the model needs.",
                "Give at least 1 class in INPUTVRD01A.TXT and restart the program.")},
        {"LLB -1", true, &Scenario::b, "\n4\n", "\n-1\n",
         report("In INPUTVRD01B.TXT, the number of reproductive ewe classes is -1, fewer than the "
                "1 that the model needs.",
                "Give at least 1 class in INPUTVRD01B.TXT and restart the program.")},
        {"negative age weight", false, &Scenario::a, "0.6 0.4", "1.2 -0.2",
         report("In INPUTVRD01A.TXT, the age weight of ram class 2 is -0.2; it must be at least 0.",
                "Correct the value in INPUTVRD01A.TXT and restart the program.")},
        {"crossing share 1.5", true, &Scenario::b, "0.5 0.5 0.5 0.5", "0.5 0.5 0.5 1.5",
         report("In INPUTVRD01B.TXT, the crossing share of ewe class 4 is 1.5; it must be between "
                "0 and 1.",
                "Correct the value in INPUTVRD01B.TXT and restart the program.")},
        {"crossing share -1", true, &Scenario::b, "0.5 0.5 0.5 0.5", "-1 0.5 0.5 0.5",
         report("In INPUTVRD01B.TXT, the crossing share of ewe class 1 is -1; it must be between "
                "0 and 1.",
                "Correct the value in INPUTVRD01B.TXT and restart the program.")},
        {"negative path share", false, &Scenario::settings2, "0 0.3 0.2", "0.6 -0.1 0.5",
         report("In INPUTVRD02.TXT, the share of class 2 in the sire path of system A is -0.1; it "
                "must be at least 0.",
                "Correct the value in INPUTVRD02.TXT and restart the program.")},
        {"0 years", false, &Scenario::settings2, "3 \"Years", "0 \"Years",
         report("In INPUTVRD02.TXT, the number of years is 0; it must be at least 1.",
                "Correct the value in INPUTVRD02.TXT and restart the program.")},
        {"-1 years", true, &Scenario::settings3, "10 \"Years", "-1 \"Years",
         report("In INPUTVRD03.TXT, the number of years is -1; it must be at least 1.",
                "Correct the value in INPUTVRD03.TXT and restart the program.")},
        {"1000001 years", false, &Scenario::settings2, "3 \"Years", "1000001 \"Years",
         report("In INPUTVRD02.TXT, the number of years is 1000001; it must be at most 1000000.",
                "Correct the value in INPUTVRD02.TXT and restart the program.")},
        {"2147483647 years", true, &Scenario::settings3, "10 \"Years", "2147483647 \"Years",
         report("In INPUTVRD03.TXT, the number of years is 2147483647; it must be at most "
                "1000000.",
                "Correct the value in INPUTVRD03.TXT and restart the program.")},
        // A no-break space, as word processors and spreadsheets put it.
        {"no-break space after a number", false, &Scenario::a, "0.6 0.4", "0.6\xA0" "0.4",
         report("In INPUTVRD01A.TXT, a no-break space follows 0.6, the age weight of ram class 1; "
                "use an ordinary blank.",
                "Replace the no-break space by an ordinary blank in INPUTVRD01A.TXT and restart "
                "the program.")},
        {"UTF-8 no-break space before a number", false, &Scenario::settings2, "0 0.3",
         "0 \xC2\xA0" "0.3",
         report("In INPUTVRD02.TXT, a no-break space stands where the share of class 2 in the sire "
                "path of system A begins; use an ordinary blank.",
                "Replace the no-break space by an ordinary blank in INPUTVRD02.TXT and restart "
                "the program.")},
        // Garbled text where a value may be missing.
        {"O.30 in 04", false, &Scenario::deviations, "0.5 0.2", "O.30 0.2",
         nonumber("INPUTVRD04.TXT", "the direct standard deviation of trait 1")},
        {"dash in a path", false, &Scenario::settings2, "0 0.3 0.2", "0 - 0.2",
         nonumber(f2, "the share of class 2 in the sire path of system A")},
        // The file at fault is named.
        {"01A weight, two systems", true, &Scenario::a, "0.5 0.3 0.2", "0.5 0.3 0.3",
         "\nError message:\nSomething is going wrong with matrix P.\n  The row # 1 does not sum "
         "to 1.\n  Check your data in input files INPUTVRD01A.TXT, INPUTVRD01B.TXT and "
         "INPUTVRD03.TXT. \n\n\n"},
        // Results that are not numbers.
        {"economic value 3e38", false, &Scenario::a, "2.5", "3e38",
         report("The economic weight of trait 1, direct, is not a finite number.",
                "Check the economic values in INPUTVRD01A.TXT and restart the program.")},
        {"economic value 3e38, two systems", true, &Scenario::b, "\n1 ", "\n3e38 ",
         report("The economic weight of trait 1, direct, is not a finite number.",
                "Check the economic values in INPUTVRD01A.TXT and INPUTVRD01B.TXT and the "
                "expression weights in INPUTVRD03.TXT and restart the program.")},
        {"discount rate near -1", false, &Scenario::a, "0.05", "-0.9999",
         report("The discounted gene flow of class 1 is not a finite number.",
                "Check the discount rate in INPUTVRD01A.TXT and restart the program.")},
        {"standard deviation 3e38", false, &Scenario::deviations, "0.5 0.2", "3e38 0.2",
         report("The standardised weight of trait 1, direct, is not a finite number.",
                "Check the economic values in INPUTVRD01A.TXT and the standard deviations in "
                "INPUTVRD04.TXT and restart the program.")},
    };
    for (const Bad& x : bad) {
        s = x.two ? two : one;
        if (x.file == &Scenario::deviations) s = standardised(s);
        // A long period lets large values overflow.
        if (x.report.find("not a finite number.") != std::string::npos) {
            if (x.two)
                s.settings3 = replacefirst(s.settings3, "10 \"Years", "40 \"Years");
            else
                s.settings2 = replacefirst(s.settings2, "3 \"Years", "40 \"Years");
        }
        s.*x.file = replacefirst(s.*x.file, x.from, x.to);
        c.push_back(
            {x.name, s, x.report, x.file == &Scenario::prods ? Results::none : Results::echo});
    }
    s = one;
    s.error = "\xEF\xBB\xBF"
              "1";
    c.push_back({"byte-order mark before the gate's 1", s,
                 "\nError message:\nProgram was stopped because there was an error message in one "
                 "of the\n  preceding runs of TORM2.\n\n",
                 Results::none});
    // Only plain files are read: anything else at an input name is named.
    const std::string itself = "Put the file INPUTVRD02.TXT itself in its place in the working "
                               "directory and restart the program.";
    c.push_back({"input is a directory", one,
                 report("The input file INPUTVRD02.TXT is a folder, not a file.", itself),
                 Results::echo, [](Workdir& w) { w.place("INPUTVRD02.TXT", kalp::Entry::folder); }});
    c.push_back({"input is a FIFO or a device", one,
                 report("The input file INPUTVRD02.TXT is not a plain file but a named pipe (FIFO), "
                        "a device or a socket, which KALP does not read.",
                        itself),
                 Results::echo, [](Workdir& w) { w.place("INPUTVRD02.TXT", kalp::Entry::special); }});

    // Output files that cannot be created.
    c.push_back({"results folder", one,
                 report("The output file resgfps01 cannot be created.",
                        "Make sure that resgfps01 can be written in the working directory and "
                        "restart the program."),
                 Results::none, [](Workdir& w) { w.place("resgfps01", kalp::Entry::folder); }});
    return c;
}

} // namespace

TEST(Catalogue, EveryFailureEndsTheSameWay) {
    const std::vector<Case> cases = catalogue();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Workdir w;
        c.s.write(w);
        // A dump of an earlier run stays as it was.
        w.write("CHECKVRD", "earlier run\n");
        if (c.prepare) c.prepare(w);
        const auto before = w.files();
        const Outcome r = w.run();
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.endswithtime()) << r.output;
        const std::string console = r.beforetime();
        ASSERT_GE(console.size(), c.report.size()) << r.output;
        EXPECT_EQ(console.substr(console.size() - c.report.size()), c.report) << r.output;
        // A report on a value is followed on standard error by the line of
        // its file; the others say all there is to say.
        const bool value = c.report.find("\nIn ") != std::string::npos ||
                           c.report.find("holds no readable number") != std::string::npos;
        if (value) {
            EXPECT_EQ(r.errors.rfind("kalp: ", 0), 0u) << r.errors;
            EXPECT_NE(r.errors.find(", line "), std::string::npos) << r.errors;
        }
        // Every line there is one of kalp's (the files' warnings may follow).
        for (size_t at = 0; at < r.errors.size(); at = r.errors.find('\n', at) + 1) {
            EXPECT_EQ(r.errors.compare(at, 6, "kalp: "), 0) << r.errors;
            ASSERT_NE(r.errors.find('\n', at), std::string::npos) << r.errors;
        }
        EXPECT_EQ(w.read("CHECKVRD"), "earlier run\n");
        // Nothing but the results file was put in place, nothing removed.
        EXPECT_TRUE(w.folder().removed().empty());
        const bool two = c.s.prods == "2\n";
        const std::string results = two ? "resgfps02" : "resgfps01";
        auto after = w.files();
        if (c.results == Results::echo) {
            EXPECT_TRUE(w.exists(results));
            const std::string res = w.read(results);
            EXPECT_EQ(res.rfind(two ? "{1}  2" : "{1}  1", 0), 0u) << res;
            EXPECT_EQ(res.find("{129}"), std::string::npos);
            after.erase(std::find(after.begin(), after.end(), results));
        }
        EXPECT_EQ(after, before);
    }
    EXPECT_EQ(cases.size(), 232u);
}

// A results file or dump that cannot be written to the end is no complete
// run; neither is a console that cannot be written.
TEST(Catalogue, WritesThatFail) {
    // A file size limit: 6,144 bytes take the dump of the example (5,367
    // bytes) but not its results file (7,737 bytes). The file is reported,
    // and nothing earlier is replaced.
    for (const auto& [file, bytes] : {std::pair{"resgfps01", 6144}, std::pair{"CHECKVRD", 0}}) {
        Workdir w;
        copyexample(w, "one-system");
        w.write(file, "earlier\n");
        w.folder().setfilelimit(bytes);
        const Outcome r = w.run();
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find(std::string("The output file ") + file +
                                " could not be written completely.\n  Make room on the disk or "
                                "check the permissions of " +
                                file + " and restart the program.\n\n"),
                  std::string::npos)
            << r.output;
        EXPECT_TRUE(r.endswithtime());
        EXPECT_EQ(w.read(file), "earlier\n");
    }
    Workdir w;
    Scenario::one().write(w);
    kalp::MemoryConsole full;
    full.setfull(true);
    kalp::MemoryFolders folders;
    for (const auto& [name, text] : w.folder().files())
        folders.at(".").set(name, text);
    EXPECT_EQ(kalp::command({}, full, folders), 1);
    EXPECT_NE(full.err().find("console output could not be written"), std::string::npos);
}
