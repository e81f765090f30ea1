// The engine on texts held in memory: a complete run touches no file, and a
// stop names its kind, file and model variable.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>

#include "engine/engine.h"
#include "report/dump.h"
#include "report/results.h"
#include "scenario.h"
#include "workdir.h"

using namespace kalp;
using namespace kalp::test;
namespace fs = std::filesystem;

namespace {

kalp::Outcome runin(const Folder& files) {
    Request r;
    r.files = &files;
    return runscenario(r);
}

} // namespace

// The bundled example in memory: the run reads each input file it needs
// once (the parameter file twice, the template for its trait names) and
// writes and removes nothing.
TEST(Engine, ScenarioFromTextsInMemory) {
    Workdir example;
    copyexample(example, "two-systems");
    const MemoryFolder t(example.folder().files());
    kalp::Outcome o = runin(t);
    ASSERT_TRUE(o.complete()) << o.stop->report();
    const fs::path want = fs::path(KALP_SOURCE_DIR) / "tests" / "expected" / "two-systems";
    EXPECT_EQ(dumptext(*o.model), slurp(want / "CHECKVRD"));
    EXPECT_EQ(o.echo + resultssection(*o.model, t), slurp(want / "resgfps02"));
    EXPECT_EQ(o.names[8], "Litter size (lambs per lambing)");
    EXPECT_EQ(t.reads(), (std::vector<std::string>{
                             "ERROR.TXT", "TEXTVRD_OUT.TXT", "TEXTVRD_OUT.TXT", "P01.TXT",
                             "PARAVRD.TXT", "PARAVRD.TXT", "INPUTVRD01A.TXT", "INPUTVRD01B.TXT",
                             "INPUTVRD03.TXT", "INPUTVRD04.TXT", "INPUTVRD05.TXT",
                             "TEXTVRD_OUT.TXT", "TEXTVRD_OUT.TXT"}));
    EXPECT_EQ(o.reached, (std::vector<std::string>{"PARAVRD.TXT", "INPUTVRD01A.TXT",
                                                   "INPUTVRD01B.TXT", "INPUTVRD03.TXT",
                                                   "INPUTVRD04.TXT", "INPUTVRD05.TXT"}));
    EXPECT_TRUE(t.placed().empty());
    EXPECT_TRUE(t.removed().empty());
}

TEST(Engine, StopsNameTheirFileAndValue) {
    using Change = std::function<void(Scenario&)>;
    struct Row {
        const char* name;
        Change change;
        StopKind kind;
        const char* file;
        const char* value;
    };
    const auto replace = [](std::string& s, const char* from, const char* to) {
        s.replace(s.find(from), std::string(from).size(), to);
    };
    const Row rows[] = {
        {"gate", [](Scenario& s) { s.error = "1"; }, StopKind::gate, "ERROR.TXT", "errmess"},
        {"traced group", [&](Scenario& s) { replace(s.settings2, "1 \"Traced", "9 \"Traced"); },
         StopKind::traced, "INPUTVRD02.TXT", "n_sac"},
        {"matrix row", [&](Scenario& s) { replace(s.a, "0.5 0.3 0.2", "0.5 0.3 0.3"); },
         StopKind::matrix, "INPUTVRD01A.TXT", "l4EA"},
        {"given path", [&](Scenario& s) { replace(s.settings2, "0 0.3", "0.2 0.3"); },
         StopKind::matrix, "INPUTVRD02.TXT", "P[1]"},
        {"decimal comma", [&](Scenario& s) { replace(s.a, "0.05", "0,05"); }, StopKind::input,
         "INPUTVRD01A.TXT", "u"},
        {"age weight", [&](Scenario& s) { replace(s.a, "0.6 0.4", "0.6 x"); }, StopKind::input,
         "INPUTVRD01A.TXT", "l4RA[2]"},
        {"path share", [&](Scenario& s) { replace(s.settings2, "0 0.3", "0 -0.3"); },
         StopKind::input, "INPUTVRD02.TXT", "P[1][2]"},
        {"missing file", [](Scenario& s) { s.settings2.clear(); }, StopKind::input,
         "INPUTVRD02.TXT", ""},
        {"overflow", [&](Scenario& s) { replace(s.a, "0.05", "-0.9999"); }, StopKind::notfinite,
         "INPUTVRD01A.TXT", "u"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scenario s = Scenario::one();
        if (std::string(row.name) == "overflow") replace(s.settings2, "3 \"Years", "40 \"Years");
        row.change(s);
        MemoryFolder files;
        for (const auto& [name, text] : s.files())
            files.set(name, text);
        const kalp::Outcome o = runin(files);
        ASSERT_FALSE(o.complete());
        EXPECT_EQ(o.stop->kind, row.kind);
        EXPECT_EQ(o.stop->file, row.file);
        EXPECT_EQ(o.stop->value, row.value);
        EXPECT_EQ(o.stop->report().find("\nError message:\n"), row.kind == StopKind::traced ? 2u : 0u);
        // The echo reaches as far as the run went: nothing after the gate.
        EXPECT_EQ(o.resultsfile, row.kind != StopKind::gate);
    }
}

// The weights that a scenario gives another traced group are those of a
// run of that traced group, in one and in two systems, over periods and
// discount rates that change (the gene flow followed again) and economic
// values that change (the same gene flow).
TEST(Engine, RetracedWeightsAreThoseOfARunOfTheirGroup) {
    const struct {
        const char* example;
        int traced;
    } rows[] = {{"one-system-standardised", 5}, {"two-systems", 16}, {"two-systems", 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.example);
        Workdir w;
        copyexample(w, row.example);
        const MemoryFolder t(w.folder().files());
        auto prepared = std::make_unique<Model>();
        reset(*prepared);
        Streams streams;
        streams.files = &t;
        prepare(*prepared, streams);
        Retrace retrace(*prepared, row.traced);
        const Parameter* u = findparameter("u");
        const Parameter* years = findparameter("l_inv");
        const Parameter* value = findparameter("evpA");
        for (const auto& [rate, period, litter] : {std::tuple{0.05, 20, 26.0}, std::tuple{0.05, 20, 3.0},
                                                  std::tuple{0.02, 20, 3.0}, std::tuple{0.02, 7, 3.0}}) {
            Request r;
            r.files = &t;
            r.echo = false;
            r.changes = {{u, 0, rate}, {years, 0, static_cast<double>(period)}, {value, 8, litter}};
            const kalp::Outcome scenario = runscenario(r);
            ASSERT_TRUE(scenario.complete());
            r.changes.push_back({findparameter("n_sac"), 0, static_cast<double>(row.traced)});
            const kalp::Outcome run = runscenario(r);
            ASSERT_TRUE(run.complete());
            const Model& got = retrace.weighed(*scenario.model);
            for (int k = 1; k < NT; ++k) {
                EXPECT_EQ(got.ew_d[k], run.model->ew_d[k]) << k;
                EXPECT_EQ(got.ew_m[k], run.model->ew_m[k]) << k;
            }
        }
    }
}
