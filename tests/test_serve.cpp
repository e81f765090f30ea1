// The editor's server, in process on a free port: the scenario of a folder,
// computed from texts in memory, saved value by value, and every request it
// must refuse.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "engine/engine.h"
#include "report/exports.h"
#include "serve/scenario.h"
#include "serve/server.h"
#include "served.h"
#include "workdir.h"

using namespace kalp;
using namespace kalp::test;
using json = nlohmann::json;

namespace {

// The cells of the economic weights table: "8 maternal" -> "   26.3187".
std::map<std::string, std::string> weights(const json& result) {
    std::map<std::string, std::string> cells;
    for (const json& row : result["tables"][0]["rows"])
        for (const json& c : row["cells"])
            if (c.contains("component"))
                cells[std::to_string(row["trait"].get<int>()) + " " + c["component"].get<std::string>()] = c["text"];
    return cells;
}

std::string f104(double v) {
    char s[32];
    std::snprintf(s, sizeof s, "%10.4f", v);
    return s;
}

std::string field(const json& answer, const std::string& file, const std::string& var) {
    for (const json& sec : answer["form"]["sections"])
        for (const json& it : sec["items"]) {
            std::vector<json> fs;
            if (it["type"] == "field") fs.push_back(it["field"]);
            if (it["type"] == "list") fs.assign(it["fields"].begin(), it["fields"].end());
            if (it["type"] == "traits")
                for (const json& r : it["rows"])
                    for (const json& c : r["cells"])
                        if (!c.is_null()) fs.push_back(c);
            for (const json& f : fs)
                if (f["file"] == file && f["var"] == var) return f["text"];
        }
    return "(none)";
}

} // namespace

TEST(Serve, ComputesScenariosInMemory) {
    Served s("one-system-standardised");
    const auto before = s.files();
    const json loaded = s.get("/api/scenario");
    const long v = loaded["version"];
    EXPECT_EQ(field(loaded, "INPUTVRD01A.TXT", "u"), "0.05");
    EXPECT_EQ(field(loaded, "INPUTVRD04.TXT", "gstd_m[8]"), "0.25");
    EXPECT_FALSE(loaded["newfolder"]);
    ASSERT_TRUE(loaded["result"]["complete"]);
    // The run's warnings are a list, empty for the example.
    EXPECT_EQ(loaded["warnings"], json::array());

    // A good scenario gives the weights of the engine on the same texts.
    Texts t;
    for (const auto& [name, text] : before)
        if (name != "README.md") t[name] = text;
    t["INPUTVRD01A.TXT"].replace(0, 4, "0.06");
    const MemoryFolder source(t);
    Request r;
    r.files = &source;
    const kalp::Outcome o = runscenario(r);
    ASSERT_TRUE(o.complete());
    std::map<std::string, std::string> want;
    for (const Component& c : components(*o.model))
        want[std::to_string(c.trait) + " " + componentname(c.direct)] = f104(c.ew);
    const auto [status, good] = s.post("/api/compute", edits(v, {{"INPUTVRD01A.TXT", {{"u", "0.06"}}}}));
    ASSERT_EQ(status, 200);
    EXPECT_EQ(weights(good["result"]), want);
    EXPECT_EQ(good["changed"], json::array({"INPUTVRD01A.TXT"}));

    // A bad one gives the stop of a run on those texts, naming the field.
    struct Row {
        Values values;
        const char* file;
        const char* value;
    };
    const Row rows[] = {
        {{{"INPUTVRD01A.TXT", {{"u", "0,05"}}}}, "INPUTVRD01A.TXT", "u"},
        {{{"INPUTVRD01A.TXT", {{"evpA[8][1]", "x"}}}}, "INPUTVRD01A.TXT", "evpA[8][1]"},
        {{{"INPUTVRD01A.TXT", {{"LLA", "4"}}}}, "INPUTVRD01A.TXT", "l4EA"},
        {{{"INPUTVRD02.TXT", {{"n_sac", "99"}}}}, "INPUTVRD02.TXT", "n_sac"},
        {{{"INPUTVRD04.TXT", {{"gstd_m[8]", "1e999"}}}}, "INPUTVRD04.TXT", "gstd_m[8]"},
        {{{"INPUTVRD05.TXT", {{"flag[2]", "4,5"}}}}, "INPUTVRD05.TXT", "flag[2]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        const auto [code, bad] = s.post("/api/compute", edits(v, row.values));
        ASSERT_EQ(code, 200);
        const json& stop = bad["result"]["stop"];
        EXPECT_FALSE(bad["result"]["complete"]);
        EXPECT_EQ(stop["file"], row.file);
        EXPECT_EQ(stop["value"], row.value);
        const MemoryFolder texts(compose(t, record(t), row.values).texts);
        // (t holds 0.06; the rows change other values, and u is 0.06 or 0,05.)
        r.files = &texts;
        EXPECT_EQ(stop["report"], runscenario(r).stop->report());
    }
    // Every other value goes to the run, which judges it; a value that
    // cannot stand in its file as one number is reported by the server,
    // naming its field.
    const struct {
        std::string value, says;
    } typed[] = {{"0.05 3", "the field \"Discount rate per year\" holds a blank"},
                 {"0.05\"", "the field \"Discount rate per year\" holds a double quote"},
                 {std::string(65, '1'), "the field \"Discount rate per year\" is longer than 64 characters"},
                 {"0.05\xc2\xa0", "a no-break space follows 0.05"},
                 {"\xc3\xa9", "holds no readable number for the discount rate"}};
    std::string letters;
    for (int i = 0; i < 40; ++i)
        letters += "\xc3\xa9";
    for (const auto& [value, says] : typed) {
        SCOPED_TRACE(value);
        const auto [code, answer] = s.post("/api/compute", edits(v, {{"INPUTVRD01A.TXT", {{"u", value}}}}));
        ASSERT_EQ(code, 200);
        EXPECT_EQ(answer["result"]["stop"]["value"], "u");
        EXPECT_NE(answer["result"]["stop"]["report"].get<std::string>().find(says), std::string::npos)
            << answer["result"]["stop"]["report"];
    }
    const auto [code40, forty] = s.post("/api/compute", edits(v, {{"INPUTVRD01A.TXT", {{"u", letters}}}}));
    EXPECT_EQ(code40, 200);
    EXPECT_NE(forty["result"]["stop"]["report"].get<std::string>().find("holds no readable number"),
              std::string::npos);
    // Nothing was written.
    EXPECT_EQ(s.files(), before);

    // An empty folder starts from the first scenario of kalp init, once.
    Served empty(nullptr);
    EXPECT_TRUE(empty.get("/api/scenario")["newfolder"]);
    const auto [initcode, init] = empty.post("/api/init", {{"two", true}});
    EXPECT_EQ(initcode, 200);
    // It names the files it wrote, as they are in the folder now.
    std::set<std::string> written(init["written"].begin(), init["written"].end()), now;
    for (const auto& [name, text] : empty.files())
        now.insert(name);
    EXPECT_EQ(written, now);
    EXPECT_TRUE(written.count("INPUTVRD01B.TXT"));
    const json started = empty.get("/api/scenario");
    EXPECT_FALSE(started["newfolder"]);
    EXPECT_TRUE(started["result"]["complete"]);
    EXPECT_EQ(empty.post("/api/init", {{"two", true}}).first, 409);
    EXPECT_EQ(empty.post("/api/init", {{"two", "yes"}}).first, 400);
}

// The words of the files as a Windows editor saves them ("ANSI") reach the
// page as UTF-8; the standardisation box says what it does, not the
// file's coding of it.
TEST(Serve, WordsAsWindowsEditorsSaveThem) {
    Served s("one-system-standardised");
    std::string settings = s.w.read("INPUTVRD02.TXT");
    const size_t at = settings.find("\"", settings.find('/', settings.find('/') + 1));
    settings.insert(at + 1, "M\xe4rz: ");
    s.w.write("INPUTVRD02.TXT", settings);
    const json loaded = s.get("/api/scenario");
    std::string labels, checkbox;
    for (const json& sec : loaded["form"]["sections"])
        for (const json& it : sec["items"])
            if (it["type"] == "field") {
                labels += it["field"]["label"].get<std::string>() + "\n";
                if (it["field"]["var"] == "gstd") checkbox = it["field"]["label"];
            }
    EXPECT_NE(labels.find("M\xc3\xa4rz: "), std::string::npos) << labels;
    EXPECT_EQ(checkbox, "Standardise the economic weights by genetic standard deviations");
}

TEST(Serve, SavesOnlyTheEditedBytes) {
    Served s("one-system-standardised");
    const auto before = s.files();
    const long v = s.get("/api/scenario")["version"];
    // Loaded and saved without an edit: no file is written.
    const auto [same, nothing] = s.post("/api/save", edits(v, {{"INPUTVRD01A.TXT", {{"u", "0.05"}}}}));
    EXPECT_EQ(same, 200);
    EXPECT_EQ(nothing["saved"], json::array());
    EXPECT_EQ(s.files(), before);

    const auto [code, computed] = s.post("/api/compute", edits(v, {{"INPUTVRD01A.TXT", {{"u", "0.06"}}}}));
    const auto [saved, answer] = s.post("/api/save", edits(v, {{"INPUTVRD01A.TXT", {{"u", "0.06"}}}}));
    ASSERT_EQ(saved, 200) << answer.dump();
    EXPECT_EQ(answer["saved"], json::array({"INPUTVRD01A.TXT"}));
    auto want = before;
    want["INPUTVRD01A.TXT"].replace(0, 4, "0.06");
    EXPECT_EQ(s.files(), want);
    // The page that saved goes on with the new version; an older one is told to reload.
    EXPECT_EQ(s.post("/api/compute", edits(v, {})).first, 409);
    EXPECT_EQ(s.post("/api/compute", edits(answer["version"], {})).first, 200);

    // kalp on the saved folder gives the weights the page showed.
    ASSERT_EQ(s.w.run("--csv").status, 0);
    // Its table has a row for every trait component; the page shows the
    // traits that have a weight. Trait names hold no comma here.
    std::map<std::string, std::string> ran;
    std::set<std::string> weighted;
    std::istringstream csv(s.w.read("kalp-weights.csv"));
    std::string line;
    std::getline(csv, line);
    while (std::getline(csv, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string x; std::getline(fields, x, ',');)
            f.push_back(x);
        const float ew = std::strtof(f[7].c_str(), nullptr);
        ran[f[4] + " " + f[6]] = f104(ew);
        if (std::fabs(ew) >= 1e-6f) weighted.insert(f[4]);
    }
    std::erase_if(ran, [&](const auto& cell) {
        return !weighted.count(cell.first.substr(0, cell.first.find(' ')));
    });
    EXPECT_EQ(weights(computed["result"]), ran);
}

TEST(Serve, RefusesToSaveOverFilesChangedOnDisk) {
    Served s("one-system");
    const long v = s.get("/api/scenario")["version"];
    const std::string a = s.w.read("INPUTVRD01A.TXT");
    s.w.write("INPUTVRD02.TXT", s.w.read("INPUTVRD02.TXT") + "\n");
    const auto [code, refused] = s.post("/api/save", edits(v, {{"INPUTVRD01A.TXT", {{"u", "0.06"}}}}));
    EXPECT_EQ(code, 409);
    EXPECT_EQ(refused["conflict"], json::array({"INPUTVRD02.TXT"}));
    EXPECT_EQ(s.w.read("INPUTVRD01A.TXT"), a);
    // Read afresh, the folder is saved.
    const long now = s.get("/api/scenario")["version"];
    EXPECT_EQ(s.post("/api/save", edits(now, {{"INPUTVRD01A.TXT", {{"u", "0.06"}}}})).first, 200);
}

TEST(Serve, RefusesWhatItMustNot) {
    Served s("one-system");
    const std::string port = std::to_string(s.server->port()), token = s.server->token();
    const std::string big(1 << 20, ' ');
    struct Row {
        const char* name;
        std::string path;
        httplib::Headers headers;
        std::string body; // POST when not empty
        int status;
    };
    const httplib::Headers with = {{"X-KALP-Token", token}};
    const Row rows[] = {
        {"the page with its token", "/?token=" + token, {}, "", 200},
        {"no token", "/api/scenario", {}, "", 403},
        {"another token", "/api/scenario", {{"X-KALP-Token", token.substr(1) + "0"}}, "", 403},
        {"another host", "/?token=" + token, {{"Host", "kalp.example:" + port}}, "", 403},
        {"localhost", "/?token=" + token, {{"Host", "localhost:" + port}}, "", 200},
        {"a body over 1 MB", "/api/compute", with, "{\"version\": 1}" + big, 413},
        {"not JSON", "/api/compute", with, "{version", 400},
        {"no version", "/api/compute", with, "{}", 400},
        {"a path for a file", "/api/save", with, R"({"version": 1, "values": {"../x": {"u": "1"}}})", 400},
        {"an input file", "/files/INPUTVRD01A.TXT", with, "", 404},
        {"a path", "/files/..%2FINPUTVRD01A.TXT", with, "", 404},
        {"an output not yet written", "/files/CHECKVRD", with, "", 404},
    };
    httplib::Client c("127.0.0.1", s.server->port());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = row.body.empty() ? c.Get(row.path.c_str(), row.headers)
                                        : c.Post(row.path.c_str(), row.headers, row.body, "application/json");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, row.status) << r->body;
        EXPECT_EQ(r->get_header_value("Content-Security-Policy").rfind("default-src 'none';", 0), 0u);
        if (row.status != 200) {
            EXPECT_TRUE(json::parse(r->body).contains("error"));
        }
    }
}


// A value that no file may hold, an emptied field among them, is refused
// as a run refuses its file: the page's result stops with a report that
// names the field by the words the page shows (never evpB[8][2]), the
// answer names it for the header, and Save writes nothing.
TEST(Serve, RefusesValuesNoFileMayHold) {
    Served s("two-systems");
    const auto before = s.files();
    const long v = s.get("/api/scenario")["version"];
    const std::string trait8 = "Litter size (lambs per lambing)";
    struct Row {
        Values values;
        const char* file;
        const char* var;
        std::string label, why;
    };
    const Row rows[] = {
        {{{"INPUTVRD01A.TXT", {{"u", ""}}}}, "INPUTVRD01A.TXT", "u", "Discount rate per year", "is empty"},
        {{{"INPUTVRD01A.TXT", {{"l4EA[2]", ""}}}},
         "INPUTVRD01A.TXT",
         "l4EA[2]",
         "Age weights of the reproductive ewe classes, class 2",
         "is empty"},
        // A class that a new count brings, emptied.
        {{{"INPUTVRD01A.TXT", {{"LLA", "7"}, {"l4EA[7]", ""}}}},
         "INPUTVRD01A.TXT",
         "l4EA[7]",
         "Age weights of the reproductive ewe classes, class 7",
         "is empty"},
        {{{"INPUTVRD01B.TXT", {{"evpB[8][2]", ""}}}}, "INPUTVRD01B.TXT", "evpB[8][2]", trait8 + ", Crossbred progeny",
         "is empty"},
        {{{"INPUTVRD03.TXT", {{"l_inv", ""}}}}, "INPUTVRD03.TXT", "l_inv", "Length of the period of gene flow, years",
         "is empty"},
        {{{"INPUTVRD04.TXT", {{"gstd_m[1]", ""}}}}, "INPUTVRD04.TXT", "gstd_m[1]", "Birth weight (kg), Maternal",
         "is empty"},
        {{{"INPUTVRD01A.TXT", {{"evpA[8][1]", "1 2"}, {"u", "0.06"}}}},
         "INPUTVRD01A.TXT",
         "evpA[8][1]",
         trait8 + ", Economic value",
         "holds a blank; write one number"},
        {{{"INPUTVRD04.TXT", {{"gstd_m[1]", "0.2\""}}}}, "INPUTVRD04.TXT", "gstd_m[1]", "Birth weight (kg), Maternal",
         "holds a double quote; write one number"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.var);
        const auto [code, answer] = s.post("/api/compute", edits(v, row.values));
        ASSERT_EQ(code, 200);
        EXPECT_EQ(answer["invalid"]["var"], row.var);
        EXPECT_EQ(answer["invalid"]["label"], row.label);
        EXPECT_EQ(answer["invalid"]["why"], row.why);
        const json& stop = answer["result"]["stop"];
        EXPECT_FALSE(answer["result"]["complete"]);
        EXPECT_EQ(stop["value"], row.var);
        const std::string report = stop["report"];
        EXPECT_NE(report.find("the field \"" + row.label + "\" " + row.why), std::string::npos) << report;
        EXPECT_EQ(report.find(row.var + std::string("[")), std::string::npos) << report;
        EXPECT_EQ(stop["advice"].get<std::string>().rfind("Correct the field \"" + row.label + "\"", 0), 0u)
            << stop["advice"];
        const auto [saved, refused] = s.post("/api/save", edits(v, row.values));
        EXPECT_EQ(saved, 422);
        EXPECT_EQ(refused["invalid"], answer["invalid"]);
        EXPECT_NE(refused["error"].get<std::string>().find("\"" + row.label + "\""), std::string::npos);
        EXPECT_EQ(s.files(), before);
    }
    // An emptied field names the number the file holds; the other edits
    // of the page count as changes.
    const auto [code, u] = s.post("/api/compute", edits(v, {{"INPUTVRD01A.TXT", {{"u", ""}}},
                                                          {"INPUTVRD03.TXT", {{"l_inv", "25"}}}}));
    ASSERT_EQ(code, 200);
    EXPECT_NE(u["result"]["stop"]["report"].get<std::string>().find("or the one the file holds, 0.05."),
              std::string::npos);
    EXPECT_EQ(u["changed"], json::array({"INPUTVRD03.TXT"}));
    // A number the file does without stays out when its field is empty,
    // and a field that holds its number is no fault.
    const auto [fine, none] = s.post("/api/compute", edits(v, {{"INPUTVRD04.TXT", {{"gstd_m[4]", ""}}},
                                                             {"INPUTVRD01A.TXT", {{"u", "0.05"}}}}));
    ASSERT_EQ(fine, 200);
    EXPECT_TRUE(none["invalid"].is_null());
    EXPECT_TRUE(none["result"]["complete"]);
    EXPECT_EQ(none["changed"], json::array());
}

// The page sends values by file and model variable, as the form names
// them: a name that no file holds is a bad request, as an unknown file is.
TEST(Serve, RefusesNamesItDoesNotKnow) {
    Served s("one-system");
    const struct {
        const char *file, *var;
        int status;
    } rows[] = {
        {"INPUTVRD01A.TXT", "u", 200},
        {"INPUTVRD01A.TXT", "l4EA[15]", 200},
        {"INPUTVRD01B.TXT", "evpB[35][2]", 200},
        {"INPUTVRD03.TXT", "P[79][79]", 200},
        {"INPUTVRD05.TXT", "flag[6]", 200},
        {"INPUTVRD01A.TXT", "uu", 400},
        {"INPUTVRD01A.TXT", "u[1]", 400},
        {"INPUTVRD01A.TXT", "evpA[36][1]", 400},
        {"INPUTVRD01A.TXT", "evpA[8][2]", 400},
        {"INPUTVRD01A.TXT", "evpA[8]", 400},
        {"INPUTVRD01A.TXT", "l4EA[0]", 400},
        {"INPUTVRD01A.TXT", "l4EA[01]", 400},
        {"INPUTVRD01A.TXT", "l4EA[16]", 400},
        {"INPUTVRD01A.TXT", "l4EA[2]x", 400},
        {"INPUTVRD02.TXT", "pdA", 400},
        {"INPUTVRD02.TXT", "P[80][1]", 400},
        {"INPUTVRD04.TXT", "evpA[8][1]", 400},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.file) + " " + row.var);
        for (const char* path : {"/api/compute", "/api/save"}) {
            const long v = s.get("/api/scenario")["version"];
            const auto [status, answer] = s.post(path, edits(v, {{row.file, {{row.var, "1"}}}}));
            EXPECT_EQ(status, row.status) << path;
            if (row.status == 400) {
                EXPECT_EQ(answer["error"], "KALP reads no value called " + std::string(row.var) + " in " + row.file + ".");
            }
        }
    }
}

// A list of age weights that does not add up to 1: the page names the
// list, as a whole, and shows the sum that the run writes on standard
// error, in the words of the page.
TEST(Serve, NamesTheListOfAgeWeightsAndItsSum) {
    Served s("one-system");
    const long v = s.get("/api/scenario")["version"];
    const struct {
        Values values;
        const char* sum;
    } rows[] = {
        {{{"INPUTVRD01A.TXT", {{"l4EA[1]", "0.5"}}}}, "the 6 age weights of the reproductive ewe classes of A add up to 1.25"},
        // Four of the six classes kept: their weights add up to less.
        {{{"INPUTVRD01A.TXT", {{"LLA", "4"}}}}, "the 4 age weights of the reproductive ewe classes of A add up to 0.81"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sum);
        const auto [code, answer] = s.post("/api/compute", edits(v, row.values));
        ASSERT_EQ(code, 200);
        const json& stop = answer["result"]["stop"];
        EXPECT_EQ(stop["value"], "l4EA");
        EXPECT_EQ(stop["advice"].get<std::string>().rfind(
                      "Correct the list \"Age weights of the reproductive ewe classes\" in System A", 0),
                  0u)
            << stop["advice"];
        const std::string detail = stop["detail"];
        EXPECT_NE(detail.find(row.sum), std::string::npos) << detail;
        EXPECT_NE(detail.find("they must add up to 1"), std::string::npos) << detail;
        EXPECT_EQ(detail.find("l4EA"), std::string::npos) << detail;
    }
}
