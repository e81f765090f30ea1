// What a run reads but doubts: numbers left over after the last value, a
// file of bare numbers that ends too soon, unusual ages and age weights,
// and a quote left open in the files' own layout. The run goes on (or
// stops) as it always did; a line on standard error says what it found.
#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "scenario.h"
#include "serve/server.h"
#include "workdir.h"

using namespace kalp::test;

namespace {

using Edits = std::vector<std::pair<std::string, std::string>>;

// `text` with each `from` replaced by its `to`, once (an empty `from`
// replaces the whole text); a `from` that is missing fails the test.
std::string edited(std::string text, const Edits& edits) {
    for (const auto& [from, to] : edits) {
        if (from.empty()) {
            text = to;
            continue;
        }
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    return text;
}

// A bundled example, or Scenario::one, with the edits made in one file.
void folder(Workdir& w, const std::string& example, const std::string& file, const Edits& edits) {
    if (example.empty())
        Scenario::one().write(w);
    else
        copyexample(w, example);
    w.write(file, edited(w.read(file), edits));
}

std::string without(std::string text, const std::string& line) {
    const size_t at = text.find(line);
    if (at != std::string::npos) text.erase(at, line.size());
    return text;
}

// The 35 economic values of the one-system example: the first line of
// them, which a row gives one value more or less.
const char* const firstvalues = "0.80 0.020 0 0.015 0 1.20 2.50";

} // namespace

// Numbers after the last value are not read: the console and every file
// are those of the same files without them; standard error names them.
TEST(Doubts, NumbersLeftOverAreNamedAndNotRead) {
    struct Row {
        const char* name;
        std::string example, file;
        Edits more, same; // the numbers left over; the files without them
        std::string warning;
    };
    const Row rows[] = {
        {"36 economic values instead of 35", "one-system", "INPUTVRD01A.TXT",
         {{firstvalues, std::string(firstvalues) + " 0.5"}},
         {{firstvalues, std::string(firstvalues) + " 0.5"}, {"365 540", "365"}},
         "kalp: INPUTVRD01A.TXT, line 11: 1 number after the last value, the age of the ewes at "
         "first use, is not read; the file holds 50 numbers where its counts call for 49, and one "
         "value too many earlier in the file shifts every later value one place on\n"},
        {"two numbers after the ages", "one-system-standardised", "INPUTVRD01A.TXT",
         {{"365 540", "365 540\n\n7 8"}}, {},
         "kalp: INPUTVRD01A.TXT, line 13: 2 numbers after the last value, the age of the ewes at "
         "first use, are not read; the file holds 51 numbers where its counts call for 49, and one "
         "value too many earlier in the file shifts every later value one place on\n"},
        {"a crossing share too many", "two-systems", "INPUTVRD01B.TXT",
         {{"0.1 0.3 0.4 0.5 0.6", "0.1 0.3 0.4 0.5 0.6 0.7"}}, {},
         "kalp: INPUTVRD01B.TXT, line 16: 1 number after the last value, the crossing share of "
         "the last ewe class, is not read; the file holds 89 numbers where its counts call for 88, "
         "and one value too many earlier in the file shifts every later value one place on\n"},
        {"a second number of systems", "one-system", "P01.TXT", {{"1", "1\n2"}}, {},
         "kalp: P01.TXT, line 2: 1 number after the number of production systems is not read; "
         "the file holds that one number alone\n"},
        {"a share too many in a given path", "", "INPUTVRD02.TXT",
         {{"0 0.3 0.2 \"Sire path\"", "0 0.3 0.2 0.1 \"Sire path\""}}, {},
         "kalp: INPUTVRD02.TXT, line 6: the sire path of system A takes 3 numbers, one per class "
         "of its block; the number after them in front of its words is not read\n"},
        {"two deviations of a maternal trait", "one-system-standardised", "INPUTVRD04.TXT",
         {{"0.25 \"Litter size", "0.25 0.1 \"Litter size"}}, {},
         "kalp: INPUTVRD04.TXT, line 11: trait 8 takes one standard deviation (maternal); the "
         "number after it in front of its words is not read\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Workdir more, same;
        folder(more, row.example, row.file, row.more);
        folder(same, row.example, row.file, row.same);
        const Outcome a = more.run(), b = same.run();
        ASSERT_EQ(a.status, 0) << a.output;
        ASSERT_EQ(b.status, 0) << b.output;
        EXPECT_EQ(a.beforetime(), b.beforetime());
        for (const char* name : {"resgfps01", "resgfps02", "CHECKVRD"})
            EXPECT_EQ(more.exists(name) ? more.read(name) : "", same.exists(name) ? same.read(name) : "")
                << name;
        EXPECT_NE(a.errors.find(row.warning), std::string::npos) << a.errors;
        EXPECT_EQ(without(a.errors, row.warning), b.errors);
    }
}

// A file of bare numbers that ends before its last value: the report of a
// missing value as before, and a line that says where the file ran out,
// never a line beyond its end.
TEST(Doubts, AFileThatEndsEarlyNamesTheBlock) {
    const auto ended = [](const char* file, const char* where, const char* block) {
        return std::string("kalp: ") + file + " " + where + ": it ran out in " + block +
               " (a value left out earlier moves every later value one place back)\n";
    };
    struct Row {
        const char* name;
        std::string example, file;
        Edits edits;
        std::string report, detail;
    };
    const Row rows[] = {
        {"34 economic values instead of 35", "one-system", "INPUTVRD01A.TXT",
         {{firstvalues, "0.80 0.020 0 0.015 0 1.20"}},
         "holds no readable number for the age of the ewes at first use.",
         ended("INPUTVRD01A.TXT", "ends in line 11 after 48 numbers, where its counts call for 49",
               "the ages at first use")},
        {"the ewe weights cut short, line ends of Windows", "", "INPUTVRD01A.TXT",
         {{"", "0.05\r\n2\r\n0.6 0.4\r\n3\r\n0.5\r\n\r\n"}},
         "holds no readable number for the age weight of ewe class 2.",
         ended("INPUTVRD01A.TXT", "ends in line 5 after 6 numbers, where its counts call for 45",
               "the ewe classes and their age weights")},
        {"no ewe count yet", "", "INPUTVRD01A.TXT",
         {{"", "0.05\n2\n0.6"}},
         "holds no readable number for the age weight of ram class 2.",
         ended("INPUTVRD01A.TXT", "ends in line 3 after 3 numbers, where its counts call for at least 43",
               "the ram classes and their age weights")},
        {"an empty file", "", "INPUTVRD01A.TXT", {{"", "\n\n"}},
         "holds no readable number for the discount rate.",
         ended("INPUTVRD01A.TXT", "holds no number, where its counts call for at least 42",
               "the discount rate")},
        {"a crossing share missing", "two-systems", "INPUTVRD01B.TXT",
         {{"0.1 0.3 0.4 0.5 0.6", "0.1 0.3 0.4 0.5"}},
         "holds no readable number for the crossing share of ewe class 5.",
         ended("INPUTVRD01B.TXT", "ends in line 16 after 87 numbers, where its counts call for 88",
               "the crossing shares")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Workdir w;
        folder(w, row.example, row.file, row.edits);
        const Outcome r = w.run();
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find("Error message:\nThe file " + row.file + " " + row.report),
                  std::string::npos)
            << r.output;
        EXPECT_EQ(r.errors, row.detail);
    }
}

// Ages at first use below 60 days or above 10 years, and one class with
// nearly all the weight among several, are named; the run is complete.
TEST(Doubts, UnusualAgesAndAgeWeights) {
    const char* const ewes = "6\n0.25 0.22 0.19 0.15 0.11 0.08";
    const char* const again =
        ": check it, and whether a value before it is missing or one too many\n";
    struct Row {
        const char* name;
        Edits edits;
        std::string warnings; // all of standard error
    };
    const Row rows[] = {
        {"ages of 60 days and 10 years", {{"365 540", "60 3650"}}, ""},
        {"ages of 59 days and 3651 days", {{"365 540", "59 3651"}},
         std::string("kalp: INPUTVRD01A.TXT, line 11: the age of the rams at first use is 59 days, "
                     "below 60 days") + again +
             "kalp: INPUTVRD01A.TXT, line 11: the age of the ewes at first use is 3651 days, above "
             "10 years (3650 days)" + again},
        {"a ram class of weight 0.95", {{"0.5 0.3 0.2", "0.95 0.05 0"}},
         "kalp: INPUTVRD01A.TXT, line 3: the age weight of ram class 1 is 0.95, above 0.9, among 3 "
         "ram classes: nearly all genes would come from that class; check the list of age "
         "weights\n"},
        {"a single ewe class of weight 1", {{ewes, "1\n1"}}, ""},
        {"an ewe class of weight 0.9", {{ewes, "6\n0.9 0.1 0 0 0 0"}}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Workdir w;
        folder(w, "one-system", "INPUTVRD01A.TXT", row.edits);
        const Outcome r = w.run();
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.errors, row.warnings);
    }
}

// The warnings of the files come with a sweep and with the class table
// too, once each, and in the editor's answer; the exports are those of
// the files without the numbers left over.
TEST(Doubts, WarningsOfEveryWayTheFilesAreRead) {
    const Edits more = {{firstvalues, std::string(firstvalues) + " 0.5"}};
    const Edits same = {{firstvalues, std::string(firstvalues) + " 0.5"}, {"365 540", "365"}};
    const std::string left = "kalp: INPUTVRD01A.TXT, line 11: 1 number after the last value";
    const std::string young = "kalp: INPUTVRD01A.TXT, line 10: the age of the rams at first use "
                              "is 0.6 days, below 60 days";
    for (const char* args : {"--sweep u=0.01,0.02 --json", "--classes", "--csv --json"}) {
        SCOPED_TRACE(args);
        Workdir a, b;
        folder(a, "one-system", "INPUTVRD01A.TXT", more);
        folder(b, "one-system", "INPUTVRD01A.TXT", same);
        const Outcome r = a.run(args), plain = b.run(args);
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.beforetime(), plain.beforetime());
        EXPECT_EQ(r.errors.find(young), 0u) << r.errors;
        const size_t at = r.errors.find(left);
        EXPECT_NE(at, std::string::npos) << r.errors;
        EXPECT_EQ(r.errors.find(left, at + 1), std::string::npos) << r.errors;
        for (const std::string& name : a.files())
            if (name.rfind("kalp-", 0) == 0) {
                EXPECT_EQ(a.read(name), b.read(name)) << name;
            }
    }

    // The editor's answer carries them as a list of sentences.
    Diskdir d;
    copyexample(d, "one-system");
    d.write("INPUTVRD01A.TXT", edited(d.read("INPUTVRD01A.TXT"), more));
    kalp::ServeOptions o;
    o.dir = d.path();
    o.share = KALP_SOURCE_DIR "/share";
    o.examples = KALP_SOURCE_DIR "/examples";
    kalp::Server server(o);
    std::thread serving([&] { server.listen(); });
    httplib::Client client("127.0.0.1", server.port());
    client.set_default_headers({{"X-KALP-Token", server.token()}});
    const auto got = client.Get("/api/scenario");
    server.stop();
    serving.join();
    ASSERT_TRUE(got && got->status == 200);
    const nlohmann::json answer = nlohmann::json::parse(got->body);
    ASSERT_EQ(answer["warnings"].size(), 2u) << answer["warnings"];
    EXPECT_EQ(("kalp: " + answer["warnings"][0].get<std::string>()).rfind(young, 0), 0u);
    EXPECT_EQ(("kalp: " + answer["warnings"][1].get<std::string>()).rfind(left, 0), 0u);
    EXPECT_TRUE(answer["result"]["complete"]);
}

// A quote left open at the end of a label, in the layout of the bundled
// examples and of kalp init (the value on its own line, the words on the
// next): the line of that quote is named, not the value after it.
TEST(InputErrors, AQuoteLeftOpenInTheFilesOwnLayout) {
    const auto open = [](const char* file, int line) {
        return std::string("kalp: ") + file + ", line " + std::to_string(line) +
               ": the text that begins with the double quote there runs on to the next line and "
               "takes in the number written there; its closing double quote is missing\n";
    };
    struct Row {
        const char* name;
        std::string example, file, from, to; // example "" for the folder of kalp init
        std::string report, detail;
    };
    const Row rows[] = {
        {"the label of the traced group", "one-system", "INPUTVRD02.TXT", "\"n_sac\"", "\"n_sac",
         "holds no readable number for the number of years.", open("INPUTVRD02.TXT", 5)},
        {"the description of the period", "one-system", "INPUTVRD02.TXT", "years\" \"l_inv\"",
         "years \"l_inv\"", "holds no readable number for the sire path option of system A.",
         open("INPUTVRD02.TXT", 7)},
        {"the label of an expression weight", "two-systems", "INPUTVRD03.TXT", "\"pdA\"", "\"pdA",
         "holds no readable number for the expression weight of system B.",
         open("INPUTVRD03.TXT", 5)},
        {"the label of a pair choice", "one-system-standardised", "INPUTVRD05.TXT", "\"flag2\"",
         "\"flag2", "holds no readable number for the choice between traits 26 and 27.",
         open("INPUTVRD05.TXT", 6)},
        {"a label of kalp init", "", "INPUTVRD02.TXT", "\"l_inv\"", "\"l_inv",
         "holds no readable number for the sire path option of system A.",
         open("INPUTVRD02.TXT", 7)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Workdir w;
        if (row.example.empty())
            ASSERT_EQ(w.run("init --standardised").status, 0);
        else
            copyexample(w, row.example);
        w.write(row.file, edited(w.read(row.file), {{row.from, row.to}}));
        const Outcome r = w.run();
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find("The file " + row.file + " " + row.report), std::string::npos)
            << r.output;
        EXPECT_EQ(r.errors, row.detail);
    }
}
